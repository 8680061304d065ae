// What keeps a run safe from its start to its end, whoever else uses the
// machine and however the run ends.
//
// - Before any pass, the files the run must never overwrite are compared
//   with the destination by identity (device and inode), not by spelling.
// - Both work files are claimed once (private, locked, see files.h) and
//   every pass, wipe and stop uses the held descriptors; a second run in
//   the same place waits for the first.
// - The last pass writes the run's output (run_output.h), a private
//   temporary file beside the destination that the pipeline places once
//   the verdict is known; where none can be made there, the run does not
//   start. A link at the destination is replaced, never followed, and a
//   destination another user owns is refused.
// - While a guard lives, the stop signals wipe the held files
//   (platform/stop_signals.h).
#pragma once

#include <functional>
#include <string>

#include "cipher/passes/coder.h"
#include "cipher/run/pipeline.h"
#include "cipher/run/run_output.h"
#include "platform/files.h"
#include "platform/stop_signals.h"

namespace qvx {

// Files besides the source that the destination must never be.
struct RunFiles {
  const char* book = nullptr;          // the key book in use
  const char* confirmation = nullptr;  // the confirmation file, when named
};

class RunGuard {
 public:
  // `first`, when given, runs once the stop signals are caught and before
  // the work files are claimed (reading standard input to its end: another
  // run in the same place, the one that writes it, may hold them until it
  // has been read); false stops the run there.
  // REQUIRES: `c` is complete (compruebaregistro) and outlives the guard.
  RunGuard(const coder& c, const WorkFiles& work, const RunFiles& others, Output output = Output::file,
           const std::function<bool()>& first = {});
  ~RunGuard();
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;

  // False when the run must not start; the reason has been shown.
  bool ready() const { return ready_; }

  // Work file 0 (first) or 1 (second), held for the whole run.
  // REQUIRES: ready().
  HeldFile& work(int which) { return work_[which]; }
  // The run's output, for the last stage and for placing.
  // REQUIRES: ready().
  RunOutput& output() { return output_; }

  // The erase of work file 0 (first) or 1 (second) between and after the
  // passes; `shown_name` is the name its failure message gives.
  void wipe(int which, const char* shown_name);

  // True when a work file could not be wiped (overwritten and cut) or
  // removed: the run must not report success.
  bool wipes_failed() const { return wipes_failed_; }

 private:
  bool destination_allowed(const WorkFiles& work, const RunFiles& others);
  bool claim_work_files();
  bool make_output();

  stops::StopGuard stops_;  // armed first, disarmed last
  const coder& c_;
  HeldFile work_[2];
  RunOutput output_;
  std::string target_;  // what the output finally replaces
  bool wipes_failed_ = false;
  bool ready_ = false;
};

}  // namespace qvx
