// The command line's parsing into work files and pass parameters (the
// dispatch and the exit statuses are tested on the built program, in
// tests/cli_test.cpp).
#include "MAIN_vuriv_2025/cli.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qvx {
namespace {

TEST(CommandLine, ParametersAndWorkFiles) {
  auto argv_of = [](std::vector<std::string>& v) {
    std::vector<char*> a;
    for (auto& s : v) a.push_back(s.data());
    return a;
  };
  std::vector<std::string> five = {"qvx7", "k.kb", "1", "c", "/tmp/x.txt", "out"};
  auto a5 = argv_of(five);
  WorkFiles w = work_files_for(6, a5.data());
  EXPECT_EQ(w.first, "qvx01.qvx");
  EXPECT_EQ(w.second, "qvx02.qvx");

  std::vector<std::string> full = {"qvx7", "k.kb", "1", "c", "/tmp/x.txt", "out", "0",
                                   "t1", "0x", "0", "0", "0", "0", "0", "0",
                                   "0", "0", "z", "0", "0", "0"};
  auto af = argv_of(full);
  w = work_files_for(21, af.data());
  EXPECT_EQ(w.first, "/tmp/x.txtqvx01.qvx");
  EXPECT_EQ(w.second, "/tmp/x.txtqvx02.qvx");
  RunParameters p = run_parameters(21, af.data());
  EXPECT_EQ(p.confirmation, nullptr);
  EXPECT_STREQ(p.text[0], "t1");
  EXPECT_STREQ(p.text[1], "0x");  // longer than "0": a real text
  EXPECT_EQ(p.text[2], nullptr);
  EXPECT_TRUE(p.run9);  // 15 and 16 are "0", 17 is a text: A and B defaulted
  EXPECT_EQ(p.abc9[0], nullptr);
  EXPECT_EQ(p.abc9[1], nullptr);
  EXPECT_STREQ(p.abc9[2], "z");
  EXPECT_FALSE(p.run10);  // all three "0"

  // Only parameter 15 present, and "0": pass 9 is left out; pass 10 has no
  // member at all and runs with its built-in texts.
  p = run_parameters(16, af.data());
  EXPECT_FALSE(p.run9);
  EXPECT_TRUE(p.run10);
  // Source "0" is not a source: the work files stay in the working directory.
  full[4] = "0";
  af = argv_of(full);
  EXPECT_EQ(work_files_for(21, af.data()).first, "qvx01.qvx");
}

}  // namespace
}  // namespace qvx
