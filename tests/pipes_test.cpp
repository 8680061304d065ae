// Standard input and output as source and destination: real pipes, data
// well beyond the 4 MiB hold bound and the 64 KiB buffers, and the ways a
// pipe fails.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>

#include "books.h"
#include "run_engine.h"

namespace qvx {
namespace {

using namespace qvx::testing;
namespace fs = std::filesystem;

class Pipes : public ::testing::Test {
 protected:
  void SetUp() override {
    write_book(dir.file("k.kb"), {sample_record("uno")});
    ::setenv("Q", QVX7_PATH, 1);
  }
  // Runs a bash command line in the test's directory; returns its stdout.
  std::string sh(const std::string& command) {
    const std::string line = "cd '" + dir.path().string() + "' && bash -c '" + command + "'";
    std::string out;
    if (FILE* p = ::popen(line.c_str(), "r")) {
      char buf[4096];
      std::size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
      ::pclose(p);
    }
    return out;
  }
  std::string text(const std::string& name) { return as_string(read_file(dir.file(name))); }
  // The same run's console lines from a file of another name.
  static std::string renamed(std::string s, const std::string& from, const std::string& to) {
    return std::regex_replace(s, std::regex(from), to);
  }

  TempDir dir;
};

TEST_F(Pipes, TarThroughPipes) {
  fs::create_directories(dir.file("src/sub"));
  write_file(dir.file("src/big.bin"), random_bytes(6u << 20, 1));  // over the hold bound
  write_file(dir.file("src/sub/carta.txt"), "Carta a Luc\xED" "a\n");
  write_file(dir.file("src/sub/odd.bin"), random_bytes(65537, 2));
  fs::create_directories(dir.file("out"));

  EXPECT_EQ(sh("tar cf - -C src . | \"$Q\" --script k.kb 1 c - enc.qvx 2> err; echo ${PIPESTATUS[*]}"), "0 0\n");
  EXPECT_EQ(text("err"), "");
  EXPECT_EQ(sh("\"$Q\" --script k.kb 1 d enc.qvx - 2> err | tar xf - -C out; echo ${PIPESTATUS[*]}"), "0 0\n");
  EXPECT_EQ(text("err"), "");
  EXPECT_EQ(sh("diff -r src out > /dev/null && echo same"), "same\n");
  // Two runs in one place, the second reading what the first writes: the
  // second takes all its input before it waits for the work files.
  fs::remove_all(dir.file("out"));
  fs::create_directories(dir.file("out"));
  EXPECT_EQ(sh("tar cf - -C src . | timeout 120 \"$Q\" --script k.kb 1 c - - | "
               "timeout 120 \"$Q\" --script k.kb 1 d - - | tar xf - -C out; echo ${PIPESTATUS[*]}"),
            "0 0 0 0\n");
  EXPECT_EQ(sh("diff -r src out > /dev/null && echo same"), "same\n");

  // Without --script: the statuses and console lines of the run from a
  // file, on stdout when it is free, on stderr when it carries the data.
  sh("tar cf - -C src . > t.tar");
  EXPECT_EQ(sh("\"$Q\" k.kb 1 c t.tar file.qvx > file.log; \"$Q\" k.kb 1 c - pipe.qvx < t.tar > pipe.log; "
               "echo $?"),
            "4\n");
  EXPECT_EQ(renamed(text("pipe.log"), ":_- en", ":_t.tar en"), renamed(text("file.log"), "file.qvx", "pipe.qvx"));
  EXPECT_EQ(sh("\"$Q\" k.kb 1 d file.qvx back.tar > file.log; \"$Q\" k.kb 1 d file.qvx - > back2.tar 2> pipe.log; "
               "echo $?"),
            "3\n");
  EXPECT_EQ(read_file(dir.file("back2.tar")), read_file(dir.file("t.tar")));
  EXPECT_EQ(renamed(text("pipe.log"), "Destino -", "Destino back.tar"), text("file.log"));
  for (const auto& f : list_dir(dir.path())) EXPECT_EQ(f.find("qvx0"), std::string::npos) << f;
}

TEST_F(Pipes, FailurePaths) {
  write_file(dir.file("plain.bin"), random_bytes(5u << 20, 3));
  ASSERT_EQ(sh("\"$Q\" --script k.kb 1 c plain.bin enc.qvx; echo $?"), "0\n");
  const std::set<std::string> before = list_dir(dir.path());

  // A reader that goes away: the writes fail, the run says so (status 8).
  EXPECT_EQ(sh("\"$Q\" --script k.kb 1 d enc.qvx - 2> err | head -c 1000 > /dev/null; echo ${PIPESTATUS[0]}"), "8\n");
  EXPECT_NE(text("err"), "");
  EXPECT_EQ(sh("\"$Q\" k.kb 1 d enc.qvx - 2> /dev/null | head -c 1000 > /dev/null; echo ${PIPESTATUS[0]}"), "8\n");

  // An encoded stream cut short decodes as the same cut file does.
  sh("head -c 3000000 enc.qvx > cut.qvx");
  const std::string from_file = sh("\"$Q\" k.kb 1 d cut.qvx a.bin > a.log; echo $?");
  const std::string from_pipe = sh("head -c 3000000 enc.qvx | \"$Q\" k.kb 1 d - b.bin > b.log; echo $?");
  EXPECT_EQ(from_pipe, from_file);
  EXPECT_EQ(renamed(text("b.log"), ":_- en el Destino b.bin", ":_cut.qvx en el Destino a.bin"), text("a.log"));
  EXPECT_EQ(fs::exists(dir.file("a.bin")), fs::exists(dir.file("b.bin")));
  for (const char* f : {"a.bin", "b.bin", "a.log", "b.log", "cut.qvx", "err"}) fs::remove(dir.file(f));
  EXPECT_EQ(list_dir(dir.path()), before);  // no work file, no temporary output left

  // Stopped while the input still arrives: the spool goes with the rest.
  EXPECT_EQ(sh("{ head -c 2000000 plain.bin; sleep 3; } | \"$Q\" k.kb 1 c - x.qvx > /dev/null & "
               "sleep 1; kill -TERM $!; wait $!; echo $?"),
            "143\n");
  EXPECT_EQ(list_dir(dir.path()), before);
}

}  // namespace
}  // namespace qvx
