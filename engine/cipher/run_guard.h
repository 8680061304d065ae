// What keeps a run from leaving plaintext or a half-written destination
// behind. While a guard lives, SIGINT, SIGTERM and SIGHUP wipe both work
// files and the unfinished output and then end the program by the same
// signal; SIGXFSZ is ignored so that a file-size limit shows up as a failed
// write the passes report, not as a silent kill. The last pass writes a
// temporary file beside the destination, which `finish` renames into place
// only when no pass reported a fault.
#pragma once

#include <string>

#include "cipher/coder.h"
#include "cipher/pipeline.h"

namespace qvx {

class RunGuard {
 public:
  // Arms the handlers and, when the destination can be written under a
  // temporary name, points the coder's write path at it.
  RunGuard(coder& c, const WorkFiles& work);
  ~RunGuard();
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;

  // After the last pass: puts the output in place, or wipes it and says so
  // when the run did not produce a complete one.
  void finish();

  // The temporary name used for `destination` by process `pid`.
  static std::string temporary_name(const std::string& destination, long pid);

 private:
  coder& c_;
  std::string target_;     // what the temporary file becomes
  std::string temporary_;  // empty: the destination is written directly
  bool done_ = false;
};

}  // namespace qvx
