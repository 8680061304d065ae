// The chain's two halves on two threads: a build choice, not a #if (the
// Windows build's compiler has no std::thread; chain_one_thread.cpp there).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "cipher/passes/stage.h"

namespace qvx {

// Feeds the first stage: in order, or with seeks when it would hold more
// than `bound`.
void feed(Stage& head, InFile& in, uint64_t bound);

// Runs the first half of `stages` on a thread of its own and the second on
// this one, and ends every stage. False, having run nothing, where the
// build has no threads.
// REQUIRES: at least two stages, connected except at the cut; `in` open.
bool run_halves(std::vector<std::unique_ptr<Stage>>& stages, InFile& in, uint64_t bound);

}  // namespace qvx
