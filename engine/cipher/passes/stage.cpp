#include "cipher/passes/stage.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cipher/passes/chain_threads.h"
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
  void take_at(unsigned char* data, std::size_t n, uint64_t offset) override {
    assert(!chain_.output_tap && "a tapped output written out of order");
    if (chain_.on_output) chain_.on_output(n);
    out_.write_at(data, n, offset);
  }
  unsigned char* lend(std::size_t& size) override { return file_room(out_, size); }

 private:
  OutFile& out_;
  const Chain& chain_;
};

}  // namespace

bool restartable(const Chain& chain, uint64_t bound) {
  if (chain.output_tap) return false;
  return std::all_of(chain.stages.begin(), chain.stages.end(), [bound](const auto& s) {
    return s->restartable() && !s->tap && s->hold() <= bound && !s->writes_ahead();
  });
}

unsigned char* file_room(OutFile& out, std::size_t& size) {
  unsigned char* room = out.lend(kPiece, size);
  size = std::min(size, kChainPiece);
  return room;
}

void feed(Stage& head, InFile& in, uint64_t bound) {
  if (head.hold() > bound)
    head.run_from(in);
  else
    head.Stage::run_from(in);
}

void Emitter::give(unsigned char* data, std::size_t n) {
  if (n < kInPlace) {
    give_copy(data, n);
    return;
  }
  flush();
  next_->take(data, n);
  given_ += n;
}

void Sink::take_at(unsigned char*, std::size_t, uint64_t) {
  std::fputs("qvx7: bytes out of order for a sink that cannot take them\n", stderr);
  std::abort();
}

void Stage::take_at(unsigned char* data, std::size_t n, uint64_t offset) {
  assert(positional() && !tap && "bytes out of order for a stage that cannot take them");
  taken_ += n;
  transform_at(data, n, offset);
  resync_ = true;
  out_.give_at(data, n, offset);
}

void Emitter::give_at(unsigned char* data, std::size_t n, uint64_t offset) {
  flush();
  given_ += n;
  next_->take_at(data, n, offset);
}

void Emitter::give_copy(const unsigned char* data, std::size_t n) {
  while (n > 0) {
    std::size_t got = 0;
    unsigned char* at = room(n, got);
    // Bytes already where the room is (the sink lent it to a stage ahead).
    if (at != data) std::memcpy(at, data, got);
    commit(got);
    data += got;
    n -= got;
  }
}

unsigned char* Emitter::room(std::size_t want, std::size_t& got) {
  if (len_ == cap_) flush();
  if (len_ == 0) start();
  got = std::min(want, cap_ - len_);
  return at_ + len_;
}

void Emitter::start() {
  std::size_t size = 0;
  if (unsigned char* lent = next_->lend(size); lent && size >= kSize) {
    at_ = lent;
    cap_ = size;
    return;
  }
  if (!buf_) buf_ = std::make_unique_for_overwrite<unsigned char[]>(kSize);
  at_ = buf_.get();
  cap_ = kSize;
}

void Emitter::flush() {
  if (len_ == 0) return;
  const std::size_t n = len_;
  len_ = 0;
  next_->take(at_, n);
}

uint64_t Stage::restart(uint64_t want, uint64_t& out_at) {
  assert(restartable() && taken_ == 0 && "a restart of a stage that cannot or did start");
  const uint64_t in_at = restart_at(want, out_at);
  taken_ = in_at;
  out_.count(out_at);
  resync_ = positional();
  return in_at;
}

void Stage::run_from(InFile& in) { feed_in_order(in, {}); }

bool Stage::feed_in_order(InFile& in, const std::function<bool()>& enough) {
  static constexpr std::size_t kRead = kChainPiece;
  std::unique_ptr<unsigned char[]> own;
  for (uint64_t done = in.tell(); done < in_size_;) {
    const auto want = static_cast<std::size_t>(std::min<uint64_t>(kRead, in_size_ - done));
    // Read straight into the room the chain lends, when a whole read fits.
    std::size_t size = 0;
    unsigned char* at = lend(size);
    if (!at || size < want) {
      if (!own) own = std::make_unique_for_overwrite<unsigned char[]>(kRead);
      at = own.get();
    }
    const std::size_t got = in.read(at, want);
    if (got > 0) take(at, got);
    done += got;
    if (got < want) break;
    if (enough && enough()) return true;
  }
  return false;
}

