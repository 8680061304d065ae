// The chain's two halves on two threads: a build choice, not a #if (the
// Windows build's compiler has no std::thread; chain_one_thread.cpp there).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "cipher/passes/stage.h"

namespace qvx {

// The room an output file lends the chain's last stage: a piece at a time.
unsigned char* file_room(OutFile& out, std::size_t& size);

// Feeds the first stage: in order, or with seeks when it would hold more
// than `bound`.
void feed(Stage& head, InFile& in, uint64_t bound);

// Runs the first half of `stages` on a thread of its own and the second on
// this one, and ends every stage. False, having run nothing, where the
// build has no threads.
// REQUIRES: at least two stages, connected except at the cut; `in` open.
bool run_halves(std::vector<std::unique_ptr<Stage>>& stages, InFile& in, uint64_t bound);

// What a chain run in two segments leaves for its flows.
struct Segments {
  bool ran = false;
  uint64_t cut = 0;     // the output offset where the second segment begins
  uint64_t end = 0;     // the offset where the second segment's output ended
  bool in_ok = true;    // the second segment's reads
  bool out_ok = true;   // the second segment's writes
};

// Makes the output up to its middle with the chain's stages on a thread of
// their own, fed from the input's start until that much reached `file`,
// and the rest with the twins on this one, each restarted where the one
// after it must begin, fed from there and writing `out` at offsets through
// a writer of their own. Every stage then counts what the two covered. Not
// run (nothing changed) where the build has no threads or none is to be
// had.
// REQUIRES: chain.twins built as chain.stages, the chain `restartable`;
// `in` and `out` open, `out` no stream; the stages connected, the last one
// to `file`.
Segments run_segments(Chain& chain, InFile& in, OutFile& out, Sink& file);
// Chains this process ran in two segments (for the tests and the notes).
uint64_t segmented_chains();

}  // namespace qvx
