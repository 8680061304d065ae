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

// What a chain run in segments leaves for its flows.
struct Segments {
  // A later segment's stretch of the output.
  struct Part {
    uint64_t from = 0;   // where it begins
    uint64_t to = 0;     // where it was to end
    uint64_t end = 0;    // where its output ended
    bool in_ok = true;   // its reads
    bool out_ok = true;  // its writes
    std::vector<std::unique_ptr<Stage>>* set = nullptr;  // the stages that made it
  };
  bool ran = false;
  uint64_t cut = 0;         // where the first segment's stretch was to end
  std::vector<Part> later;  // in the output's order, the first from `cut`
  // How far the output is whole, the first segment's ending at `first_end`.
  uint64_t whole(uint64_t first_end) const;
  bool in_ok() const;
  bool out_ok() const;
};

// Makes the output up to its middle with the chain's stages on a thread of
// their own, fed from the input's start until that much reached `file`,
// and the rest with the twins on this one, each restarted where the one
// after it must begin, fed from there and writing `out` at offsets through
// a writer of their own. The segment that ends first takes over, with the
// spares (where there are), the second half of what the other has left.
// Every stage then counts what the segments covered. Not run (nothing
// changed) where the build has no threads or none is to be had.
// REQUIRES: chain.twins (and any spares) built as chain.stages, the chain
// `restartable`; `in` and `out` open, `out` no stream; the stages
// connected, the last one to `file`.
Segments run_segments(Chain& chain, InFile& in, OutFile& out, Sink& file);
// Chains this process ran in two segments, and those where one segment
// took over part of the other's (for the tests and the notes).
uint64_t segmented_chains();
uint64_t taken_over_chains();

}  // namespace qvx