Outcome Stage::report_copy(coder& c, const Flow& f) const {
  const bool complete = f.opened && f.complete;
  c.copy_messages(reads.c_str(), in_size_, f.landed, f.opened);
  if (complete) return Outcome::complete;
  con::out() << "Error Copiando en Disco";
  return Outcome::failed;
}

std::size_t seeking_stage(const std::vector<std::unique_ptr<Stage>>& stages, uint64_t bound) {
  for (std::size_t k = 0; k < stages.size(); ++k) {
    if (stages[k]->hold() > bound) return k;
    // A stage told of its input must be fed it in order.
    if (!stages[k]->positional() || stages[k]->tap) break;
  }
  return 0;
}

uint64_t Segments::whole(uint64_t first_end) const {
  if (first_end < cut) return first_end;
  for (const Part& p : later)
    if (p.end < p.to) return p.end;
  return later.empty() ? cut : later.back().to;
}

bool Segments::in_ok() const {
  return std::all_of(later.begin(), later.end(), [](const Part& p) { return p.in_ok; });
}

bool Segments::out_ok() const {
  return std::all_of(later.begin(), later.end(), [](const Part& p) { return p.out_ok; });
}

void run_chain(Chain& chain, InFile& in, OutFile& out, uint64_t bound, uint64_t threads_from) {
  FileSink file(out, chain);
  auto& stages = chain.stages;
  const std::size_t last = stages.size() - 1;
  for (std::size_t i = 0; i < last; ++i) stages[i]->connect(stages[i + 1].get());
  stages[last]->connect(&file);

  const bool out_opened = out.is_open();
  const bool opened = in.is_open() && out_opened;
  // A stage that reads with seeks behind positional ones reads the input
  // file with their work applied; they see no data of their own.
  const std::size_t head = seeking_stage(stages, bound);
  if (head > 0) {
    in.transform = [&stages, head](unsigned char* data, std::size_t n, uint64_t offset) {
      for (std::size_t k = 0; k < head; ++k) stages[k]->transform_at(data, n, offset);
    };
  }
  const bool two = threads_from != kOneThread && stages.size() >= 2 && in.size() >= threads_from && head == 0;
  Segments segments;
  // Twins are built alike, from the same steps, where the chain is restartable.
  if (opened && two && !chain.twins.empty() && !out.streams()) segments = run_segments(chain, in, out, file);
  if (opened && !segments.ran && !(two && run_halves(stages, in, bound))) {
    feed(*stages[head], in, bound);
    for (std::size_t k = 0; k < head; ++k) stages[k]->passed_through();
    for (std::size_t k = head; k <= last; ++k) stages[k]->end();
  }
  in.transform = nullptr;
  // A segment that stopped short (a failed read or write) leaves a gap
  // before the next one's output: the file is cut where its bytes in order
  // end, as a chain on one thread would have left it, so that the next
  // pass that measures it sees the loss.
  uint64_t landed = 0;
  if (segments.ran) {
    out.flush();
    landed = segments.whole(out.written());
    uint64_t furthest = out.written();
    for (const Segments::Part& p : segments.later) furthest = std::max(furthest, p.end);
    if (landed < furthest) out.cut_to(landed);
  }
  const bool written = out.close() && segments.out_ok();
  if (!segments.ran) landed = out.written();

  chain.flows.assign(stages.size(), Flow{});
  for (std::size_t i = 0; i <= last; ++i) {
    Flow& f = chain.flows[i];
    Stage& s = *stages[i];
    f.accepted = s.given();
    f.landed = i == last ? landed : s.given();
    f.opened = (i != 0 || in.is_open()) && (i != last || out_opened);
    // A stage behind an input that did not open was built for 0 bytes
    // and is complete with none.
    f.complete = s.taken() == s.in_size() && f.landed == f.accepted && (i != 0 || (in.ok() && segments.in_ok())) &&
                 (i != last || (written && out_opened));
  }
}

}  // namespace qvx
