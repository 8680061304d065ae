// Passes 1 to 10, the additive family. Every byte gets a term T added
// (encoding) or subtracted (decoding), modulo 256. T for byte n is a signed
// sum of: a character of some keys of the record, a character of each
// personalization text, a character of the 20-digit ring, and the three
// 8-bit values k, e, r that each grow by a fixed step per byte. The ten
// passes differ only in the constants of kPasses.
//
// Every part of T is periodic in n, so T is built a chunk at a time by adding
// precomputed tables; the loops are plain byte additions the compiler turns
// into vector code.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cipher/passes/coder.h"
#include "cipher/passes/pass_stages.h"
#include "cipher/passes/pass_table.h"
#include "cipher/passes/texts.h"
#include "console/console.h"

namespace qvx {
namespace {

constexpr int kKeys = 10;
constexpr int kMaxTexts = 3;
constexpr std::size_t kRing = 20;
// k, e and r together repeat every 256 bytes, the ring every 20.
constexpr std::size_t kRingAndSteps = 1280;
// T is built this many bytes at a time: small enough to stay in L1.
constexpr std::size_t kChunk = 4096;

constexpr uint8_t step(int s) { return static_cast<uint8_t>(s & 0xFF); }

enum class Farewell { none, last, next_to_last };

struct AdditivePass {
  int number;              // also picks engorde digit and desorden digit `number`
  int governing;           // an empty clave<governing> makes the pass a plain copy
  int8_t key_sign[kKeys];  // clave1 .. clave10: +1 added, -1 subtracted, 0 unused
  int8_t rest_sign;        // sign of the texts, the ring, k, e and r
  uint8_t k_start, k_step, e_step, r_step;
  int texts;               // personalization texts: 1, or 3 (A, B, C)
  bool check_size_encoding;  // compare S with what encoding pass 1 measured
  bool check_size_decoding;  // compare S with what decoding pass 11 left
  Farewell farewell;       // decoding announces the wipe of the work files
};

// Steps written as negative numbers are added modulo 256.
constexpr AdditivePass kPasses[] = {
    // N, key, signs of clave1 .. clave10,             rest, k0, k step,    e step,    r step,   texts,
    //   size check when encoding, when decoding, announcement when decoding
    { 1,  1, {+1,  0,  0,  0,  0,  0,  0,  0,  0,  0}, +1,   0, step(1),   step(0),   step(0),   1,
     false, true, Farewell::last},
    { 2,  2, { 0, +1,  0,  0,  0,  0,  0,  0,  0,  0}, +1,  57, step(7),   step(23),  step(5),   1,
     true, false, Farewell::next_to_last},
    { 3,  3, { 0, -1, +1,  0,  0,  0,  0,  0,  0,  0}, +1,  98, step(21),  step(7),   step(12),  1,
     false, false, Farewell::none},
    { 4,  4, {+1,  0,  0, +1,  0,  0,  0,  0,  0,  0}, +1,  22, step(49),  step(25),  step(-3),  1,
     false, false, Farewell::none},
    { 5,  5, { 0,  0, +1, +1, +1,  0,  0,  0,  0,  0}, +1, 198, step(-19), step(27),  step(112), 1,
     false, false, Farewell::none},
    { 6,  6, { 0,  0, +1, +1, +1, +1,  0,  0,  0,  0}, +1,   7, step(3),   step(45),  step(20),  1,
     false, false, Farewell::none},
    { 7,  7, {+1,  0, +1,  0, +1,  0, +1,  0,  0,  0}, +1, 229, step(13),  step(21),  step(7),   1,
     false, false, Farewell::none},
    { 8,  8, { 0,  0,  0,  0,  0,  0, +1, +1, -1, -1}, +1,  21, step(1),   step(3),   step(21),  1,
     false, false, Farewell::none},
    { 9,  9, { 0, -1,  0,  0,  0,  0, +1, +1, +1,  0}, +1,  17, step(9),   step(18),  step(-3),  3,
     false, false, Farewell::none},
    {10, 10, {+1,  0,  0,  0,  0,  0,  0,  0, -1, -1}, -1,  10, step(-1),  step(-1),  step(-1),  3,
     false, false, Farewell::none},
};

uint8_t signed_byte(int sign, unsigned v) { return static_cast<uint8_t>(sign < 0 ? 0u - v : v); }

// One periodic part of T, already signed, stored a chunk longer than its
// period so that a chunk reads ext[pos + i] with no modulo per byte.
class Periodic {
 public:
  template <class Value>
  Periodic(std::size_t period, Value value) : period_(period), ext_(period + kChunk) {
    for (std::size_t i = 0; i < ext_.size(); ++i) ext_[i] = value(i % period);
  }
  const uint8_t* here() const { return ext_.data() + pos_; }
  void advance(std::size_t n) { pos_ = (pos_ + n) % period_; }

