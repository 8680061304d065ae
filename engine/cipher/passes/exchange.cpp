#include "cipher/passes/exchange.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "cipher/passes/exchange_cycle.h"
#include "cipher/passes/keystream.h"
#include "cipher/passes/pass_stages.h"
#include "cipher/passes/pass_table.h"
#include "cipher/passes/phrases.h"
#include "console/console.h"

namespace qvx {

namespace {

constexpr std::size_t kColumns = 22;

// The key laid out in three rows: character n goes to row n mod 3, column
// n div 3. Characters are widened as signed bytes, so 0x80..0xFF become part
// lengths above four thousand million.
struct KeyTable {
  uint32_t counter[kColumns] = {};  // row 0: counter start of each block
  uint32_t first[kColumns] = {};    // row 1: length of the first part
  uint32_t second[kColumns] = {};   // row 2: length of the second part
  std::size_t length = 0;           // characters of the key
  std::size_t columns = 0;          // leading columns with both parts set
};

KeyTable key_table(const std::string& key) {
  KeyTable t;
  t.length = std::min(key.find('\0'), key.size());
  // A key longer than the table (never from a key book) keeps its first 66.
  const std::size_t used = std::min(t.length, 3 * kColumns);
  for (std::size_t n = 0; n < used; ++n) {
    const auto cell = static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(key[n])));
    uint32_t* rows[3] = {t.counter, t.first, t.second};
    rows[n % 3][n / 3] = cell;
  }
  t.columns = used / 3;
  return t;
}

// The additive part of every run: the byte at run offset t gets
// p0 + t*d + K[(1 + t) mod len] added (encoding) or taken away (decoding).
// Apart from p0 that term is periodic, so it is tabulated once per pass.
class Adder {
 public:
  Adder(std::string_view phrase, uint32_t step, Direction dir)
      : sign_(dir == Direction::encode ? 1 : 0xFF) {
    const std::size_t len = std::max<std::size_t>(phrase.size(), 1);
    term_.resize(std::lcm<std::size_t>(256, len));
    // The phrase's index goes round with t: (1 + t) mod len. (Worked out
    // by a division per byte, the tables of a chain's stages took longer
    // to make than a few MiB of data take to encode.)
    std::size_t j = 1 % len;
    for (std::size_t t = 0; t < term_.size(); ++t) {
      const unsigned char k = phrase.empty() ? 0 : static_cast<unsigned char>(phrase[j]);
      term_[t] = static_cast<unsigned char>(sign_ * (t * step + k));
      if (++j == len) j = 0;
    }
  }

  // Transforms n bytes that sit at run offset t of a run with counter start p0.
  void apply(unsigned char* data, std::size_t n, uint64_t t, uint32_t p0) const { apply(data, data, n, t, p0); }

  // The same from `src` into `dst` (which may be `src`).
  void apply(const unsigned char* src, unsigned char* dst, std::size_t n, uint64_t t, uint32_t p0) const {
    const auto start = static_cast<unsigned char>(sign_ * p0);
    const Lanes starts = Lanes{} + start;
    std::size_t at = static_cast<std::size_t>(t % term_.size());
    while (n > 0) {
      const std::size_t m = std::min(n, term_.size() - at);
      const unsigned char* term = term_.data() + at;
      std::size_t k = 0;
      for (; k + sizeof(Lanes) <= m; k += sizeof(Lanes)) {
        Lanes x, y;
        std::memcpy(&x, src + k, sizeof x);
        std::memcpy(&y, term + k, sizeof y);
        x = x + starts + y;
        std::memcpy(dst + k, &x, sizeof x);
      }
      for (; k < m; ++k) dst[k] = static_cast<unsigned char>(src[k] + start + term[k]);
      src += m;
      dst += m;
      n -= m;
      at = 0;
    }
  }

 private:
  // Sixteen byte-wise additions modulo 256 at once.
  using Lanes = unsigned char __attribute__((vector_size(16)));

  unsigned char sign_;
  std::vector<unsigned char> term_;
};

// The whole pass as a stage. Blocks follow one another without gaps: each
// starts where the previous one ended, also across cycles, with offsets kept
// in 64 bits. (Summing a block's two parts in 32 bits would, for a processed
// block longer than 4 GiB, start the next block inside it: bytes would be
// read twice and the output would outgrow the input.)
class ExchangeStage : public Stage, public TermStage {
 public:
  ExchangeStage(const coder& c, int pass, std::string_view phrase, uint64_t n)
      : Stage(n),
        phrase_(phrase),
        k_(exchange_constants(pass)),
        key_(key_table(c.clave(k_.key))),
        works_(key_.length >= 6),
        add_(phrase, k_.step, c.dir),
        dir_(c.dir),
        s_(k_.split) {
    if (!works_) return;
    place_block();
    hold_ = largest_block();
    make_cycle();
  }

