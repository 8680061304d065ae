#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "cipher/passes/chain_threads.h"

namespace qvx {
namespace {

// Hands the output of the first half of a chain, run on its own thread,
// to the second half: a few large buffers go round between the two.
class Handoff : public Sink {
 public:
  Handoff() {
    for (std::size_t i = 0; i < kSlots; ++i) {
      slots_[i].data = std::make_unique_for_overwrite<unsigned char[]>(kSlot);
      free_.push_back(i);
    }
  }

  // The producer's side. The stage before writes into a buffer of its own
  // and its pieces are copied in; the slots lend no room. An exchange pass
  // that gathered its output straight into a slot, lines the other core
  // had read, took four times as long as into its own buffer: far more
  // than the copy costs.
  void take(unsigned char* data, std::size_t n) override {
    while (n > 0) {
      if (!filling_) filling_ = &slots_[acquire()];
      const std::size_t m = std::min(n, kSlot - filling_->len);
      std::memcpy(filling_->data.get() + filling_->len, data, m);
      filling_->len += m;
      data += m;
      n -= m;
      if (filling_->len == kSlot) publish();
    }
  }
  void finish() {
    if (filling_ && filling_->len > 0) publish();
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
    changed_.notify_all();
  }

  // The consumer's side: every piece in order, until the producer finishes.
  template <class Use>
  void drain(Use use) {
    for (;;) {
      std::size_t i;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return !full_.empty() || done_; });
        if (full_.empty()) return;
        i = full_.front();
        full_.pop_front();
      }
      use(slots_[i].data.get(), slots_[i].len);
      slots_[i].len = 0;
      std::lock_guard<std::mutex> lock(mutex_);
      free_.push_back(i);
      changed_.notify_all();
    }
  }

 private:
  static constexpr std::size_t kSlots = 8;
  static constexpr std::size_t kSlot = kChainPiece;
  struct Slot {
    std::unique_ptr<unsigned char[]> data;
    std::size_t len = 0;
  };

  std::size_t acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !free_.empty(); });
    const std::size_t i = free_.front();
    free_.pop_front();
    return i;
  }
  void publish() {
    const auto i = static_cast<std::size_t>(filling_ - slots_);
    filling_ = nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    full_.push_back(i);
    changed_.notify_all();
  }

  Slot slots_[kSlots];
  Slot* filling_ = nullptr;
  std::deque<std::size_t> free_, full_;
  bool done_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
};

// What reading and writing a byte through the page cache cost, in the
// units of Stage::cost (a move in the cache), as measured on a 2-core
// machine: the first half reads, the second writes.
constexpr double kReadCost = 12, kWriteCost = 17;

// Where the chain is cut in two: the half with the more work, reading or
// writing counted in, as light as it can be. A stage that writes ahead
// and those behind it stay with the file they write at offsets (the
// buffers between the threads carry bytes in order only); 0 when no cut
// is left.
std::size_t halfway(const std::vector<std::unique_ptr<Stage>>& stages) {
  double total = kReadCost + kWriteCost;
  for (const auto& s : stages) total += s->cost();
  const auto ahead = std::find_if(stages.begin(), stages.end(), [](const auto& s) { return s->writes_ahead(); });
  // The last cut allowed: before the stage that writes ahead, or the last.
  const auto last = std::min(static_cast<std::size_t>(ahead - stages.begin()), stages.size() - 1);
  if (last == 0) return 0;
  std::size_t best = 1;
  double best_load = total, before = kReadCost;
  for (std::size_t i = 0; i < last; ++i) {
    before += stages[i]->cost();
    const double load = std::max(before, total - before);
    if (load < best_load) {
      best_load = load;
      best = i + 1;
    }
  }
  return best;
}

// A point of the output that segments meet at: on a block where the
// stretch it cuts is large.
uint64_t on_block(uint64_t at, uint64_t stretch) { return stretch >= 4 * kBlock ? at / kBlock * kBlock : at; }

