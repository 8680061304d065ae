// The planner: builds a run's 23 passes into as few sweeps as it can.
// Consecutive stages are chained in memory, so a chain reads its input once
// and writes its output once; a stage that would hold more than the bound
// (a block of gigabytes from a key byte of 0x80 or more) or that asks the
// user something starts a chain of its own, and the chain before it spills
// its output to a work file. With an ordinary key record an encoding is
// one sweep: source in, destination out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cipher/passes/pass_stages.h"
#include "cipher/passes/pass_table.h"
#include "cipher/run/pipeline.h"
#include "cipher/run/run_output.h"
#include "platform/files.h"

namespace qvx {

// One step of a run, in the order its console lines come out: a pass
// (`pass` 1 to 23) with what the pipeline prints before it, or an action
// between passes (`pass` 0: a wipe of a work file). Placing the output is
// no step: the pipeline does it once, after the plan has run.
struct Step {
  int pass = 0;
  std::function<void()> say;   // the announcement, or the action
  bool left_out = false;       // pass 9 or 10 left out: announced, nothing runs
  bool applied = false;        // passes 1 to 10: done already (a spooled input), reported as run
  const char* texts[3] = {};   // passes 1 to 10
  Confirmation confirmation;   // pass 23
  Role wipes = Role::origin;   // an action that wipes this work file (origin: none)
};

// One sweep: steps [begin, end) of the run, reading `from` and writing
// `to` (the run's origin or destination, or a work file holding a spill).
struct Sweep {
  std::size_t begin = 0;
  std::size_t end = 0;
  Role from = Role::origin;
  Role to = Role::destination;
  bool seeks = false;  // a stage reads the sweep's input with seeks
  // The step whose stage writes ahead (Stage::write_ahead), if any: the
  // sweep writes its output with seeks.
  std::size_t ahead = SIZE_MAX;
};

// From this input size on a run on two processors or more runs each
// sweep's halves on two threads (the one-thread path is the reference the
// tests compare it with).
constexpr uint64_t kTwoThreadsFrom = 4u << 20;
// Less left to a segment is not worth starting another for.
constexpr uint64_t kTakeOverFrom = 8u << 20;

struct PlanRules {
  uint64_t bound = kHoldBound;  // most a stage may hold in memory
  bool fuse = true;             // false: every pass its own sweep (as one at a time)
  // Sweeps over inputs from this size on run on two threads (kOneThread:
  // never). A run's rules (plan_rules) take kTwoThreadsFrom where the
  // process may use two processors or more.
  uint64_t two_threads_from = kOneThread;
  // Runs of consecutive stages that only add a term of the byte number
  // (passes 1 to 10; exchange passes whose input is all tail) add one
  // keystream, the sum of theirs (keystream.h).
  bool combine = true;
  // A stage that would hold too much, behind stages of its sweep that are
  // all positional (pass 23, passes adding a term of the byte number),
  // reads the sweep's input with seeks and their work applied as it reads,
  // instead of a spill of their output (stage.h, seeking_stage). And a
  // stage that would hold too much, with only positional stages behind it
  // to a destination that can be written at offsets, writes its output
  // there ahead instead (Stage::write_ahead).
  bool recompute = true;
  // A sweep on two threads whose stages can all restart part-way runs as
  // two segments, the first and second half of its output, each on a
  // thread of its own with every stage (false: its halves, stages
  // 1..k on one thread and the rest on the other).
  bool segments = true;
  // The segment that ends first takes over the second half of what the
  // other has left, with a third set of the stages, where at least this
  // much is left (kOneThread: never; each makes its half, and whichever
  // ends first waits).
  uint64_t take_over_from = kTakeOverFrom;
};

// Where a run's sweeps read and write: the work files on their held
// descriptors and the destination through the run's output. Without them
// (a plan run outside a RunGuard, as the tests do) the files are opened by
// the names in `names` and the coder's destination.
struct RunTargets {
  const WorkFiles& names;
  HeldFile* work[2] = {nullptr, nullptr};  // first, second
  RunOutput* output = nullptr;
  HeldFile* origin = nullptr;  // read instead of the origin's name (standard input's spool)
  // Told of every plain byte in order, for a check file's MAC: the source
  // as encoding pass 1 takes it, the output as decoding pass 1 hands it on.
  std::function<void(const unsigned char*, std::size_t)> plain = {};
};

// The sweeps for `steps` on an input of `size` bytes, to a destination
// that can be written at offsets unless `streamed`.
std::vector<Sweep> make_plan(const coder& c, const std::vector<Step>& steps, uint64_t size,
                             const PlanRules& rules = {}, bool streamed = false);
// Runs the steps by the plan; the lines of each sweep come out when it
// ends. Returns the verdict folded from every pass's report.
// REQUIRES: `targets` outlives the call; the output was made (when given).
RunVerdict run_plan(coder& c, const std::vector<Step>& steps, const RunTargets& targets,
                    const PlanRules& rules = {});
// "1-23 in memory" style text for notes and the benchmark.
std::string describe(const std::vector<Step>& steps, const std::vector<Sweep>& plan);

// How each stage of each sweep works its data (keystream, exchange
// cycles, ...), one line per sweep.
std::string describe_stages(const coder& c, const std::vector<Step>& steps, const std::vector<Sweep>& plan,
                            uint64_t size, const PlanRules& rules = {});

// Rules every run of this process plans with (tests compare against the
// one-at-a-time path with them).
void set_plan_rules(const PlanRules& rules);
const PlanRules& plan_rules();

}  // namespace qvx
