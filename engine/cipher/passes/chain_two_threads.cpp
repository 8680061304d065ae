#include <algorithm>
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

}  // namespace

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
