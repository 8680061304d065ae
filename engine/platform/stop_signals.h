// Stop signals during a run. While a StopGuard lives, anything that would
// end the program from outside (POSIX: every catchable signal whose default
// action ends it; Windows: Ctrl-C, Ctrl-Break, closing the console window,
// logging off, shutting down) first wipes every registered held file
// (files.h) and then ends the program the way that stop would have ended
// it, so the caller can tell. SIGPIPE and SIGXFSZ are ignored meanwhile so
// that they show up as failed writes, which the passes report.
#pragma once

namespace qvx::stops {

class StopGuard {
 public:
  // `on_stop` runs in the handler after the wipe (POSIX only, where the
  // handler runs on the stopped thread).
  // REQUIRES: `on_stop` is async-signal-safe; one guard at a time.
  explicit StopGuard(void (*on_stop)() = nullptr);
  ~StopGuard();
  StopGuard(const StopGuard&) = delete;
  StopGuard& operator=(const StopGuard&) = delete;
};

// Holds the stops off while a file and its name change together (a stop
// then waits until the change is whole).
// REQUIRES: not nested.
void hold();
void release();

// Around every write of run data, on any thread. A stop that lands on one
// thread waits for the writes in flight on the others, and a thread that
// begins one after that stays there for good: the wipe sees every file as
// it ends, with nothing written behind it (the program then ends).
void write_begins();
void write_ends();

class Held {
 public:
  Held() { hold(); }
  ~Held() { release(); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
};

}  // namespace qvx::stops
