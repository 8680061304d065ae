// Hostile names, texts and key-book slots: every run must end with its
// status, run no command, keep the source and leave no work file; where the
// run can work at all, decoding must give the data back.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "MAIN_vuriv_2025/cli.h"
#include "books.h"
#include "console/console.h"
#include "bookformat/slot.h"
#include "run_engine.h"

namespace qvx {
namespace {

using namespace qvx::testing;
namespace fs = std::filesystem;

// Shell-looking names: were any of them handed to a shell, one of these
// files would appear.
const char* const kCommandTraps[] = {"pwned1", "pwned2", "pwned3"};

class Hostile : public ::testing::Test {
 protected:
  void SetUp() override { write_book(dir.file("k.kb"), {sample_record("uno")}); }

  void expect_clean(const RunResult& r) {
    EXPECT_FALSE(r.timed_out);
    for (const auto& f : r.files) EXPECT_EQ(f.find("qvx0"), std::string::npos) << f;
    for (const char* trap : kCommandTraps) EXPECT_FALSE(fs::exists(dir.file(trap))) << trap;
  }

  // Encodes `source` into `encoded` and back into `decoded` with the same
  // extra parameters; true when the data came back.
  bool round_trip(const std::string& source, const std::string& encoded, const std::string& decoded,
                  const std::vector<std::string>& extra = {}, const std::string& book = "k.kb") {
    const Bytes data = read_file(dir.file(source));
    std::vector<std::string> enc = {book, "1", "c", source, encoded};
    enc.insert(enc.end(), extra.begin(), extra.end());
    RunResult e = run_engine_in(dir.path(), enc);
    EXPECT_EQ(e.status, 4) << e.out;
    expect_clean(e);
    std::vector<std::string> dec = {book, "1", "d", encoded, decoded};
    dec.insert(dec.end(), extra.begin(), extra.end());
    RunResult d = run_engine_in(dir.path(), dec);
    EXPECT_EQ(d.status, 3) << d.out;
    expect_clean(d);
    EXPECT_EQ(read_file(dir.file(source)), data);
    return read_file(dir.file(decoded)) == data;
  }

