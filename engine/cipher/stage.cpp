#include "cipher/stage.h"

#include <algorithm>
#include <cstring>

#if !defined(_WIN32)
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#endif

#include "console/console.h"

namespace qvx {
namespace {

// Pieces at least this long go on in place; shorter ones are gathered.
constexpr std::size_t kInPlace = 16 * 1024;

class FileSink : public Sink {
 public:
  FileSink(OutFile& out, const Chain& chain) : out_(out), chain_(chain) {}
  void take(unsigned char* data, std::size_t n) override {
    if (chain_.on_output) chain_.on_output(n);
    if (chain_.output_tap) chain_.output_tap(data, n);
    out_.write(data, n);
  }

 private:
  OutFile& out_;
  const Chain& chain_;
};

#if !defined(_WIN32)
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

  // The producer's side.
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
  static constexpr std::size_t kSlots = 4;
  static constexpr std::size_t kSlot = kBlock;
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

#endif

// Feeds the first stage: in order, or with seeks when it would hold too much.
void feed(Stage& head, InFile& in, uint64_t bound) {
  if (head.hold() > bound)
    head.run_from(in);
  else
    head.Stage::run_from(in);
}

#if !defined(_WIN32)
// Where the chain is cut in two: the work before and after about equal.
std::size_t halfway(const std::vector<std::unique_ptr<Stage>>& stages) {
  double total = 0;
  for (const auto& s : stages) total += s->cost();
  double before = 0;
  for (std::size_t i = 0; i + 1 < stages.size(); ++i) {
    before += stages[i]->cost();
    if (before >= total / 2) return i + 1;
  }
  return stages.size() - 1;
}

// The chain's first half on a thread of its own, the second on this one.
void run_halves(std::vector<std::unique_ptr<Stage>>& stages, InFile& in, uint64_t bound) {
  const std::size_t mid = halfway(stages);
  Handoff handoff;
  stages[mid - 1]->connect(&handoff);
  std::thread first_half([&] {
    feed(*stages[0], in, bound);
    for (std::size_t i = 0; i < mid; ++i) stages[i]->end();
    handoff.finish();
  });
  handoff.drain([&](unsigned char* data, std::size_t n) { stages[mid]->take(data, n); });
  first_half.join();
  for (std::size_t i = mid; i < stages.size(); ++i) stages[i]->end();
}
#endif

}  // namespace

void Emitter::give(unsigned char* data, std::size_t n) {
  if (n < kInPlace) {
    give_copy(data, n);
    return;
  }
  flush();
  next_->take(data, n);
  given_ += n;
}

void Emitter::give_copy(const unsigned char* data, std::size_t n) {
  while (n > 0) {
    std::size_t got = 0;
    unsigned char* at = room(n, got);
    std::memcpy(at, data, got);
    commit(got);
    data += got;
    n -= got;
  }
}

unsigned char* Emitter::room(std::size_t want, std::size_t& got) {
  if (!buf_) buf_ = std::make_unique_for_overwrite<unsigned char[]>(kSize);
  if (len_ == kSize) flush();
  got = std::min(want, kSize - len_);
  return buf_.get() + len_;
}

void Emitter::flush() {
  if (len_ == 0) return;
  const std::size_t n = len_;
  len_ = 0;
  next_->take(buf_.get(), n);
}

void Stage::run_from(InFile& in) {
  static constexpr std::size_t kRead = kBlock;
  auto buf = std::make_unique_for_overwrite<unsigned char[]>(kRead);
  for (uint64_t done = 0; done < in_size_;) {
    const auto want = static_cast<std::size_t>(std::min<uint64_t>(kRead, in_size_ - done));
    const std::size_t got = in.read(buf.get(), want);
    if (got > 0) take(buf.get(), got);
    done += got;
    if (got < want) break;
  }
}

bool Stage::report_copy(coder& c, const Flow& f) const {
  const bool complete = f.opened && f.complete;
  c.copy_messages(reads.c_str(), in_size_, f.landed, f.opened);
  if (!complete) {
    c.fallo = true;
    con::out() << "Error Copiando en Disco";
  }
  return complete;
}

void run_chain(Chain& chain, InFile& in, const char* to, uint64_t bound, uint64_t threads_from) {
  OutFile out(to);
  FileSink file(out, chain);
  auto& stages = chain.stages;
  const std::size_t last = stages.size() - 1;
  for (std::size_t i = 0; i < last; ++i) stages[i]->connect(stages[i + 1].get());
  stages[last]->connect(&file);

  const bool out_opened = out.is_open();
  const bool opened = in.is_open() && out_opened;
#if defined(_WIN32)
  threads_from = kOneThread;  // the Windows build's threads are not relied on
#endif
  const bool two = threads_from != kOneThread && stages.size() >= 2 && in.size() >= threads_from;
  if (opened && two) {
#if !defined(_WIN32)
    run_halves(stages, in, bound);
#endif
  } else if (opened) {
    feed(*stages[0], in, bound);
    for (auto& s : stages) s->end();
  }
  const bool written = out.close();

  chain.flows.assign(stages.size(), Flow{});
  for (std::size_t i = 0; i <= last; ++i) {
    Flow& f = chain.flows[i];
    Stage& s = *stages[i];
    f.accepted = s.given();
    f.landed = i == last ? out.written() : s.given();
    f.opened = (i != 0 || in.is_open()) && (i != last || out_opened);
    // A stage behind an input that did not open was built for 0 bytes
    // and is complete with none.
    f.complete = s.taken() == s.in_size() && f.landed == f.accepted && (i != 0 || in.ok()) &&
                 (i != last || (written && out_opened));
  }
}

}  // namespace qvx
