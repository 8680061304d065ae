// One line on standard error that tells how far a long run is: the pass that
// is running, the share of the whole run done, the speed and the time left.
// It is drawn only when standard error is a terminal and the source is over
// kShownFrom bytes, redrawn in place a few times a second, and taken off
// before any console text is shown and at the end, so the console reads as
// it always did. Standard output never carries it.
#pragma once

#include <cstdint>

namespace con::progress {

constexpr uint64_t kShownFrom = 16ull * 1024 * 1024;

// A run over `source` begins (`decoding` runs the passes from 23 down).
void run_start(const char* source, bool decoding);
// Pass n (1 to 23) begins.
void pass(int n);
// The passes wrote `bytes` more.
void moved(uint64_t bytes);
// The run is over: the line goes away for good.
void run_end();
// Take the line off the screen now; the next redraw brings it back.
void erase();

}  // namespace con::progress