// How far a segment's output may go, and how far it went: the bytes a
// segment's last stage hands on are admitted up to the limit, which the
// other segment may lower to take over the rest (then the bytes past it
// are dropped, and the segment stops at its next read).
class Limit {
 public:
  Limit(uint64_t from, uint64_t to) : at_(from), to_(to) {}
  // Of `n` bytes handed on, how many are the segment's.
  std::size_t admit(std::size_t n) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto m = static_cast<std::size_t>(std::min<uint64_t>(n, to_ - at_));
    at_ += m;
    return m;
  }
  // Whether room for a whole piece is left (what a sink lends must be).
  bool room_for(std::size_t n) {
    std::lock_guard<std::mutex> lock(mutex_);
    return to_ - at_ >= n;
  }
  bool reached() {
    std::lock_guard<std::mutex> lock(mutex_);
    return at_ == to_;
  }
  uint64_t to() {
    std::lock_guard<std::mutex> lock(mutex_);
    return to_;
  }
  // The segment stopped (at its limit or short of it): nothing is left to
  // take over.
  void stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
  }
  // Lowers the limit to where taking over the rest pays, where at least
  // `least` is left: `cost(at)` is the work, in bytes, of starting a
  // segment at `at`. Returns the new limit and sets `end` to the old one;
  // 0 when it does not pay.
  template <class Cost>
  uint64_t hand_over(uint64_t least, Cost cost, uint64_t& end) {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint64_t left = to_ - at_;
    if (stopped_ || left == 0 || left < least) return 0;
    // Both are to end together: what stays here, as what the other does
    // after its start.
    const uint64_t start = cost(at_ + left / 2);
    if (start >= left) return 0;
    const uint64_t cut = on_block(at_ + (left + start) / 2, left);
    if (cut <= at_ || cut >= to_) return 0;
    end = to_;
    to_ = cut;
    return cut;
  }

 private:
  std::mutex mutex_;
  uint64_t at_, to_;
  bool stopped_ = false;
};

// Hands on a segment's bytes up to its limit, and lends room only while a
// whole piece fits below it.
class Bounded : public Sink {
 public:
  Bounded(Sink& next, Limit& limit) : next_(next), limit_(limit) {}
  void take(unsigned char* data, std::size_t n) override {
    if (const std::size_t m = limit_.admit(n)) next_.take(data, m);
  }
  unsigned char* lend(std::size_t& size) override {
    size = 0;
    return limit_.room_for(kPiece) ? next_.lend(size) : nullptr;
  }

 private:
  Sink& next_;
  Limit& limit_;
};

// The first segment's bound. On the way it tells the chain's progress of
// what the other segments' writers wrote (the progress line is this
// thread's alone).
class Cap : public Bounded {
 public:
  Cap(Sink& next, Limit& limit, const Chain& chain, std::atomic<uint64_t>& elsewhere)
      : Bounded(next, limit), chain_(chain), elsewhere_(elsewhere) {}
  void take(unsigned char* data, std::size_t n) override {
    Bounded::take(data, n);
    tell_elsewhere();
  }
  void tell_elsewhere() {
    if (const uint64_t more = elsewhere_.exchange(0)) {
      if (chain_.on_output) chain_.on_output(static_cast<std::size_t>(more));
      OutFile::meter_more(more);
    }
  }

 private:
  const Chain& chain_;
  std::atomic<uint64_t>& elsewhere_;
};

// Drops the first `skip` bytes it takes: the output of a restarted stage
// that comes before where the next one begins.
class Drop : public Sink {
 public:
  void aim(Sink* next, uint64_t skip) {
    next_ = next;
    skip_ = skip;
  }
  void take(unsigned char* data, std::size_t n) override {
    const auto m = static_cast<std::size_t>(std::min<uint64_t>(n, skip_));
    skip_ -= m;
    if (n > m) next_->take(data + m, n - m);
  }
  unsigned char* lend(std::size_t& size) override {
    size = 0;
    return skip_ == 0 ? next_->lend(size) : nullptr;
  }

 private:
  Sink* next_ = nullptr;
  uint64_t skip_ = 0;
};

// A later segment's file: its own writer, counting for the first.
class SegmentFile : public Sink {
 public:
  SegmentFile(OutFile& out, std::atomic<uint64_t>& written) : out_(out), written_(written) {}
  void take(unsigned char* data, std::size_t n) override {
    out_.write(data, n);
    written_ += n;
  }
  unsigned char* lend(std::size_t& size) override { return file_room(out_, size); }

 private:
  OutFile& out_;
  std::atomic<uint64_t>& written_;
};

// The work, in bytes, of restarting `set` where `at` of its output falls:
// each stage at about as far into its own output.
uint64_t restart_work(const std::vector<std::unique_ptr<Stage>>& set, uint64_t at) {
  const auto total = static_cast<double>(set.back()->out_size());
  uint64_t work = 0;
  for (const auto& s : set)
    work += s->restart_work(static_cast<uint64_t>(static_cast<double>(s->out_size()) / total * static_cast<double>(at)));
  return work;
}

