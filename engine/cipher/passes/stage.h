// Every pass as a stream stage: it takes its input in order and hands its
// output on in order, holding at most one block or window. From the key
// record and the input size alone (the block structure never depends on the
// data) a stage knows how much it must hold and how long its output is, so
// a chain of stages can run in memory and read its input once.
//
// A stage talks to the console only after its chain has run (`report`),
// with what it really took and handed on; the lines of a chain therefore
// come out together, in pass order. Only a stage that asks the user
// something (`interactive`) speaks before the data, and only at the head
// of a chain.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/bytestream.h"
#include "cipher/passes/coder.h"

namespace qvx {

// A stage that must hold more than this is not fed in memory: its input is
// spilled to a work file and it reads it with seeks.
constexpr uint64_t kHoldBound = 4u << 20;

// The longest piece an emitter gathers in a buffer of its own, and the
// least room a sink lends.
constexpr std::size_t kPiece = 64 * 1024;

// What a chain reads, hands from thread to thread and lends of the output
// file's buffer at a time: a piece that stays in a core's second-level
// cache while the kernel copies it in and its stages work it. (The file is
// still written a block at a time: smaller writes cost more system time.)
constexpr std::size_t kChainPiece = 256 * 1024;

// Where bytes go next: a stage or a file.
class Sink {
 public:
  virtual ~Sink() = default;
  // The receiver may change the bytes in place.
  virtual void take(unsigned char* data, std::size_t n) = 0;
  // Room of at least kPiece bytes (`size` says how many) where the bytes
  // of the next `take` may already be written: a `take` of bytes that
  // start there is not copied. Null when the sink lends none. What was
  // written there counts for nothing until that `take`.
  virtual unsigned char* lend(std::size_t& size) {
    size = 0;
    return nullptr;
  }
  // Bytes that belong at `offset` of the sink's output, out of order: only
  // positional stages and a file that can be written at offsets take them,
  // and the bytes in order that follow start where the out-of-order ones
  // ended. Anything else taking one is a fault of the chain's plan.
  virtual void take_at(unsigned char* data, std::size_t n, uint64_t offset);
};

// Writes a stage's output to the next sink in pieces large enough that a
// long chain is not crossed once per short block; where the next sink
// lends room, straight into it.
class Emitter {
 public:
  static constexpr std::size_t kSize = kPiece;

  void connect(Sink* next) { next_ = next; }
  // Hands bytes on, copying short pieces and passing long ones in place.
  void give(unsigned char* data, std::size_t n);
  void give_copy(const unsigned char* data, std::size_t n);
  // Room for up to `want` bytes (at most kSize at a time); `commit` what
  // was filled.
  unsigned char* room(std::size_t want, std::size_t& got);
  // Room for exactly `n` bytes, or null when `n` exceeds kSize.
  unsigned char* reserve(std::size_t n) {
    if (n > kSize) return nullptr;
    if (cap_ - len_ < n) flush();
    if (len_ == 0) start();
    return at_ + len_;
  }
  void commit(std::size_t n) { len_ += n; given_ += n; }
  // Hands bytes on for `offset` of the output, after what waits here.
  void give_at(unsigned char* data, std::size_t n, uint64_t offset);
  // Counts bytes handed on without passing through here.
  void count(uint64_t n) { given_ += n; }
  void flush();
  uint64_t given() const { return given_; }
  // What the next sink lends, while nothing waits here to go before it.
  unsigned char* lend(std::size_t& size) {
    size = 0;
    return len_ == 0 && next_ ? next_->lend(size) : nullptr;
  }

 private:
  // Where the next piece gathers: room the next sink lends, or a buffer
  // of our own. Asked anew for every piece, since what the sink lent
  // moves on once it takes anything.
  void start();

  Sink* next_ = nullptr;
  std::unique_ptr<unsigned char[]> buf_;
  unsigned char* at_ = nullptr;  // the piece being gathered
  std::size_t cap_ = 0;          // its room
  std::size_t len_ = 0;
  uint64_t given_ = 0;
};

// What a chain saw of one stage, for its report.
struct Flow {
  bool opened = true;     // its input and output files (head and last stage) opened
  bool complete = true;   // all input came and everything handed on landed
  uint64_t landed = 0;    // output bytes that reached the next stage or the file
  uint64_t accepted = 0;  // output bytes the stage handed on
};

class Stage : public Sink {
 public:
  explicit Stage(uint64_t in_size) : in_size_(in_size) {}