  uint64_t hold() const override { return hold_; }
  // Against a plain move, in instructions per byte: a cycle's moves cost
  // about three, block by block twice that.
  double cost() const override {
    if (absorbed_) return term_ ? static_cast<double>(term_->tables()) : 0;
    return !works_ ? 0 : cycle_ ? 3 : 6;
  }

  // Only an input that is all tail (no block fits, as with keys whose
  // bytes from 0x80 on make blocks of gigabytes) is a term of the byte
  // number: p0 + t d + K[(1 + t) mod |K|] from t = 0.
  bool add_term(Keystream& ks) const override {
    if (!works_) return true;
    if (!cur_.tail || cur_.at != 0) return false;
    const uint32_t p0 = cur_.p0, d = k_.step;
    ks.add(256, [&](std::size_t t) { return static_cast<unsigned char>(p0 + t * d); });
    const std::size_t len = phrase_.size();
    if (len > 0) ks.add(len, [&](std::size_t t) { return static_cast<unsigned char>(phrase_[(1 + t) % len]); });
    return true;
  }
  void replace_term(std::shared_ptr<Keystream> ks) override {
    absorbed_ = true;
    term_ = std::move(ks);
  }
  std::string how() const override {
    if (!works_ || absorbed_) return keystream_how(works_, absorbed_, term_.get());
    if (cycle_) return "cycles of " + std::to_string(cycle_->length()) + " bytes";
    return cur_.tail && cur_.at == 0 ? "all tail" : "blocks";
  }

  // A pass that copies, adds the run's keystream (or leaves it to another)
  // or whose input is all tail from byte 0.
  bool positional() const override { return !works_ || absorbed_ || (cur_.tail && cur_.at == 0); }
  void transform_at(unsigned char* data, std::size_t n, uint64_t offset) override {
    // The run's keystream may come to a pass that itself copies.
    if (absorbed_) {
      if (term_) term_->apply_at(data, n, offset, dir_);
    } else if (works_) {
      add_.apply(data, n, offset, cur_.p0);
      tail_at_ = offset + n;  // where the next piece in order goes on
    }
  }

  bool write_ahead(uint64_t bound) override {
    if (!works_ || positional() || hold_ <= bound) return false;
    ahead_bound_ = bound;
    hold_ = largest_block(bound);
    set_writes_ahead();
    return true;
  }

  void run_from(InFile& in) override {
    if (!works_ || absorbed_) {
      Stage::run_from(in);
      return;
    }
    const auto run = [&](uint64_t from, uint64_t len) {
      return read_run(in, from, len, [&](unsigned char* piece, std::size_t got, uint64_t t) {
        add_.apply(piece, got, t, cur_.p0);
        out_.give_copy(piece, got);
      });
    };
    while (!cur_.tail) {
      if (!run(cur_.at + cur_.length - cur_.front, cur_.front) || !run(cur_.at, cur_.length - cur_.front)) return;
      next_block();
    }
    run(cur_.at, cur_.length);
  }

  bool restartable() const override { return true; }

  Outcome report(coder& c, const Flow& f) override {
    const bool encoding = c.dir == Direction::encode;
    if (encoding) c.paso = k_.pass;
    c.tamano = in_size();
    if (!f.opened) return c.report_open_failure(false);
    if (!works_) return report_copy(c, f);
    c.start_line(encoding ? "Codificando el fichero :_" : "DECodificando el fichero :_");
    con::eol();
    con::out() << (encoding ? "\xB7" "OK!..Codificado clave " : "\xB7" "OK!..DECodificado clave ") << k_.pass
               << "  con " << in_size() << " bytes ";
    con::eol();
    // A full disk or a failing input must not pass for a finished pass.
    return c.size_check(f.landed);
  }