// Runs a fresh set of stages from `from` of the output up to its limit,
// reading and writing on descriptors of its own: from the last stage
// back, each restarts at or before where the one after it must begin, and
// drops what it makes before that.
Segments::Part run_later(std::vector<std::unique_ptr<Stage>>& set, uint64_t from, Limit& limit, const InFile& in,
                         const OutFile& out, std::atomic<uint64_t>& elsewhere) {
  InFile in2;
  OutFile out2;
  SegmentFile file(out2, elsewhere);
  Bounded writer(file, limit);
  std::vector<Drop> drops(set.size());
  uint64_t want = from;
  for (std::size_t i = set.size(); i-- > 0;) {
    uint64_t out_at = 0;
    const uint64_t in_at = set[i]->restart(want, out_at);
    Sink* next = i + 1 == set.size() ? static_cast<Sink*>(&writer) : set[i + 1].get();
    if (want > out_at) {
      drops[i].aim(next, want - out_at);
      next = &drops[i];
    }
    set[i]->connect(next);
    want = in_at;
  }
  Segments::Part part;
  part.from = from;
  part.set = &set;
  const bool opened = in2.open_same(in) && in2.seek(want) && out2.open_same(out, from);
  if (opened && !set[0]->feed_in_order(in2, [&] { return limit.reached(); }))
    for (auto& s : set) s->end();
  limit.stop();
  part.to = limit.to();
  part.in_ok = opened && in2.ok();
  part.out_ok = opened && out2.close();
  part.end = opened ? out2.written() : from;
  return part;
}

std::atomic<uint64_t> g_segmented{0}, g_taken_over{0};

}  // namespace

uint64_t segmented_chains() { return g_segmented; }
uint64_t taken_over_chains() { return g_taken_over; }

Segments run_segments(Chain& chain, InFile& in, OutFile& out, Sink& file) {
  auto& stages = chain.stages;
  const std::size_t last = stages.size() - 1;
  const uint64_t total = stages[last]->out_size();
  // The output's middle, where a large file has it on a block; moved on
  // by half the work the twins' restarts replay before they hand anything
  // on, so that the two segments end together.
  const uint64_t middle = std::min(total / 2 + restart_work(chain.twins, total / 2) / 2, total - total / 4);
  const uint64_t cut = on_block(middle, total);
  Segments r;
  if (cut == 0) return r;
  std::atomic<uint64_t> elsewhere{0};
  Limit first(0, cut), second(cut, total);
  Cap cap(file, first, chain, elsewhere);
  stages[last]->connect(&cap);
  // Whichever segment ends first takes over half of what the other has
  // left, with the spare stages (once).
  std::atomic<bool> spares_taken{chain.spares.empty()};
  Segments::Part taken;
  const auto take_over = [&](Limit& other) {
    if (spares_taken.exchange(true)) return;
    uint64_t end = 0;
    const uint64_t from =
        other.hand_over(chain.take_over_from, [&](uint64_t at) { return restart_work(chain.spares, at); }, end);
    if (from == 0) return;
    Limit rest(from, end);
    taken = run_later(chain.spares, from, rest, in, out, elsewhere);
  };
  std::thread first_segment;
  try {
    first_segment = std::thread([&] {
      // Stopped at its limit, the stages hold what they hold: the rest is
      // the other segments'.
      if (!stages[0]->feed_in_order(in, [&] { return first.reached(); }))
        for (auto& s : stages) s->end();
      first.stop();
      if (first.reached()) take_over(second);
    });
  } catch (const std::system_error&) {
    stages[last]->connect(&file);
    return r;
  }
  r.ran = true;
  ++g_segmented;
  Segments::Part mine = run_later(chain.twins, cut, second, in, out, elsewhere);
  if (mine.end == mine.to && mine.in_ok) take_over(first);
  first_segment.join();
  cap.tell_elsewhere();
  r.cut = first.to();
  mine.to = second.to();
  // The output's stretches in order: the spares' before or after the twins'.
  if (taken.set && taken.from < cut) r.later.push_back(taken);
  r.later.push_back(mine);
  if (taken.set && taken.from >= cut) r.later.push_back(taken);
  if (taken.set) ++g_taken_over;
  // Where the segments before it reached their limits, the stages cover
  // the input without a gap as far as the one that got furthest got.
  if (first.reached())
    for (const Segments::Part& p : r.later) {
      for (std::size_t i = 0; i <= last; ++i) stages[i]->adopt_counts(*(*p.set)[i]);
      if (p.end < p.to) break;
    }
  return r;
}

bool run_halves(std::vector<std::unique_ptr<Stage>>& stages, InFile& in, uint64_t bound) {
  const std::size_t mid = halfway(stages);
  if (mid == 0) return false;
  Handoff handoff;
  stages[mid - 1]->connect(&handoff);
  std::thread first_half;
  try {
    first_half = std::thread([&] {
      feed(*stages[0], in, bound);
      for (std::size_t i = 0; i < mid; ++i) stages[i]->end();
      handoff.finish();
    });
  } catch (const std::system_error&) {
    // No thread to be had (a limit on processes): the chain runs on one.
    stages[mid - 1]->connect(stages[mid].get());
    return false;
  }
  handoff.drain([&](unsigned char* data, std::size_t n) { stages[mid]->take(data, n); });
  first_half.join();
  for (std::size_t i = mid; i < stages.size(); ++i) stages[i]->end();
  return true;
}

}  // namespace qvx
