#include "cipher/exchange.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "cipher/phrases.h"
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
    for (std::size_t t = 0; t < term_.size(); ++t) {
      const unsigned char k = phrase.empty() ? 0 : static_cast<unsigned char>(phrase[(1 + t) % len]);
      term_[t] = static_cast<unsigned char>(sign_ * (t * step + k));
    }
  }

  // Transforms n bytes that sit at run offset t of a run with counter start p0.
  void apply(unsigned char* data, std::size_t n, uint64_t t, uint32_t p0) const {
    const auto start = static_cast<unsigned char>(sign_ * p0);
    const uint64_t starts = start * kLanes;
    std::size_t at = static_cast<std::size_t>(t % term_.size());
    while (n > 0) {
      const std::size_t m = std::min(n, term_.size() - at);
      const unsigned char* term = term_.data() + at;
      std::size_t k = 0;
      for (; k + 8 <= m; k += 8) {
        uint64_t x, y;
        std::memcpy(&x, data + k, 8);
        std::memcpy(&y, term + k, 8);
        x = add_lanes(add_lanes(x, starts), y);
        std::memcpy(data + k, &x, 8);
      }
      for (; k < m; ++k) data[k] = static_cast<unsigned char>(data[k] + start + term[k]);
      data += m;
      n -= m;
      at = 0;
    }
  }

 private:
  static constexpr uint64_t kLanes = 0x0101010101010101;
  static constexpr uint64_t kHigh = 0x8080808080808080;

  // Eight byte-wise additions modulo 256 in one word: no carry crosses a byte.
  static uint64_t add_lanes(uint64_t x, uint64_t y) { return ((x & ~kHigh) + (y & ~kHigh)) ^ ((x ^ y) & kHigh); }

  unsigned char sign_;
  std::vector<unsigned char> term_;
};

// Moves runs of input to the output through one fixed buffer.
class RunWriter {
 public:
  RunWriter(InFile& in, OutFile& out, const Adder& add, std::size_t chunk)
      : in_(in), out_(out), add_(add), buf_(std::max<std::size_t>(chunk, 1)) {}

  // False once the input could not give what the runs asked for.
  bool ok() const { return ok_; }

  // One run: `len` input bytes from `from`, in order.
  void run(uint64_t from, uint64_t len, uint32_t p0) {
    if (!in_.seek(from)) {
      ok_ = false;
      return;
    }
    uint64_t t = 0;
    while (len > 0) {
      const auto want = static_cast<std::size_t>(std::min<uint64_t>(buf_.size(), len));
      const std::size_t got = in_.read(buf_.data(), want);
      add_.apply(buf_.data(), got, t, p0);
      out_.write(buf_.data(), got);
      if (got < want) {
        ok_ = false;
        return;
      }
      t += got;
      len -= got;
    }
  }

  // One block of `length` bytes at `at`, written as two runs: its last
  // `front` bytes, then the rest. A block that fits the buffer is read once,
  // in order, and both runs are cut from the buffer.
  void block(uint64_t at, uint64_t length, uint64_t front, uint32_t p0) {
    if (length > buf_.size()) {
      run(at + length - front, front, p0);
      if (ok_) run(at, length - front, p0);
      return;
    }
    const auto n = static_cast<std::size_t>(length);
    const auto rest = static_cast<std::size_t>(length - front);
    if (!in_.seek(at) || in_.read(buf_.data(), n) < n) {
      ok_ = false;
      return;
    }
    add_.apply(buf_.data() + rest, n - rest, 0, p0);
    out_.write(buf_.data() + rest, n - rest);
    add_.apply(buf_.data(), rest, 0, p0);
    out_.write(buf_.data(), rest);
  }

 private:
  InFile& in_;
  OutFile& out_;
  const Adder& add_;
  std::vector<unsigned char> buf_;
  bool ok_ = true;
};

// The block phase and the tail. Blocks follow one another without gaps: each
// starts where the previous one ended, also across cycles, with offsets kept
// in 64 bits. (Summing a block's two parts in 32 bits would, for a processed
// block longer than 4 GiB, start the next block inside it: bytes would be
// read twice and the output would outgrow the input.)
void transform(InFile& in, OutFile& out, const KeyTable& key, const ExchangeConstants& k,
               std::string_view phrase, Direction dir, std::size_t chunk) {
  const Adder add(phrase, k.step, dir);
  RunWriter w(in, out, add, chunk);
  const uint64_t n = in.size();
  uint64_t q = 0;  // end of the last processed block
  std::size_t i = 0;
  uint32_t s = k.split;
  for (;;) {
    if (i == key.columns) i = 0;  // the cycle is complete
    const uint32_t a = key.first[i];
    const uint32_t b = key.second[i];
    s = s < std::min(a, b) ? k.split : 0;
    const uint64_t length = uint64_t{a} + b;
    // A block is processed only when at least s bytes follow it.
    if (n - q < length + s) break;
    // After a block whose split fell to 0 the split is back at S even when
    // the second part is shorter than S (keys with bytes 1 to 16). Such a
    // block is exchanged with the split cut to its second part: it keeps its
    // order and only the additive transform applies. Both directions cut it
    // alike, and no run reaches outside the block.
    const uint32_t e = std::min(s, b);
    const uint64_t front = dir == Direction::encode ? uint64_t{b} - e : uint64_t{a} + e;
    w.block(q, length, front, key.counter[i] & 0xFF);
    if (!w.ok()) return;
    q += length;
    ++i;
  }
  w.run(q, n - q, key.counter[i] & 0xFF);
}

}  // namespace

int run_exchange(coder& c, int pass, const char* first, const char* second, std::string_view phrase,
                 std::size_t chunk) {
  const ExchangeConstants& k = exchange_constants(pass);
  const bool encoding = c.dir == Direction::encode;
  if (encoding) c.paso = pass;
  // Even encoding passes read the first work file; decoding runs the other way.
  const bool reads_first = (pass % 2 == 0) == encoding;
  const char* from = reads_first ? first : second;
  const char* to = reads_first ? second : first;

  InFile in(from);
  const uint64_t n = in.size();
  c.tamano = n;
  OutFile out(to);
  const KeyTable key = key_table(c.clave(k.key));
  if (!c.begin_pass(in, out, from, to, key.length >= 6)) return 1;

  c.start_line(encoding ? "Codificando el fichero :_" : "DECodificando el fichero :_");
  transform(in, out, key, k, phrase, c.dir, chunk);
  out.close();
  con::eol();
  con::out() << (encoding ? "\xB7" "OK!..Codificado clave " : "\xB7" "OK!..DECodificado clave ") << pass
             << "  con " << n << " bytes ";
  con::eol();
  // A full disk or a failing input must not pass for a finished pass.
  c.size_check(out.written());
  return 1;
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