 protected:
  void consume(unsigned char* data, std::size_t n) override {
    if (!works_ || absorbed_) {
      if (term_) term_->apply(data, n, dir_);
      out_.give(data, n);
      return;
    }
    while (n > 0) {
      if (cur_.tail) {
        add_.apply(data, n, tail_at_, cur_.p0);
        tail_at_ += n;
        out_.give(data, n);
        return;
      }
      if (const uint64_t cycles = whole_cycles(n)) {
        run_cycles(data, cycles);
        const auto len = static_cast<std::size_t>(cycles * cycle_->length());
        data += len;
        n -= len;
        continue;
      }
      if (const std::size_t len = cycle_blocks(data, n)) {
        data += len;
        n -= len;
        continue;
      }
      if (filled_ == 0 && n >= cur_.length) {
        const auto len = static_cast<std::size_t>(cur_.length);
        exchange(data);
        data += len;
        n -= len;
        next_block();
        continue;
      }
      // A block cut by the end of a piece waits for the rest, or, too long
      // to hold, is written ahead as it comes.
      const bool ahead = cur_.length > ahead_bound_;
      const auto take = static_cast<std::size_t>(std::min<uint64_t>(n, cur_.length - filled_));
      if (ahead) {
        write_block_ahead(data, take);
      } else {
        if (!held_) held_ = std::make_unique_for_overwrite<unsigned char[]>(static_cast<std::size_t>(hold_));
        std::memcpy(held_.get() + filled_, data, take);
      }
      filled_ += take;
      data += take;
      n -= take;
      if (filled_ == cur_.length) {
        if (!ahead) exchange(held_.get());
        filled_ = 0;
        next_block();
      }
    }
  }

 private:
  // At the block `want` of the output falls in (blocks keep their place),
  // or at `want` itself in the tail. Whole cycles are skipped at once: a
  // cycle's length is the same every time, and the split after it follows
  // from the split before it alone (S or 0); every block before a cycle
  // that starts S bytes or more before the end was processed.
  uint64_t restart_at(uint64_t want, uint64_t& out_at) override {
    if (positional()) return Stage::restart_at(want, out_at);
    uint64_t cycle = 0;
    for (std::size_t c = 0; c < key_.columns; ++c) cycle += uint64_t{key_.first[c]} + key_.second[c];
    if (cycle > 0 && in_size() >= k_.split) {
      const auto after = [&](uint32_t s) {
        for (std::size_t c = 0; c < key_.columns; ++c) s = s < std::min(key_.first[c], key_.second[c]) ? k_.split : 0;
        return s;
      };
      const uint32_t from_split = after(k_.split), from_zero = after(0);
      const uint64_t cycles = std::min(want, in_size() - k_.split) / cycle;
      s_ = k_.split;
      for (uint64_t k = 0; k < cycles; ++k) s_ = s_ == 0 ? from_zero : from_split;
      q_ = cycles * cycle;
      i_ = 0;
      place_block();
    }
    while (!cur_.tail && cur_.at + cur_.length <= want) next_block();
    if (cur_.tail) {
      tail_at_ = want - cur_.at;
      out_at = want;
      return want;
    }
    out_at = cur_.at;
    return cur_.at;
  }

  // A block to exchange, or the tail kept in place.
  struct Piece {
    uint64_t at = 0;
    uint64_t length = 0;
    uint64_t front = 0;  // bytes from the block's end that go first
    uint32_t p0 = 0;     // counter start of its runs
    bool tail = false;
  };

  // The block at q_, or the tail when it does not fit: a block is
  // processed only when at least s bytes follow it.
  void place_block() {
    if (i_ == key_.columns) i_ = 0;  // the cycle is complete
    const uint32_t a = key_.first[i_];
    const uint32_t b = key_.second[i_];
    s_ = s_ < std::min(a, b) ? k_.split : 0;
    const uint64_t length = uint64_t{a} + b;
    const uint32_t p0 = key_.counter[i_] & 0xFF;
    if (in_size() - q_ < length + s_) {
      cur_ = {q_, in_size() - q_, 0, p0, true};
      return;
    }
    // After a block whose split fell to 0 the split is back at S even when
    // the second part is shorter than S (keys with bytes 1 to 16). Such a
    // block is exchanged with the split cut to its second part: it keeps its
    // order and only the additive transform applies. Both directions cut it
    // alike, and no run reaches outside the block.
    const uint32_t e = std::min(s_, b);
    const uint64_t front = dir_ == Direction::encode ? uint64_t{b} - e : uint64_t{a} + e;
    cur_ = {q_, length, front, p0, false};
  }

  void next_block() {
    q_ += cur_.length;
    ++i_;
    place_block();
  }

