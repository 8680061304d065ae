// Standard input as a run's origin ("-"). A pipe has no size to measure and
// cannot be read twice, so the run first reads it to its end into a private
// file of its own (0600, held like the work files, wiped at the end or on
// a stop signal), and the passes read their origin from there:
// - decoding spools the encoded input as it comes;
// - encoding spools what passes 1 to 10 make of it: every term of those
//   passes is a function of the byte number only, never of the size, so
//   they can run before the size is known, and the plaintext never reaches
//   the disk. The run then reports those passes as done (Step::applied).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "cipher/passes/coder.h"
#include "cipher/run/planner.h"
#include "platform/files.h"

namespace qvx {

class StdinSpool {
 public:
  StdinSpool() = default;
  ~StdinSpool();
  StdinSpool(const StdinSpool&) = delete;
  StdinSpool& operator=(const StdinSpool&) = delete;

  // Reads standard input to its end into a new file in `dir`, for the
  // run to read as its origin (RunTargets::origin). Encoding passes
  // `steps`, whose passes 1 to 10 are applied on the way (and marked so),
  // and the plain bytes go to `plain`. False, with the reason shown, when
  // no file could be made or the input or the file failed.
  bool fill(const coder& c, const std::string& dir, std::vector<Step>* steps,
            const std::function<void(const unsigned char*, std::size_t)>& plain);
  HeldFile& file() { return f_; }
  // Wipes and lets go of the file (the destructor does it too).
  void drop();

 private:
  HeldFile f_;
};

}  // namespace qvx