 private:
  std::size_t period_;
  std::size_t pos_ = 0;
  std::vector<uint8_t> ext_;
};

// Parts of T: the ring with k, e and r, then one per key and text used.
constexpr std::size_t parts_of(const AdditivePass& p) {
  std::size_t n = 1 + static_cast<std::size_t>(p.texts);
  for (int8_t s : p.key_sign) n += s != 0 ? 1 : 0;
  return n;
}
constexpr std::size_t kMaxParts = 8;
constexpr bool parts_fit() {
  for (const AdditivePass& p : kPasses)
    if (parts_of(p) > kMaxParts) return false;
  return true;
}
static_assert(parts_fit());

// Everything T is made of for one run of one pass, positioned at byte 0.
// Every pass has kMaxParts parts, the missing ones all zero, so that one
// loop with a fixed shape sums them.
class Term {
 public:
  Term(const AdditivePass& p, const KeyRecord& rec, const std::string (&texts)[kMaxTexts]) {
    const Digits eng = ecvt10(rec.engorde);
    const Digits des = ecvt10(rec.desorden);
    const std::string ring = eng.text + des.text;
    const unsigned start = p.k_start + static_cast<uint8_t>(eng.code(p.number - 1)) +
                           static_cast<uint8_t>(des.code(p.number - 1));
    const unsigned growth = p.k_step + p.e_step + p.r_step;
    // Byte n already uses the values after n + 1 steps.
    parts_.emplace_back(kRingAndSteps, [&](std::size_t n) {
      return signed_byte(p.rest_sign, static_cast<uint8_t>(ring[n % kRing]) + start +
                                          static_cast<unsigned>(n + 1) * growth);
    });
    for (int k = 0; k < kKeys; ++k) {
      if (p.key_sign[k] != 0) add_text(p.key_sign[k], rec.clave(k + 1));
    }
    for (int t = 0; t < p.texts; ++t) add_text(p.rest_sign, texts[t]);
    while (parts_.size() < kMaxParts) add_text(+1, std::string());
  }

  // T for the next chunk; the next call starts n bytes on (n <= kChunk).
  // The whole chunk is always built: a fixed trip count lets the compiler
  // vectorise without a scalar tail.
  void next(uint8_t* __restrict t, std::size_t n) {
    const uint8_t* __restrict p0 = parts_[0].here();
    const uint8_t* __restrict p1 = parts_[1].here();
    const uint8_t* __restrict p2 = parts_[2].here();
    const uint8_t* __restrict p3 = parts_[3].here();
    const uint8_t* __restrict p4 = parts_[4].here();
    const uint8_t* __restrict p5 = parts_[5].here();
    const uint8_t* __restrict p6 = parts_[6].here();
    const uint8_t* __restrict p7 = parts_[7].here();
    for (std::size_t i = 0; i < kChunk; ++i)
      t[i] = static_cast<uint8_t>(p0[i] + p1[i] + p2[i] + p3[i] + p4[i] + p5[i] + p6[i] + p7[i]);
    for (Periodic& part : parts_) part.advance(n);
  }