  uint64_t in_size() const { return in_size_; }
  virtual uint64_t out_size() const { return in_size_; }
  // Bytes the stage holds at most when fed in order.
  virtual uint64_t hold() const { return 0; }
  // Asks on the console before the data (only at the head of a chain).
  virtual bool interactive() const { return false; }
  // Work per byte, against a pass that only moves the data (for cutting a
  // chain into halves of equal work).
  virtual double cost() const { return 1; }
  // How the stage works its data, when it has more than one way (for the
  // notes and the benchmark).
  virtual std::string how() const { return {}; }

  void connect(Sink* next) { out_.connect(next); }
  // Before the data: open what the stage reads besides its input, ask.
  virtual void prepare(coder&) {}
  // Input bytes, in order.
  void take(unsigned char* data, std::size_t n) final {
    taken_ += n;
    if (tap) tap(data, n);
    if (resync_) {
      // The first piece in order after pieces at offsets: positioned anew.
      resync_ = false;
      transform_at(data, n, taken_ - n);
      out_.give(data, n);
      return;
    }
    consume(data, n);
  }
  // Input bytes for `offset`, out of order, from a stage ahead that writes
  // at offsets. REQUIRES: positional(), no tap.
  void take_at(unsigned char* data, std::size_t n, uint64_t offset) final;
  // Told of the input before the stage changes it.
  std::function<void(const unsigned char*, std::size_t)> tap;
  // The input has ended (all of it, or less after a failure).
  void end() {
    finish();
    out_.flush();
  }
  // Runs the stage from a file it may position at will, instead of being
  // fed; used when it would hold too much. The default reads in order.
  virtual void run_from(InFile& in);

  // A positional stage's output at any offset is its input at the same
  // offset, transformed by `transform_at` from the offset alone: a stage
  // behind it that reads with seeks can then read the chain's input file
  // with it applied, instead of a spill of its output.
  virtual bool positional() const { return false; }
  // A positional stage changes every piece in place and hands it on as it
  // came, so what the stage behind it lends, it lends too.
  unsigned char* lend(std::size_t& size) final {
    size = 0;
    return positional() ? out_.lend(size) : nullptr;
  }
  // REQUIRES: positional(); in_size() is its output's size too.
  virtual void transform_at(unsigned char*, std::size_t, uint64_t) {}
  // The whole input went through `transform_at` on the way to the stage
  // behind: counted as taken and handed on.
  void passed_through() {
    taken_ = in_size_;
    out_.count(in_size_);
  }
  uint64_t taken() const { return taken_; }
  uint64_t given() const { return out_.given(); }

  // A block longer than `bound` is not held: the stage writes its output
  // at its offsets as the input comes, so it never reads with seeks and
  // the sweep before it needs no spill. Only positional stages may follow
  // it, ending at a file written at offsets. False, changing nothing,
  // when the stage cannot.
  virtual bool write_ahead(uint64_t /*bound*/) { return false; }
  bool writes_ahead() const { return ahead_; }

  // A second run of the same stage, fresh, can start part-way through its
  // input (the chain is then run in two segments, one per thread).
  virtual bool restartable() const { return positional(); }
  // Puts a fresh stage where it stands, fed in order, at a point from
  // which it hands on its output from `out_at` <= `want` on, as if what
  // came before had been taken and handed on; returns the input offset of
  // that point, where its feeding must start.
  // REQUIRES: restartable(), nothing taken yet.
  uint64_t restart(uint64_t want, uint64_t& out_at);
  // What such a restart costs before the stage hands anything on, in
  // bytes of a chain's work: 0 for a stage that only positions itself.
  virtual uint64_t restart_work(uint64_t /*want*/) const { return 0; }
  // Takes the counts of `twin`, the same stage run from a restart, as its
  // own: this one handed on all that came before the restart.
  // Each covers its input from a point on; together, what the one that
  // got further got to.
  void adopt_counts(const Stage& twin) {
    taken_ = std::max(taken_, twin.taken_);
    if (twin.given() > given()) out_.count(twin.given() - given());
  }
  // Feeds this stage `in` from where it stands to the end, in order,
  // until `enough` says so after a read; true when it did.
  bool feed_in_order(InFile& in, const std::function<bool()>& enough);

  // The console lines of the pass, after the chain has run; says whether
  // the pass's output is whole (the lines are the same either way).
  // REQUIRES: called once, after the chain ran, with this stage's Flow.
  virtual Outcome report(coder& c, const Flow& f) = 0;

  // The file the pass reads, as its copy message names it.
  std::string reads;