  // The next `n` bytes of a block too long to hold, from byte filled_ of
  // it on: those before its front go out behind the front, the front's at
  // the block's start, each run's additive pattern counted from its start.
  void write_block_ahead(unsigned char* data, std::size_t n) {
    const uint64_t rest = cur_.length - cur_.front;
    uint64_t at = filled_;
    if (at < rest) {
      const auto m = static_cast<std::size_t>(std::min<uint64_t>(n, rest - at));
      add_.apply(data, m, at, cur_.p0);
      out_.give_at(data, m, cur_.at + cur_.front + at);
      data += m;
      n -= m;
      at += m;
    }
    if (n > 0) {
      add_.apply(data, n, at - rest, cur_.p0);
      out_.give_at(data, n, cur_.at + (at - rest));
    }
  }

  // The longest block the pass processes (of those no longer than
  // `limit`): if a whole cycle fits, every column's block comes again;
  // otherwise the ones before the tail.
  uint64_t largest_block(uint64_t limit = UINT64_MAX) {
    const Piece saved = cur_;
    const uint64_t q = q_;
    const std::size_t i = i_;
    const uint32_t s = s_;
    uint64_t most = 0;
    std::size_t seen = 0;
    const auto count = [&](uint64_t length) {
      if (length <= limit) most = std::max(most, length);
    };
    for (; seen < key_.columns && !cur_.tail; ++seen) {
      count(cur_.length);
      next_block();
    }
    if (seen == key_.columns)
      for (std::size_t c = 0; c < key_.columns; ++c) count(uint64_t{key_.first[c]} + key_.second[c]);
    cur_ = saved;
    q_ = q;
    i_ = i;
    s_ = s;
    return most;
  }

  // Both runs of the current block, from its bytes in memory, straight
  // into the output buffer when the block fits it.
  void exchange(unsigned char* block) {
    const auto front = static_cast<std::size_t>(cur_.front);
    const auto rest = static_cast<std::size_t>(cur_.length - cur_.front);
    if (unsigned char* to = out_.reserve(front + rest)) {
      add_.apply(block + rest, to, front, 0, cur_.p0);
      add_.apply(block, to + front, rest, 0, cur_.p0);
      out_.commit(front + rest);
      return;
    }
    add_.apply(block + rest, front, 0, cur_.p0);
    add_.apply(block, rest, 0, cur_.p0);
    out_.give_copy(block + rest, front);
    out_.give_copy(block, rest);
  }

  // With every part length above the split, the split is S in every block
  // and a cycle is always cut alike: it is precomputed, when it is short.
  void make_cycle() {
    if (!works_ || key_.columns == 0) return;
    uint64_t length = 0;
    for (std::size_t c = 0; c < key_.columns; ++c) {
      if (k_.split >= std::min(key_.first[c], key_.second[c])) return;
      length += uint64_t{key_.first[c]} + key_.second[c];
    }
    if (length > Emitter::kSize) return;
    cycle_ = std::make_unique<ExchangeCycle>();
    std::vector<unsigned char> zeros(static_cast<std::size_t>(length), 0);
    for (std::size_t c = 0; c < key_.columns; ++c) {
      const uint32_t a = key_.first[c], b = key_.second[c], p0 = key_.counter[c] & 0xFF;
      const std::size_t front = dir_ == Direction::encode ? b - k_.split : a + k_.split;
      unsigned char* pattern = cycle_->add_block(a + b, front);
      add_.apply(zeros.data(), pattern, front, 0, p0);
      add_.apply(zeros.data(), pattern + front, a + b - front, 0, p0);
    }
    cycle_->finish();
  }

  // Whole cycles that start at the current block and are in the piece;
  // the last block of each must have the split's bytes behind it.
  uint64_t whole_cycles(std::size_t n) const {
    if (!cycle_ || i_ != 0 || filled_ != 0) return 0;
    const uint64_t len = cycle_->length();
    if (in_size() < q_ + len + k_.split) return 0;
    return std::min<uint64_t>(n / len, (in_size() - k_.split - q_) / len);
  }

  // The blocks of the cycle under way that are whole in the piece, from
  // the precomputed cycle: those a piece's ends cut from its whole cycles.
  // Returns the bytes they took (0: none, or no room to be had).
  std::size_t cycle_blocks(const unsigned char* data, std::size_t n) {
    if (!cycle_ || filled_ != 0) return 0;
    const std::size_t first = i_;
    std::size_t end = first, len = 0;
    // A block is processed only with the split's bytes behind it.
    for (; end < cycle_->blocks(); ++end) {
      const std::size_t next = cycle_->start(end + 1) - cycle_->start(first);
      if (next > n || in_size() - q_ < next + k_.split) break;
      len = next;
    }
    if (end == first) return 0;
    std::size_t room = 0;
    unsigned char* to = out_.room(len, room);
    while (end > first && cycle_->start(end) - cycle_->start(first) > room) --end;
    if (end == first) {
      out_.flush();
      return 0;
    }
    len = cycle_->start(end) - cycle_->start(first);
    cycle_->apply_blocks(data, to, first, end);
    out_.commit(len);
    for (std::size_t k = first; k < end; ++k) next_block();
    return len;
  }

