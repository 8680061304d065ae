#include "cipher/run/planner.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "cipher/passes/keystream.h"
#include "cipher/passes/pass_table.h"
#include "console/progress.h"
#include "platform/system.h"

namespace qvx {
namespace {

PlanRules machine_rules() {
  PlanRules r;
  if (sys::processors() >= 2) r.two_threads_from = kTwoThreadsFrom;
  return r;
}

PlanRules g_rules = machine_rules();

// The stage of a pass step, built for an input of `n` bytes.
std::unique_ptr<Stage> stage_of(const coder& c, const Step& s, uint64_t n) {
  if (s.pass <= 10) return additive_stage(c, s.pass, s.texts, n, s.applied);
  if (s.pass == 11) return growth_stage(c, n);
  if (s.pass == 12) return disorder_stage(c, n);
  if (s.pass <= 22) return exchange_stage(c, s.pass, n);
  return confirm_stage(c, s.confirmation, n);
}

bool runs(const Step& s) { return s.pass != 0 && !s.left_out; }

// The stage that must see the plain data in order, for a check file's MAC:
// the source as encoding pass 1 takes it (unless it was spooled through
// already).
bool takes_plain(const coder& c, const Step& s) { return c.dir == Direction::encode && s.pass == 1 && !s.applied; }

Role other(Role r) { return r == Role::first ? Role::second : Role::first; }

const char* name_of(const coder& c, Role r, const WorkFiles& w) {
  const char* name = file_of(c, r, w.first.c_str(), w.second.c_str());
  return name ? name : "";
}

HeldFile* held_of(Role r, const RunTargets& t) {
  return r == Role::first ? t.work[0] : r == Role::second ? t.work[1] : nullptr;
}

// A spilled sweep's input: a work file.
bool open_input(InFile& in, const coder& c, Role r, const RunTargets& t) {
  if (HeldFile* h = held_of(r, t)) return in.open(*h);
  return in.open(name_of(c, r, t.names));
}

// A sweep's output: a work file, or the destination through the run's output.
bool open_output(OutFile& out, const coder& c, Role r, const RunTargets& t) {
  if (r == Role::destination && t.output) return t.output->open(out);
  if (HeldFile* h = held_of(r, t)) return out.open(*h);
  return out.open(name_of(c, r, t.names));
}

void say(const Step& s) {
  if (s.say) s.say();
}

// The progress line counts pass by pass, each pass writing the whole data.
// A sweep runs its k passes at once: as its output grows, the line is told
// of each pass in turn and of k bytes for every byte written (the file
// itself reports one of them).
class SweepProgress {
 public:
  SweepProgress(std::vector<int> passes, uint64_t out_size)
      : passes_(std::move(passes)), size_(std::max<uint64_t>(out_size, 1)) {
    con::progress::pass(passes_[0]);
  }
  void operator()(std::size_t n) {
    written_ += n;
    const uint64_t k = passes_.size();
    const uint64_t along = std::min(written_, size_) * k;  // pass-bytes done
    const std::size_t now = static_cast<std::size_t>(std::min<uint64_t>(along / size_, k - 1));
    uint64_t extra = (k - 1) * n;
    if (now != at_) {
      at_ = now;
      con::progress::pass(passes_[now]);
      const uint64_t in_pass = along - now * size_;
      extra = in_pass > n ? in_pass - n : 0;
    }
    con::progress::moved(extra);
  }

