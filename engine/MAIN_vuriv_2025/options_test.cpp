// The options in front of the parameters and the texts file's lines: the
// contract the panel builds its side against.
#include "MAIN_vuriv_2025/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testutil.h"

namespace qvx {
namespace {

using namespace qvx::testing;

std::vector<std::string> lines_of(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string error;
  EXPECT_TRUE(split_texts(bytes, lines, error)) << error;
  return lines;
}

TEST(TextsFile, LinesAsParameters) {
  using L = std::vector<std::string>;
  EXPECT_EQ(lines_of(""), L{});
  EXPECT_EQ(lines_of("\n"), L{""});
  EXPECT_EQ(lines_of("a"), L{"a"});
  EXPECT_EQ(lines_of("a\n"), L{"a"});
  EXPECT_EQ(lines_of("a\r\n\r\n0\nb"), (L{"a", "", "0", "b"}));
  // Only CR LF ends a line; a lone CR, Latin-1 bytes and blanks are text.
  EXPECT_EQ(lines_of("x\ry \xF1\t\r\n"), L{"x\ry \xF1\t"});
  EXPECT_EQ(lines_of(std::string(14, '\n')), L(14, ""));

  std::vector<std::string> lines;
  std::string error;
  EXPECT_FALSE(split_texts(std::string(15, '\n'), lines, error));
  EXPECT_NE(error.find("14"), std::string::npos);
  EXPECT_FALSE(split_texts(std::string("a\nb\0c\n", 6), lines, error));
  EXPECT_NE(error.find("linea 2"), std::string::npos);
}

struct Args {
  std::vector<std::string> words;
  std::vector<char*> argv;
  explicit Args(std::vector<std::string> w) : words(std::move(w)) {
    for (auto& s : words) argv.push_back(s.data());
    argv.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(words.size()); }
};

std::vector<std::string> params_of(const OptionLine& line) {
  std::vector<std::string> p;
  for (int k = 1; k < line.argc(); ++k) p.push_back(line.argv[static_cast<std::size_t>(k)]);
  return p;
}

TEST(Options, TakenOffBeforeTheCount) {
  TempDir dir;
  write_file(dir.file("t"), "uno\r\n\n0\n");
  const std::string t = dir.file("t");
  using P = std::vector<std::string>;

  Args plain({"qvx7", "b.kb", "1", "c", "s", "d"});
  EXPECT_EQ(option_words(plain.argc(), plain.argv.data()), 0);
  Args both({"qvx7", "--script", "--texts", t, "--sync", "--check", "b.kb", "1", "c", "s", "d"});
  EXPECT_EQ(option_words(both.argc(), both.argv.data()), 5);
  const OptionLine line = take_options(both.argc(), both.argv.data());
  EXPECT_TRUE(line.error.empty()) << line.error;
  EXPECT_TRUE(line.options.script && line.options.check && line.options.sync);
  // Parameter 6 is "0" when the command line stops at 5.
  EXPECT_EQ(params_of(line), (P{"b.kb", "1", "c", "s", "d", "0", "uno", "", "0"}));
  EXPECT_EQ(line.argv.back(), nullptr);

  Args six({"qvx7", "--texts", t, "b.kb", "1", "d", "s", "d", "conf"});
  EXPECT_EQ(params_of(take_options(six.argc(), six.argv.data())), (P{"b.kb", "1", "d", "s", "d", "conf", "uno", "", "0"}));
  // An option later on is a parameter like any other.
  Args late({"qvx7", "b.kb", "1", "c", "s", "--script"});
  const OptionLine kept = take_options(late.argc(), late.argv.data());
  EXPECT_FALSE(kept.options.script);
  EXPECT_EQ(params_of(kept).back(), "--script");
}

TEST(Options, Refused) {
  TempDir dir;
  write_file(dir.file("t"), "uno\n");
  const std::string t = dir.file("t");
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"qvx7", "--texts", t, "b.kb", "1", "c", "s", "d", "0", "texto7"},  // 7 to 20 twice
           {"qvx7", "--script", "b.kb", "1"},                                   // not a run
           {"qvx7", "--script", "--script", "b.kb", "1", "c", "s", "d"},
           {"qvx7", "--sync", "b.kb", "1", "c", "s"},                           // no destination
           {"qvx7", "--sync", "--sync", "b.kb", "1", "c", "s", "d"},
           {"qvx7", "--texts"},
           {"qvx7", "--texts", dir.path().string(), "b.kb", "1", "c", "s", "d"},  // not a regular file
           {"qvx7", "--texts", dir.file("missing"), "b.kb", "1", "c", "s", "d"}}) {
    Args a(words);
    EXPECT_FALSE(take_options(a.argc(), a.argv.data()).error.empty()) << words[1] << " " << words.size();
  }
}

}  // namespace
}  // namespace qvx