 protected:
  virtual void consume(unsigned char* data, std::size_t n) = 0;
  virtual void finish() {}
  // The restart point at or before `want` of the output, as `restart`
  // says; the stage sets its own state there. A positional stage restarts
  // anywhere: its next piece is positioned anew.
  virtual uint64_t restart_at(uint64_t want, uint64_t& out_at) {
    out_at = want;
    return want;
  }
  // For run_from overrides: bytes read from the file count as taken.
  void count_taken(uint64_t n) { taken_ += n; }
  void set_writes_ahead() { ahead_ = true; }
  // The lines of a pass that copies instead of transforming (the coder's
  // copy operation); failed when the copy fell short.
  Outcome report_copy(coder& c, const Flow& f) const;
  // For run_from: `len` bytes of `in` from `from`, through a fixed buffer,
  // handed to `use(piece, n, offset in the run)`. False on a short read.
  template <class Use>
  bool read_run(InFile& in, uint64_t from, uint64_t len, Use use) {
    if (!in.seek(from)) return false;
    if (!run_buf_) run_buf_ = std::make_unique_for_overwrite<unsigned char[]>(kRunBuffer);
    for (uint64_t t = 0; t < len;) {
      const auto want = static_cast<std::size_t>(std::min<uint64_t>(kRunBuffer, len - t));
      const std::size_t got = in.read(run_buf_.get(), want);
      count_taken(got);
      use(run_buf_.get(), got, t);
      t += got;
      if (got < want) return false;
    }
    return true;
  }

  Emitter out_;

 private:
  static constexpr std::size_t kRunBuffer = 64 * 1024;
  std::unique_ptr<unsigned char[]> run_buf_;
  uint64_t in_size_;
  uint64_t taken_ = 0;
  bool resync_ = false;  // pieces came at offsets since the last one in order
  bool ahead_ = false;
};

// Stages run in memory from one file to another: the first stage reads
// `in` (with seeks when it would hold more than `bound`), the last writes
// `out` (opened by the caller: by name, or on a held descriptor such as
// the run's output) and closes it. Fills one Flow per stage.
// REQUIRES: the stages were built for the size `in` measured (0 when it
// did not open) and are prepared; `out` was opened after `prepare` (a
// closed `out` is reported as a file that did not open).
struct Chain {
  std::vector<std::unique_ptr<Stage>> stages;
  // The same stages built once more, prepared alike, where the chain is
  // `restartable`: on two threads the second half of the output is then
  // made by these, from the input's middle on (empty: never).
  std::vector<std::unique_ptr<Stage>> twins;
  // Once more, for the segment that ends first to take over part of the
  // other's, where at least `take_over_from` bytes are left to it (empty:
  // it never does).
  std::vector<std::unique_ptr<Stage>> spares;
  uint64_t take_over_from = UINT64_MAX;
  std::vector<Flow> flows;
  // Told of every piece handed to the output file, before it is written.
  std::function<void(std::size_t)> on_output;
  // The same with the bytes.
  std::function<void(const unsigned char*, std::size_t)> output_tap;
};
// Whether every stage of the chain can restart (and so the chain run in
// two segments): all restartable, in memory, in order, none tapped.
bool restartable(const Chain& chain, uint64_t bound);
// From an input of `threads_from` bytes on, the chain's two halves run on
// two threads with a few buffers between them; kOneThread: never.
constexpr uint64_t kOneThread = UINT64_MAX;
void run_chain(Chain& chain, InFile& in, OutFile& out, uint64_t bound = kHoldBound,
               uint64_t threads_from = kOneThread);
// The stage a chain feeds from its input file: the first one, or the first
// that would hold more than `bound` when only positional stages without a
// tap come before it (they then work on what it reads).
std::size_t seeking_stage(const std::vector<std::unique_ptr<Stage>>& stages, uint64_t bound);

// One pass on its own: `make` builds its stage for the input size; the
// pass reads `from` and writes `to`, then reports. Returns 1, as passes do
// (the outcome matters only to a run, which goes through the planner).
template <class Make>
int run_one_stage(coder& c, const char* from, const char* to, Make make, uint64_t bound = kHoldBound) {
  InFile in(from);
  Chain chain;
  chain.stages.push_back(make(in.size()));
  chain.stages[0]->reads = from ? from : "";
  chain.stages[0]->prepare(c);
  OutFile out(to);
  run_chain(chain, in, out, bound);
  chain.stages[0]->report(c, chain.flows[0]);
  return 1;
}

}  // namespace qvx