  void run_cycles(const unsigned char* data, uint64_t cycles) {
    const std::size_t len = cycle_->length();
    q_ += cycles * len;
    while (cycles > 0) {
      std::size_t room = 0;
      unsigned char* to = out_.room(static_cast<std::size_t>(std::min<uint64_t>(cycles * len, Emitter::kSize)), room);
      const std::size_t fit = room / len;
      if (fit == 0) {
        out_.flush();
        continue;
      }
      cycle_->apply(data, to, fit);
      out_.commit(fit * len);
      data += fit * len;
      cycles -= fit;
    }
    place_block();  // block 0 again, at the next cycle
  }

  const std::string phrase_;
  const ExchangeConstants& k_;
  const KeyTable key_;
  const bool works_;
  const Adder add_;
  const Direction dir_;
  uint64_t q_ = 0;  // where the current block starts
  std::size_t i_ = 0;
  uint32_t s_;
  Piece cur_;
  uint64_t hold_ = 0;
  uint64_t ahead_bound_ = UINT64_MAX;  // longer blocks are written ahead
  std::unique_ptr<unsigned char[]> held_;
  uint64_t filled_ = 0;   // bytes of the current block held so far
  uint64_t tail_at_ = 0;  // run offset inside the tail
  std::unique_ptr<ExchangeCycle> cycle_;
  bool absorbed_ = false;             // its term is added by a keystream
  std::shared_ptr<Keystream> term_;   // the keystream it adds, if any
};

}  // namespace

std::unique_ptr<Stage> exchange_stage(const coder& c, int pass, uint64_t n) {
  return std::make_unique<ExchangeStage>(c, pass, builtin_phrase(pass), n);
}

int run_exchange(coder& c, int pass, const char* first, const char* second, std::string_view phrase,
                 uint64_t bound) {
  const Route r = route(c.dir, pass);
  return run_one_stage(
      c, file_of(c, r.from, first, second), file_of(c, r.to, first, second),
      [&](uint64_t n) { return std::make_unique<ExchangeStage>(c, pass, phrase, n); }, bound);
}

#define QVX_EXCHANGE_ENTRY(cls, name, pass)                      \
  int cls::name(const char* first, const char* second) {         \
    return run_exchange(*this, pass, first, second, builtin_phrase(pass)); \
  }

QVX_EXCHANGE_ENTRY(codifica, codifica_clave13, 13)
QVX_EXCHANGE_ENTRY(codifica, codifica_clave14, 14)
QVX_EXCHANGE_ENTRY(codifica, codifica_clave15, 15)
QVX_EXCHANGE_ENTRY(codifica, codifica_clave16, 16)
QVX_EXCHANGE_ENTRY(codifica, codifica_clave17, 17)
QVX_EXCHANGE_ENTRY(codifica, codifica_clave18, 18)
QVX_EXCHANGE_ENTRY(codifica, codifica_clave19, 19)
QVX_EXCHANGE_ENTRY(codifica, codifica_clave20, 20)
QVX_EXCHANGE_ENTRY(codifica, codifica_clave21, 21)
QVX_EXCHANGE_ENTRY(codifica, codifica_clave22, 22)
QVX_EXCHANGE_ENTRY(decodifica, decodifica_clave13, 13)
QVX_EXCHANGE_ENTRY(decodifica, decodifica_clave14, 14)
QVX_EXCHANGE_ENTRY(decodifica, decodifica_clave15, 15)
QVX_EXCHANGE_ENTRY(decodifica, decodifica_clave16, 16)
QVX_EXCHANGE_ENTRY(decodifica, decodifica_clave17, 17)
QVX_EXCHANGE_ENTRY(decodifica, decodifica_clave18, 18)
QVX_EXCHANGE_ENTRY(decodifica, decodifica_clave19, 19)
QVX_EXCHANGE_ENTRY(decodifica, decodifica_clave20, 20)
QVX_EXCHANGE_ENTRY(decodifica, decodifica_clave21, 21)
QVX_EXCHANGE_ENTRY(decodifica, decodifica_clave22, 22)

#undef QVX_EXCHANGE_ENTRY

}  // namespace qvx