 private:
  std::vector<int> passes_;
  uint64_t size_;
  uint64_t written_ = 0;
  std::size_t at_ = 0;
};

// The stages of one sweep over an input of `n` bytes, with the planner's
// rules applied; `step_of` gets the step of each stage.
std::vector<std::unique_ptr<Stage>> sweep_stages(const coder& c, const std::vector<Step>& steps, const Sweep& sweep,
                                                 uint64_t n, const PlanRules& rules,
                                                 std::vector<std::size_t>& step_of) {
  std::vector<std::unique_ptr<Stage>> stages;
  for (std::size_t i = sweep.begin; i < sweep.end; ++i) {
    if (!runs(steps[i])) continue;
    stages.push_back(stage_of(c, steps[i], n));
    if (i == sweep.ahead) stages.back()->write_ahead(rules.bound);
    n = stages.back()->out_size();
    step_of.push_back(i);
  }
  if (rules.combine) combine_terms(stages);
  return stages;
}

}  // namespace

void set_plan_rules(const PlanRules& rules) { g_rules = rules; }
const PlanRules& plan_rules() { return g_rules; }

namespace {

// Whether every step after `i` that runs is positional, on an input of `n`
// bytes: stages that take bytes at offsets.
bool positional_after(const coder& c, const std::vector<Step>& steps, std::size_t i, uint64_t n) {
  for (std::size_t j = i + 1; j < steps.size(); ++j) {
    if (!runs(steps[j])) continue;
    const std::unique_ptr<Stage> stage = stage_of(c, steps[j], n);
    if (!stage->positional() || takes_plain(c, steps[j]) || stage->interactive()) return false;
    n = stage->out_size();
  }
  return true;
}

}  // namespace

std::vector<Sweep> make_plan(const coder& c, const std::vector<Step>& steps, uint64_t size, const PlanRules& rules,
                             bool streamed) {
  std::vector<Sweep> plan(1);
  bool empty = true;  // the current sweep has no stage yet
  // Every stage of the current sweep is positional, and none takes the
  // plain data in order.
  bool positional = true;
  uint64_t n = size;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const Step& s = steps[i];
    if (!runs(s)) continue;
    const std::unique_ptr<Stage> stage = stage_of(c, s, n);
    const bool too_big = stage->hold() > rules.bound;
    // A stage too big to hold needs no spill before it when only
    // positional stages come before it in the sweep (it reads with seeks)
    // or after it (it writes ahead). Decoding's destination is told of its
    // bytes in order (a check file's MAC), so only encoding writes ahead.
    const bool avoidable = too_big && !empty && rules.recompute && rules.fuse && !stage->interactive();
    const bool recomputed = avoidable && positional;
    if (recomputed) plan.back().seeks = true;
    const bool ahead = avoidable && !recomputed && !streamed && c.dir == Direction::encode &&
                       positional_after(c, steps, i, stage->out_size()) && stage->write_ahead(rules.bound);
    if (ahead) plan.back().ahead = i;
    if (!empty && !recomputed && !ahead && (!rules.fuse || too_big || stage->interactive())) {
      positional = true;
      // Spill where the pass would read, unless this sweep reads there.
      Sweep& before = plan.back();
      const Role spill = route(c.dir, s.pass).from;
      before.to = spill == before.from ? other(spill) : spill;
      before.end = i;
      plan.push_back(Sweep{i, i, before.to, Role::destination, too_big});
    }
    if (empty) plan.back().seeks = too_big;
    positional = positional && stage->positional() && !takes_plain(c, s);
    empty = false;
    n = stage->out_size();
  }
  plan.back().end = steps.size();
  return plan;
}

