#include "cipher/passes/chain_threads.h"

namespace qvx {

// The Windows build's threads are not relied on: its chains run on one.
bool run_halves(std::vector<std::unique_ptr<Stage>>&, InFile&, uint64_t) { return false; }
Segments run_segments(Chain&, InFile&, OutFile&, Sink&) { return {}; }
uint64_t segmented_chains() { return 0; }
uint64_t taken_over_chains() { return 0; }

}  // namespace qvx
