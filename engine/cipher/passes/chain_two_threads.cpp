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

// Hands on the first `limit` bytes it takes and no more. On the way it
// tells the chain's progress of what the other segment's writer wrote
// (the progress line is this thread's alone).
class Cap : public Sink {
 public:
  Cap(Sink& next, uint64_t limit, const Chain& chain, std::atomic<uint64_t>& elsewhere)
      : next_(next), limit_(limit), chain_(chain), elsewhere_(elsewhere) {}
  void take(unsigned char* data, std::size_t n) override {
    const auto m = static_cast<std::size_t>(std::min<uint64_t>(n, limit_ - sent_));
    if (m > 0) next_.take(data, m);
    sent_ += m;
    tell_elsewhere();
  }
  unsigned char* lend(std::size_t& size) override {
    size = 0;
    return limit_ - sent_ >= kPiece ? next_.lend(size) : nullptr;
  }
  bool full() const { return sent_ == limit_; }
  void tell_elsewhere() {
    if (const uint64_t more = elsewhere_.exchange(0)) {
      if (chain_.on_output) chain_.on_output(static_cast<std::size_t>(more));
      OutFile::meter_more(more);
    }
  }

 private:
  Sink& next_;
  const uint64_t limit_;
  uint64_t sent_ = 0;
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

// The second segment's file: its own writer, counting for the first.
class SecondWriter : public Sink {
 public:
  SecondWriter(OutFile& out, std::atomic<uint64_t>& written) : out_(out), written_(written) {}
  void take(unsigned char* data, std::size_t n) override {
    out_.write(data, n);
    written_ += n;
  }
  unsigned char* lend(std::size_t& size) override { return file_room(out_, size); }

 private:
  OutFile& out_;
  std::atomic<uint64_t>& written_;
};

std::atomic<uint64_t> g_segmented{0};

}  // namespace

uint64_t segmented_chains() { return g_segmented; }

Segments run_segments(Chain& chain, InFile& in, OutFile& out, Sink& file) {
  auto& stages = chain.stages;
  auto& twins = chain.twins;
  const std::size_t last = stages.size() - 1;
  const uint64_t total = stages[last]->out_size();
  // The output's middle, where a large file has it on a block; moved on
  // by half the work the twins' restarts replay before they hand anything
  // on, so that the two segments end together.
  uint64_t replay = 0;
  for (std::size_t i = 0; i <= last; ++i)
    replay += twins[i]->restart_work(
        static_cast<uint64_t>(static_cast<double>(twins[i]->out_size()) / static_cast<double>(total) * (total / 2)));
  const uint64_t middle = std::min(total / 2 + replay / 2, total - total / 4);
  const uint64_t cut = total >= 4 * kBlock ? middle / kBlock * kBlock : middle;
  Segments r;
  if (cut == 0) return r;
  std::atomic<uint64_t> elsewhere{0};
  Cap cap(file, cut, chain, elsewhere);
  stages[last]->connect(&cap);
  std::thread first_segment;
  try {
    first_segment = std::thread([&] {
      // Stopped once the cut is reached, the stages hold what they hold:
      // the rest is the second segment's.
      if (!stages[0]->feed_in_order(in, [&] { return cap.full(); }))
        for (auto& s : stages) s->end();
    });
  } catch (const std::system_error&) {
    stages[last]->connect(&file);
    return r;
  }
  r.ran = true;
  r.cut = cut;
  ++g_segmented;

  // From the last twin back: each restarts at or before where the one
  // after it must begin, and drops what it makes before that.
  InFile in2;
  OutFile out2;
  SecondWriter writer(out2, elsewhere);
  std::vector<Drop> drops(twins.size());
  uint64_t want = cut;
  for (std::size_t i = twins.size(); i-- > 0;) {
    uint64_t out_at = 0;
    const uint64_t in_at = twins[i]->restart(want, out_at);
    Sink* next = i == last ? static_cast<Sink*>(&writer) : twins[i + 1].get();
    if (want > out_at) {
      drops[i].aim(next, want - out_at);
      next = &drops[i];
    }
    twins[i]->connect(next);
    want = in_at;
  }
  const bool opened = in2.open_same(in) && in2.seek(want) && out2.open_same(out, cut);
  if (opened) {
    twins[0]->feed_in_order(in2, {});
    for (auto& t : twins) t->end();
  }
  r.in_ok = opened && in2.ok();
  r.out_ok = opened && out2.close();
  r.end = opened ? out2.written() : cut;
  first_segment.join();
  cap.tell_elsewhere();
  // Where the first segment reached the cut, the two cover the input
  // without a gap: each stage got as far as the one that got further.
  if (cap.full())
    for (std::size_t i = 0; i <= last; ++i) stages[i]->adopt_counts(*twins[i]);
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