RunVerdict run_plan(coder& c, const std::vector<Step>& steps, const RunTargets& targets, const PlanRules& rules) {
  const WorkFiles& work = targets.names;
  RunVerdict verdict;
  InFile source;
  if (targets.origin)
    source.open(*targets.origin);
  else
    source.open(c.porigen());
  const std::vector<Sweep> plan =
      make_plan(c, steps, source.size(), rules, targets.output && targets.output->streams());
  // Wipes of a work file whose spill the next sweep still has to read wait
  // until it has been read (only when a pass is left out between sweeps).
  std::vector<const Step*> waiting;
  for (std::size_t k = 0; k < plan.size(); ++k) {
    const Sweep& sweep = plan[k];
    InFile spilled;
    InFile& in = k == 0 ? source : spilled;
    if (k > 0) open_input(spilled, c, sweep.from, targets);

    Chain chain;
    std::vector<std::size_t> step_of;  // the step of each stage
    chain.stages = sweep_stages(c, steps, sweep, in.size(), rules, step_of);
    for (std::size_t j = 0; j < step_of.size(); ++j) {
      const Step& step = steps[step_of[j]];
      Stage& stage = *chain.stages[j];
      stage.reads = name_of(c, route(c.dir, step.pass).from, work);
      if (takes_plain(c, step)) stage.tap = targets.plain;
    }
    // The plain data of decoding: its output, as it reaches the destination.
    if (c.dir == Direction::decode && sweep.to == Role::destination) chain.output_tap = targets.plain;
    // The stages once more, for a second segment, where it may run; and a
    // third time where the output is long enough for a take-over.
    if (rules.segments && rules.two_threads_from != kOneThread && in.size() >= rules.two_threads_from &&
        restartable(chain, rules.bound)) {
      std::vector<std::size_t> again;  // the same steps as step_of
      chain.twins = sweep_stages(c, steps, sweep, in.size(), rules, again);
      if (rules.take_over_from != kOneThread && chain.stages.back()->out_size() >= rules.take_over_from) {
        chain.spares = sweep_stages(c, steps, sweep, in.size(), rules, again);
        chain.take_over_from = rules.take_over_from;
      }
    }
    const uint64_t n = chain.stages.back()->out_size();
    // Only the first stage may ask, and its announcement comes first.
    std::size_t said = sweep.begin;
    if (chain.stages[0]->interactive()) {
      for (; said <= step_of[0]; ++said) say(steps[said]);
    }
    for (auto* set : {&chain.stages, &chain.twins, &chain.spares})
      for (auto& stage : *set) stage->prepare(c);
    std::vector<int> passes;
    for (std::size_t i : step_of) passes.push_back(steps[i].pass);
    chain.on_output = SweepProgress(passes, n);
    OutFile out;
    open_output(out, c, sweep.to, targets);
    run_chain(chain, in, out, rules.bound, rules.two_threads_from);
    in.close();
    for (const Step* w : waiting) say(*w);
    waiting.clear();

    // Steps already announced (an asking first stage) still report.
    std::size_t next = 0;
    for (std::size_t i = sweep.begin; i < sweep.end; ++i) {
      if (i >= said) {
        if (steps[i].wipes != Role::origin && k + 1 < plan.size() && plan[k + 1].from == steps[i].wipes) {
          waiting.push_back(&steps[i]);
          continue;
        }
        say(steps[i]);
      }
      if (next < step_of.size() && step_of[next] == i) {
        verdict.add(chain.stages[next]->report(c, chain.flows[next]));
        ++next;
      }
    }
  }
  return verdict;
}

std::string describe_stages(const coder& c, const std::vector<Step>& steps, const std::vector<Sweep>& plan,
                            uint64_t size, const PlanRules& rules) {
  std::string text;
  for (const Sweep& sweep : plan) {
    std::vector<std::size_t> step_of;
    const auto stages = sweep_stages(c, steps, sweep, size, rules, step_of);
    size = stages.back()->out_size();
    // A keystream's run is one entry: "1-10 keystream of the run, ...".
    std::vector<std::pair<std::string, std::string>> entries;  // passes, how
    for (std::size_t k = 0; k < stages.size(); ++k) {
      const std::string pass = std::to_string(steps[step_of[k]].pass);
      const std::string how = stages[k]->how();
      if (how == "in the keystream" && !entries.empty()) {
        std::string& passes = entries.back().first;
        passes = passes.substr(0, passes.find('-')) + "-" + pass;
      } else {
        entries.emplace_back(pass, how);
      }
    }
    for (std::size_t k = 0; k < entries.size(); ++k)
      text += (k == 0 ? "  " : "; ") + entries[k].first + (entries[k].second.empty() ? "" : " " + entries[k].second);
    text += "\n";
  }
  return text;
}

std::string describe(const std::vector<Step>& steps, const std::vector<Sweep>& plan) {
  static const char* const kNames[] = {"source", "first work file", "second work file", "destination"};
  std::string text;
  for (const Sweep& sweep : plan) {
    std::string passes;
    for (std::size_t i = sweep.begin; i < sweep.end; ++i) {
      if (steps[i].pass == 0) continue;
      if (!passes.empty()) passes += ' ';
      passes += std::to_string(steps[i].pass);
      if (steps[i].left_out) passes += "(left out)";
    }
    text += std::string(kNames[static_cast<int>(sweep.from)]) + (sweep.seeks ? " (with seeks)" : "") + " -> [" +
            passes + "] -> " + kNames[static_cast<int>(sweep.to)] + (sweep.ahead != SIZE_MAX ? " (with seeks)" : "") +
            "\n";
  }
  return text;
}

}  // namespace qvx
