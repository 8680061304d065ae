#include "command_line.h"

#include <gtest/gtest.h>

#include "config_file.h"
#include "testutil.h"

namespace qvxpanel {
namespace {

using qvx::testing::as_string;
using qvx::testing::read_file;
using qvx::testing::TempDir;
using qvx::testing::write_file;

std::string fifteen_zeros() {
  std::string z;
  for (int i = 0; i < 15; ++i) z += " \"0\"";
  return z;
}

TEST(CommandLine, EmptyOptionalFieldsBecomeFifteenQuotedZeros) {
  EngineRun run{"/b/k.kb", 3, 'c', "/s/in.txt", "/s/out.qvx", "", {}};
  EXPECT_EQ(engine_command_line(run), "\"/b/k.kb\" 3 c \"/s/in.txt\" \"/s/out.qvx\"" + fifteen_zeros());
}

TEST(CommandLine, ParametersElevenAndFourteenAlwaysGoAsZero) {
  EngineRun run{"k", 12, 'd', "a", "b", "conf", {}};
  for (std::size_t k = 0; k < 14; ++k) run.parameters[k] = "p" + std::to_string(k + 1);
  EXPECT_EQ(engine_command_line(run),
            "\"k\" 12 d \"a\" \"b\" \"conf\" \"p1\" \"p2\" \"p3\" \"p4\" \"p5\" \"p6\" \"p7\" \"p8\" \"p9\" "
            "\"p10\" \"0\" \"p12\" \"p13\" \"0\"");
}

TEST(CommandLine, QuotesGetOneBackslashEach) {
  int n = -1;
  EXPECT_EQ(escape_quotes("a\"b", n), "a\\\"b");
  EXPECT_EQ(n, 1);
  EXPECT_EQ(escape_quotes("a\\\"b", n), "a\\\"b");
  EXPECT_EQ(n, 0);
  EXPECT_EQ(escape_quotes("\"\"", n), "\\\"\\\"");
  EXPECT_EQ(n, 2);
  EXPECT_EQ(escape_quotes("", n), "");
  EXPECT_EQ(n, 0);
}

TEST(CommandLine, PathConversionDropsTheDriveAndTurnsBackslashes) {
  EXPECT_EQ(convert_path("Z:\\tmp\\k.kb"), "/tmp/k.kb");
  EXPECT_EQ(convert_path("\"Z:\\a b\\c\" 2 \"xZ:y\""), "\"/a b/c\" 2 \"xy\"");
  // The character after a drive is copied without a second look.
  EXPECT_EQ(convert_path("Z:Z:x"), "Z:x");
  EXPECT_EQ(convert_path("Z:\\Z:"), "/");
  EXPECT_EQ(convert_path("ab Z:"), "ab ");
  EXPECT_EQ(convert_path("z:\\Z"), "z:/Z");
  EXPECT_EQ(convert_path("a\\\"b"), "a/\"b");
}

// What each field becomes for the engine: the escape before a quote is the
// panel's own and goes; paths and texts are converted as they always were.
TEST(CommandLine, EachFieldReachesTheEngineAsOneArgument) {
  EXPECT_EQ(engine_text("a\\\"b"), "a\"b");
  EXPECT_EQ(engine_text("Z:\\x\\y\\"), "/x/y/");
  EXPECT_EQ(engine_text("\\\\\""), "/\"");
  EngineRun run{"Z:\\b.kb", 1, 'd', "s", "d", "", {}};
  run.parameters[0] = "a\\\"b c";
  const std::vector<EngineArgument> a = engine_arguments(run);
  ASSERT_EQ(a.size(), 20u);
  EXPECT_EQ(a[0].text, "/b.kb");
  EXPECT_TRUE(a[0].path && a[3].path && a[4].path);
  EXPECT_FALSE(a[1].path || a[2].path || a[5].path || a[6].path);
  EXPECT_EQ(a[6].text, "a\"b c");
  EXPECT_EQ(engine_command_line(a).substr(0, 32), "\"/b.kb\" 1 d \"s\" \"d\" \"0\" \"a\\\"b c\"");

  // Only texts beyond ASCII go by file, and never one with a line break.
  EXPECT_FALSE(texts_go_by_file(a));
  run.parameters[1] = "\xE9";
  EXPECT_TRUE(texts_go_by_file(engine_arguments(run)));
  run.parameters[2] = "x\ny";
  EXPECT_FALSE(texts_go_by_file(engine_arguments(run)));
  run.source = "\xE9";  // a path is no text
  run.parameters[1] = run.parameters[2] = "";
  EXPECT_FALSE(texts_go_by_file(engine_arguments(run)));

  EXPECT_FALSE(beyond_latin1("a\xE9\xFF"));
  EXPECT_TRUE(beyond_latin1("\xC5\x82"));
}

TEST(ConfigFile, LengthPrefixesHaveOneThreeOrSevenBytes) {
  EXPECT_EQ(text_prefix(0), std::string(1, '\0'));
  EXPECT_EQ(text_prefix(254), "\xFE");
  EXPECT_EQ(text_prefix(255), std::string("\xFF\xFF\x00", 3));
  EXPECT_EQ(text_prefix(300), "\xFF\x2C\x01");
  EXPECT_EQ(text_prefix(65533), "\xFF\xFD\xFF");
  EXPECT_EQ(text_prefix(65534), std::string("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7));
  EXPECT_EQ(text_prefix(0x12345678), "\xFF\xFF\xFF\x78\x56\x34\x12");
}

PanelConfig sample(std::size_t log_size) {
  PanelConfig c;
  c.book = "Z:\\b\\k.kb";
  c.source = "in";
  c.destination = "out";
  c.confirmation = "";
  c.number = -7;
  c.name = "clave";
  for (std::size_t k = 0; k < 14; ++k) c.parameters[k] = std::string(k, static_cast<char>('a' + k));
  c.log = std::string(log_size, 'L');
  c.engine = "qvx4.exe";
  return c;
}

TEST(ConfigFile, SavedFormsLoadBackWithTheFieldOrderAndPrefixes) {
  TempDir dir;
  for (std::size_t log_size : {0u, 300u, 70000u}) {
    SCOPED_TRACE(log_size);
    PanelConfig c = sample(log_size);
    ASSERT_TRUE(save_config(dir.file("c.cfg"), c));
    auto back = load_config(dir.file("c.cfg"));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, c);
  }
  std::string bytes = as_string(read_file(dir.file("c.cfg")));
  std::string head = std::string("\x09Z:\\b\\k.kb\x02in\x03out\x00\xF9\xFF\xFF\xFF\x05" "clave", 28);
  EXPECT_EQ(bytes.substr(0, head.size()), head);
  EXPECT_EQ(bytes.substr(bytes.size() - 9), "\x08qvx4.exe");

  ASSERT_TRUE(save_config(dir.file("c.cfg"), sample(300)));
  bytes = as_string(read_file(dir.file("c.cfg")));
  EXPECT_NE(bytes.find("\xFF\x2C\x01" + std::string(300, 'L') + "\x08qvx4.exe"), std::string::npos);
}

TEST(ConfigFile, DamagedFilesAreRefusedWhole) {
  TempDir dir;
  ASSERT_TRUE(save_config(dir.file("c.cfg"), sample(300)));
  std::string good = as_string(read_file(dir.file("c.cfg")));
  for (std::size_t cut = 0; cut < good.size(); cut += 7) {
    write_file(dir.file("cut.cfg"), good.substr(0, cut));
    EXPECT_FALSE(load_config(dir.file("cut.cfg")).has_value()) << cut;
  }
  // A length far beyond the file must not be believed.
  write_file(dir.file("huge.cfg"), std::string("\xFF\xFF\xFF\xFF\xFF\xFF\x7F" "abc", 10));
  EXPECT_FALSE(load_config(dir.file("huge.cfg")).has_value());
  EXPECT_FALSE(load_config(dir.file("none.cfg")).has_value());
}

}  // namespace
}  // namespace qvxpanel
