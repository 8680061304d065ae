// The run's output and its verdict: placed once, only when every pass
// reported its output whole; otherwise wiped, the destination untouched.
#include "cipher/run/run_output.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "cipher/run/planner.h"
#include "console_capture.h"
#include "testutil.h"

namespace qvx {
namespace {

using namespace qvx::testing;
namespace fs = std::filesystem;

void write_output(RunOutput& out, const std::string& text) {
  OutFile f;
  ASSERT_TRUE(out.open(f));
  f.write(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  ASSERT_TRUE(f.close());
}

TEST(RunOutput, PlacesOnlyACompleteRunAndWipesTheRest) {
  TempDir dir;
  const std::string dest = dir.file("dest");
  write_file(dest, "old");
  {
    RunOutput out;
    ASSERT_TRUE(out.make(dest));
    write_output(out, "half");
    RunVerdict v;
    v.add(Outcome::complete);
    v.add(Outcome::failed);
    v.add(Outcome::complete);
    ConsoleCapture cap;
    EXPECT_FALSE(out.place(v, "shown"));
    EXPECT_EQ(cap.text(), "\nError no se ha escrito el Destino shown, el proceso no ha terminado bien\n");
    EXPECT_FALSE(fs::exists(out.file().name));
    EXPECT_FALSE(out.place(RunVerdict{}, "shown"));  // once only
  }
  EXPECT_EQ(as_string(read_file(dest)), "old");

  RunOutput out;
  ASSERT_TRUE(out.make(dest));
  write_output(out, "whole");
  ConsoleCapture cap;
  EXPECT_TRUE(out.place(RunVerdict{}, "shown"));
  EXPECT_EQ(cap.text(), "");
  EXPECT_EQ(as_string(read_file(dest)), "whole");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// An output never placed (the run stopped before) is wiped when dropped.
TEST(RunOutput, DroppedUnplacedLeavesNothing) {
  TempDir dir;
  std::string name;
  {
    RunOutput out;
    ASSERT_TRUE(out.make(dir.file("dest")));
    write_output(out, "plain text");
    name = out.file().name;
  }
  EXPECT_FALSE(fs::exists(name));
  EXPECT_FALSE(fs::exists(dir.file("dest")));
}

// The verdict comes from the passes' reports: a source that does not open
// fails pass 1, and the run's verdict with it; the same run on a real
// source is complete (a record without keys: every pass copies).
TEST(RunPlan, TheVerdictFoldsEveryPassReport) {
  TempDir dir;
  const WorkFiles w{dir.file("qvx01.qvx"), dir.file("qvx02.qvx")};
  std::vector<Step> steps(23);
  for (int n = 1; n <= 23; ++n) steps[static_cast<std::size_t>(n - 1)].pass = n;
  ConsoleCapture cap;
  codifica missing(dir.file("none").c_str(), dir.file("out").c_str());
  EXPECT_FALSE(run_plan(missing, steps, RunTargets{w}).complete());
  write_file(dir.file("src"), "plain");
  codifica real(dir.file("src").c_str(), dir.file("out").c_str());
  EXPECT_TRUE(run_plan(real, steps, RunTargets{w}).complete());
  EXPECT_EQ(as_string(read_file(dir.file("out"))), "plain");
}

}  // namespace
}  // namespace qvx
