// Passes 1 to 10, the additive family. Every byte gets a term T added
// (encoding) or subtracted (decoding), modulo 256. T for byte n is a signed
// sum of: a character of some keys of the record, a character of each
// personalization text, a character of the 20-digit ring, and the three
// 8-bit values k, e, r that each grow by a fixed step per byte. The ten
// passes differ only in the constants of kPasses.
//
// Every part of T is periodic in n, so T is a keystream (keystream.h): a
// few precomputed tables added to the data with vector code. A run of these
// passes in one sweep adds one keystream, the sum of theirs.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cipher/passes/coder.h"
#include "cipher/passes/keystream.h"
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

// Everything T is made of for one run of one pass, as encoding adds it.
void add_pass_term(Keystream& ks, const AdditivePass& p, const KeyRecord& rec, const std::string (&texts)[kMaxTexts]) {
  const Digits eng = ecvt10(rec.engorde);
  const Digits des = ecvt10(rec.desorden);
  const std::string ring = eng.text + des.text;
  const unsigned start = p.k_start + static_cast<uint8_t>(eng.code(p.number - 1)) +
                         static_cast<uint8_t>(des.code(p.number - 1));
  const unsigned growth = p.k_step + p.e_step + p.r_step;
  // Byte n already uses the values after n + 1 steps.
  ks.add(kRingAndSteps, [&](std::size_t n) {
    return signed_byte(p.rest_sign,
                       static_cast<uint8_t>(ring[n % kRing]) + start + static_cast<unsigned>(n + 1) * growth);
  });
  for (int k = 0; k < kKeys; ++k)
    if (p.key_sign[k] != 0) ks.add_text(p.key_sign[k], rec.clave(k + 1));
  for (int t = 0; t < p.texts; ++t) ks.add_text(p.rest_sign, texts[t]);
}

// The whole pass: transforms in place, holds nothing. With an empty
// governing key it hands the data on unchanged and reports a copy.
class AdditiveStage : public Stage, public TermStage {
 public:
  // An `applied` stage's term was added already (a spooled input): it
  // hands its input on as it is, and reports as the pass.
  AdditiveStage(const coder& c, const AdditivePass& p, const std::string (&texts)[kMaxTexts], uint64_t n,
                bool applied)
      : Stage(n), p_(p), dir_(c.dir), works_(!c.clave(p.governing).empty()), applied_(applied), record_(c) {
    for (int i = 0; i < kMaxTexts; ++i) texts_[i] = texts[i];
  }

  // A keystream costs about one plain move per table (measured in
  // instructions per byte); a stage whose term another adds, nothing.
  double cost() const override {
    const Keystream* ks = term();
    return ks ? static_cast<double>(ks->tables()) : 0;
  }

  bool add_term(Keystream& ks) const override {
    if (works_ && !applied_) add_pass_term(ks, p_, record_, texts_);
    return true;
  }
  void replace_term(std::shared_ptr<Keystream> ks) override {
    combined_ = true;
    term_ = std::move(ks);
  }
  std::string how() const override { return keystream_how(works_, combined_, term()); }

  bool positional() const override { return true; }
  void transform_at(unsigned char* data, std::size_t n, uint64_t offset) override {
    if (Keystream* ks = term()) ks->apply_at(data, n, offset, dir_);
  }

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
    if (Keystream* ks = term()) ks->apply(data, n, dir_);
    out_.give(data, n);
  }

 private:
  const AdditivePass& p_;
  Direction dir_;
  bool works_;
  bool applied_;
  const KeyRecord record_;
  std::string texts_[kMaxTexts];
  // The run's keystream it adds, or none when another adds it; else its
  // own, built when first needed (most stages are combined before that).
  Keystream* term() const {
    if (!combined_ && works_ && !applied_ && !term_) {
      term_ = std::make_shared<Keystream>();
      add_pass_term(*term_, p_, record_, texts_);
      term_->build();
    }
    return term_.get();
  }

  mutable std::shared_ptr<Keystream> term_;
  bool combined_ = false;
};

std::unique_ptr<Stage> make_stage(const coder& c, int number, const char* const (&given)[kMaxTexts], uint64_t n,
                                  bool applied = false) {
  const AdditivePass& p = kPasses[number - 1];
  std::string texts[kMaxTexts];
  for (int i = 0; i < p.texts; ++i)
    texts[i] = given[i] ? std::string(given[i]) : builtin_text(p.number, i);
  return std::make_unique<AdditiveStage>(c, p, texts, n, applied);
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

std::unique_ptr<Stage> additive_stage(const coder& c, int pass, const char* const (&texts)[3], uint64_t n,
                                      bool applied) {
  return make_stage(c, pass, texts, n, applied);
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