 private:
  // An empty text or key adds 0 to every byte.
  void add_text(int sign, const std::string& s) {
    if (s.empty()) {
      parts_.emplace_back(1, [](std::size_t) { return uint8_t{0}; });
      return;
    }
    parts_.emplace_back(s.size(), [&](std::size_t i) {
      return signed_byte(sign, static_cast<uint8_t>(s[i]));
    });
  }

  std::vector<Periodic> parts_;
};

// The only place the direction touches the data. A whole chunk has a
// fixed trip count, which the compiler vectorises; only a short last piece
// takes the plain loop.
template <std::size_t Fixed>
void apply_n(uint8_t* __restrict data, const uint8_t* __restrict t, std::size_t n, Direction d) {
  const std::size_t count = Fixed ? Fixed : n;
  if (d == Direction::encode) {
    for (std::size_t i = 0; i < count; ++i) data[i] = static_cast<uint8_t>(data[i] + t[i]);
  } else {
    for (std::size_t i = 0; i < count; ++i) data[i] = static_cast<uint8_t>(data[i] - t[i]);
  }
}

void apply(uint8_t* data, const uint8_t* t, std::size_t n, Direction d) {
  if (n == kChunk)
    apply_n<kChunk>(data, t, n, d);
  else
    apply_n<0>(data, t, n, d);
}

// The whole pass: transforms in place, holds nothing. With an empty
// governing key it hands the data on unchanged and reports a copy.
class AdditiveStage : public Stage {
 public:
  AdditiveStage(const coder& c, const AdditivePass& p, const std::string (&texts)[kMaxTexts], uint64_t n)
      : Stage(n), p_(p), dir_(c.dir), works_(!c.clave(p.governing).empty()) {
    if (works_) term_ = std::make_unique<Term>(p, c, texts);
  }

  double cost() const override { return works_ ? 2 : 1; }

  Outcome report(coder& c, const Flow& f) override {
    const bool decoding = c.dir == Direction::decode;
    const uint64_t size = in_size();
    c.paso = p_.number;
    if (p_.number == 1 && !decoding) c.tamano = size;
    if (!f.opened) return c.report_open_failure(decoding);
    if (!works_) return report_copy(c, f);
    Outcome outcome = Outcome::complete;
    c.start_line(decoding ? "Decodificando el fichero :_" : "Codificando el fichero :_");
    if (f.complete) {
      con::eol();
      if (decoding)
        con::out() << "\xB7" "OK!..Decodificado clave " << p_.number;
      else
        con::out() << "\xB7" "OK!..Codificado clave " << p_.number << ' ';
      con::out() << " con " << size << " bytes ";
      con::eol();
    } else {
      // A short read or a failed write: the output is not what it claims.
      outcome = Outcome::failed;
      con::line("Error Copiando en Disco");
    }
    if (decoding ? p_.check_size_decoding : p_.check_size_encoding) outcome = worse(outcome, c.size_check(size));
    if (decoding && p_.farewell == Farewell::last)
      con::line("Espere un Momento Porfavor, Borrando Ficheros Temporales....");
    if (decoding && p_.farewell == Farewell::next_to_last)
      con::line("Borrando Ficheros Temporales, Espere un Momento Porfavor......");
    return outcome;
  }

 protected:
  void consume(unsigned char* data, std::size_t n) override {
    if (works_) {
      for (std::size_t off = 0; off < n; off += kChunk) {
        const std::size_t m = std::min(kChunk, n - off);
        term_->next(t_, m);
        apply(data + off, t_, m, dir_);
      }
    }
    out_.give(data, n);
  }