  TempDir dir;
};

TEST_F(Hostile, ShellLookingAndNonAsciiNamesAreJustNames) {
  const std::vector<std::string> names = {
      "a b c.bin",       "it's \"quoted\".bin", "x;touch pwned1;.bin", "$(touch pwned2).bin",
      "`touch pwned3`",  "-leading.bin",        "\xD1\xBA\xFF\x80.bin", "*?[x].bin"};
  for (const std::string& n : names) {
    SCOPED_TRACE(n);
    write_file(dir.file(n), random_bytes(3000, n.size()));
    fs::rename(dir.file("k.kb"), dir.file(n + ".kb"));
    // The name in every role: book, source, destination, confirmation file
    // and work files beside the source.
    EXPECT_TRUE(round_trip(n, n + ".enc", n + ".dec", {n, "0", "texto"}, n + ".kb"));
    fs::rename(dir.file(n + ".kb"), dir.file("k.kb"));
  }
}

// Paths at and beyond what the system accepts: the output, kept beside the
// work files, cannot be put there, and the run says so; nothing is
// written anywhere else.
TEST_F(Hostile, OverlongPaths) {
  write_file(dir.file("plain.bin"), random_bytes(2000, 9));
  const std::string long_name(300, 'n');  // beyond a file name's limit
  std::string deep;                       // 4096 characters of directories
  while (deep.size() < 4096) deep += std::string(200, 'd') + "/";
  deep.resize(4096);
  for (const std::string& dest : {long_name, deep, "plain.bin" + std::string(250, 'x')}) {
    RunResult r = run_engine_in(dir.path(), {"k.kb", "1", "c", "plain.bin", dest});
    EXPECT_EQ(r.status, 8);
    // A folder that does not exist cannot hold the output: refused at once.
    EXPECT_NE(r.out.find(dest == deep ? "Error no se puede crear el fichero temporal del Destino en la carpeta "
                                      : "Error no se ha escrito el Destino "),
              std::string::npos);
    expect_clean(r);
    EXPECT_EQ(r.files, (std::set<std::string>{"k.kb", "plain.bin"}));
  }
  // As the source with work files beside it, and as the key book.
  RunResult r = run_engine_in(dir.path(), {"k.kb", "1", "c", deep, "out.bin", "0"});
  EXPECT_EQ(r.status, 8);
  expect_clean(r);
  EXPECT_FALSE(fs::exists(dir.file("out.bin")));
  r = run_engine_in(dir.path(), {deep, "1", "c", "plain.bin", "out.bin"});
  EXPECT_EQ(r.status, 0);
  expect_clean(r);
}

// Slots as no writer makes them: no NUL in any field, bytes 0x80 to 0xFF,
// number fields that are not numbers or not finite. Each one must still
// encode and decode to the same data.
TEST_F(Hostile, CorruptSlotsStillRoundTrip) {
  write_file(dir.file("plain.bin"), random_bytes(40000, 11));
  auto with_numbers = [](const char* engorde, const char* desorden) {
    std::vector<std::string> m;
    Slot s = write_slot(sample_record("uno"), m);
    std::memset(s.data() + kEngordeOffset, 0, kEngordeWidth + kDesordenWidth);
    std::memcpy(s.data() + kEngordeOffset, engorde, std::strlen(engorde));
    std::memcpy(s.data() + kDesordenOffset, desorden, std::strlen(desorden));
    return s;
  };
  std::vector<Slot> slots;
  Slot all_a;
  all_a.fill('A');
  slots.push_back(all_a);
  Slot high;
  for (std::size_t i = 0; i < kSlotSize; ++i) high[i] = static_cast<unsigned char>(0x80 + i % 0x80);
  slots.push_back(high);
  for (const char* bad : {"nan", "inf", "-inf", "1e999", "-1e-999", "abc", "0x1p3", "  7"})
    slots.push_back(with_numbers(bad, bad));
  slots.push_back(with_numbers("1234567890", "1234567890.1-9"));

  for (std::size_t i = 0; i < slots.size(); ++i) {
    SCOPED_TRACE(i);
    write_file(dir.file("odd.kb"), Bytes(slots[i].begin(), slots[i].end()));
    EXPECT_TRUE(round_trip("plain.bin", "enc.bin", "dec.bin", {}, "odd.kb"));
    EXPECT_EQ(read_file(dir.file("odd.kb")), Bytes(slots[i].begin(), slots[i].end()));
  }
}

// Parameters of 1 MiB, more than an exec'd command line may carry, so the
// engine's entry is called in-process.
TEST_F(Hostile, MebibyteTextsInProcess) {
  write_file(dir.file("plain.bin"), random_bytes(100000, 12));
  const std::string big = as_string(random_bytes(1 << 20, 13));
  std::string text(big);
  for (char& c : text)
    if (c == '\0') c = 'z';  // a parameter ends at its NUL
  auto run = [&](const char* op, const char* from, const char* to) {
    std::vector<std::string> args = {"qvx7", dir.file("k.kb"), "1", op, dir.file(from), dir.file(to),
                                     text};
    for (int k = 0; k < 14; ++k) args.push_back(text.substr(k, text.size() - 7 * k));
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    std::istringstream in;
    std::ostringstream out;
    con::bind(in, out);
    const int status = run_engine(static_cast<int>(argv.size()), argv.data());
    con::restore();
    return status;
  };
  EXPECT_EQ(run("c", "plain.bin", "enc.bin"), 4);
  EXPECT_EQ(run("d", "enc.bin", "dec.bin"), 3);
  EXPECT_EQ(read_file(dir.file("dec.bin")), random_bytes(100000, 12));
  for (const auto& f : list_dir(dir.path())) EXPECT_EQ(f.find("qvx0"), std::string::npos) << f;
}

// Typed words of 1 MiB at every kind of prompt the menus have: a menu
// choice, a file name, a record number, record fields.
TEST_F(Hostile, MebibyteTypedWords) {
  const std::string word(1 << 20, 'w');
  write_file(dir.file("plain.bin"), random_bytes(1000, 14));
  const std::vector<std::pair<std::vector<std::string>, std::string>> sessions = {
      {{}, word + "\nS\n\n"},
      {{}, "C\n" + word + "\nS\nS\n\n"},
      {{"k.kb"}, "E\n" + word + "\nS\n"},
      {{"k.kb"}, "A\n" + word + "\n" + word + "\nS\n"},
      {{"k.kb", "1"}, "U\n" + word + "\nS\n"},
  };
  for (const auto& [args, input] : sessions) {
    RunResult r = run_engine_in(dir.path(), args, input, 60);
    EXPECT_FALSE(r.timed_out);
    EXPECT_GE(r.status, 5);
    // Output stays proportionate: an over-long word is dropped, not echoed
    // or answered again and again.
    EXPECT_LT(r.out.size(), 200000u);
    expect_clean(r);
  }
  EXPECT_EQ(read_file(dir.file("plain.bin")), random_bytes(1000, 14));
}

}  // namespace
}  // namespace qvx