 private:
  const AdditivePass& p_;
  Direction dir_;
  bool works_;
  std::unique_ptr<Term> term_;
  uint8_t t_[kChunk];
};

std::unique_ptr<Stage> make_stage(const coder& c, int number, const char* const (&given)[kMaxTexts], uint64_t n) {
  const AdditivePass& p = kPasses[number - 1];
  std::string texts[kMaxTexts];
  for (int i = 0; i < p.texts; ++i)
    texts[i] = given[i] ? std::string(given[i]) : builtin_text(p.number, i);
  return std::make_unique<AdditiveStage>(c, p, texts, n);
}

int run_pass(coder& c, int number, const char* const (&given)[kMaxTexts], const char* first, const char* second) {
  const Route r = route(c.dir, number);
  return run_one_stage(c, file_of(c, r.from, first, second), file_of(c, r.to, first, second),
                       [&](uint64_t n) { return make_stage(c, number, given, n); });
}

int one_text(coder& c, int number, const char* text, const char* first, const char* second) {
  const char* given[kMaxTexts] = {text, nullptr, nullptr};
  return run_pass(c, number, given, first, second);
}

int three_texts(coder& c, int number, const char* a, const char* b, const char* cc,
                const char* first, const char* second) {
  const char* given[kMaxTexts] = {a, b, cc};
  return run_pass(c, number, given, first, second);
}

}  // namespace

std::unique_ptr<Stage> additive_stage(const coder& c, int pass, const char* const (&texts)[3], uint64_t n) {
  return make_stage(c, pass, texts, n);
}

int codifica::codifica_clave1(const char* p, const char* first, const char* second) { return one_text(*this, 1, p, first, second); }
int codifica::codifica_clave2(const char* p, const char* first, const char* second) { return one_text(*this, 2, p, first, second); }
int codifica::codifica_clave3(const char* p, const char* first, const char* second) { return one_text(*this, 3, p, first, second); }
int codifica::codifica_clave4(const char* p, const char* first, const char* second) { return one_text(*this, 4, p, first, second); }
int codifica::codifica_clave5(const char* p, const char* first, const char* second) { return one_text(*this, 5, p, first, second); }
int codifica::codifica_clave6(const char* p, const char* first, const char* second) { return one_text(*this, 6, p, first, second); }
int codifica::codifica_clave7(const char* p, const char* first, const char* second) { return one_text(*this, 7, p, first, second); }
int codifica::codifica_clave8(const char* p, const char* first, const char* second) { return one_text(*this, 8, p, first, second); }
int codifica::codifica_clave9(const char* a, const char* b, const char* c, const char* first, const char* second) { return three_texts(*this, 9, a, b, c, first, second); }
int codifica::codifica_clave10(const char* a, const char* b, const char* c, const char* first, const char* second) { return three_texts(*this, 10, a, b, c, first, second); }

int decodifica::decodifica_clave1(const char* p, const char* first, const char* second) { return one_text(*this, 1, p, first, second); }
int decodifica::decodifica_clave2(const char* p, const char* first, const char* second) { return one_text(*this, 2, p, first, second); }
int decodifica::decodifica_clave3(const char* p, const char* first, const char* second) { return one_text(*this, 3, p, first, second); }
int decodifica::decodifica_clave4(const char* p, const char* first, const char* second) { return one_text(*this, 4, p, first, second); }
int decodifica::decodifica_clave5(const char* p, const char* first, const char* second) { return one_text(*this, 5, p, first, second); }
int decodifica::decodifica_clave6(const char* p, const char* first, const char* second) { return one_text(*this, 6, p, first, second); }
int decodifica::decodifica_clave7(const char* p, const char* first, const char* second) { return one_text(*this, 7, p, first, second); }
int decodifica::decodifica_clave8(const char* p, const char* first, const char* second) { return one_text(*this, 8, p, first, second); }
int decodifica::decodifica_clave9(const char* a, const char* b, const char* c, const char* first, const char* second) { return three_texts(*this, 9, a, b, c, first, second); }
int decodifica::decodifica_clave10(const char* a, const char* b, const char* c, const char* first, const char* second) { return three_texts(*this, 10, a, b, c, first, second); }

}  // namespace qvx
