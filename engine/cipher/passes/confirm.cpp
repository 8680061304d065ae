// Pass 23 keys the data with a file of the user's choosing, the confirmation
// file. It is optional: when declined, or when no usable file is named, the
// data passes unchanged so the rest of the run is the same either way.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "cipher/passes/coder.h"
#include "cipher/passes/pass_stages.h"
#include "cipher/passes/pass_table.h"
#include "cipher/passes/simd.h"
#include "platform/files.h"
#include "console/console.h"
#include "platform/path.h"

namespace qvx {
namespace {

constexpr std::size_t kNameMax = 299;
constexpr std::size_t kChunk = 16 * 1024;

void skip_message() {
  con::repeat('\xB7', 7);
  con::out() << "...No se Confirma....";
  con::repeat('\xB7', 9);
  con::out() << "...gracias.....";
  con::repeat('\xB7', 6);
}

// The pass's own output would be emptied before it is read, and the key
// it held lost with it; a file of the run's own changes under it.
bool usable(const char* name, const char* output) {
  std::error_code ec;
  return !(output && std::filesystem::equivalent(fs_path(name), fs_path(output), ec)) && !held::holds(name);
}

void name_it(coder& c, const char* name) {
  c.confirmacion = name;
  c.confirmacion_set = true;
}

bool wants_it(Direction dir) {
  if (dir == Direction::encode) {
    con::eol();
    con::repeat('\xB7', 4);
    con::out() << " ATENCION ";
    con::repeat('\xB7', 3);
    con::out() << ". Quiere procesar la clave de confirmacion?: ";
  } else {
    con::out() << "quiere procesar la clave de confirmacion?";
  }
  std::string answer;
  if (con::word(answer, kNameMax) != con::Got::ok) return false;  // end of input: no
  return answer[0] == 's' || answer[0] == 'S';
}

// Asks until a usable file opens; false when the input ends first.
bool ask_file(coder& c, InFile& conf, const char* output) {
  for (;;) {
    con::eol();
    con::out() << "introduzca fichero de confirmacion: ";
    con::eol();
    std::string name;
    if (con::word(name, kNameMax) != con::Got::ok) return false;
    name_it(c, name.c_str());
    if (usable(name.c_str(), output) && conf.open(name.c_str())) return true;
    con::eol();
    con::repeat('\xB7', 4);
    con::out() << "imposible abrir fichero!!!!  ___ Introduzcalo de nuevo porfavor: ";
    con::eol();
  }
}

// The pass as a stage: keyed with the confirmation file, or the data
// handed on unchanged when there is none.
class ConfirmStage : public Stage {
 public:
  ConfirmStage(const coder& c, const Confirmation& how, uint64_t n) : Stage(n), how_(how), dir_(c.dir) {}

  bool interactive() const override { return how_.interactive; }
  // Without a confirmation file it hands its input on as it is; with one,
  // a second run would read the file on a handle of its own.
  bool restartable() const override { return !how_.interactive && !how_.name; }

  // `kept` is the name the output ends up under: the confirmation file
  // must not be it, or the key would be lost with the run that needs it.
  void prepare(coder& c) override {
    if (how_.interactive) {
      keyed_ = wants_it(c.dir) && ask_file(c, conf_, how_.kept);
    } else {
      if (how_.name) name_it(c, how_.name);
      keyed_ = how_.name && usable(how_.name, how_.kept) && conf_.open(how_.name);
    }
    if (keyed_) start_rows(c);
  }

  Outcome report(coder& c, const Flow& f) override {
    if (!keyed_) {
      skip_message();
      return report_copy(c, f);
    }
    c.tamano = in_size();
    if (!f.opened) return c.report_open_failure(false);
    // Silent when all landed; a short destination must not pass unnoticed.
    return c.size_check(f.landed);
  }

  bool positional() const override { return true; }
  void transform_at(unsigned char* data, std::size_t n, uint64_t offset) override {
    if (keyed_) mix(data, n, offset, true);
  }

 protected:
  void consume(unsigned char* data, std::size_t n) override {
    if (keyed_) mix(data, n, taken() - n, false);
    out_.give(data, n);
  }

 private:
  // The engorde-minus-desorden row difference, sign chosen by whether the
  // confirmation file covers the data, repeated so that a chunk starting at
  // any row position reads it straight through.
  void start_rows(const coder& c) {
    const Digits a = c.desorden_digits();
    const Digits b = c.engorde_digits();
    const bool covers = conf_.size() >= in_size();
    for (std::size_t i = 0; i < sizeof row_; ++i) {
      const int d = b.value(static_cast<int>(i % 10)) - a.value(static_cast<int>(i % 10));
      row_[i] = static_cast<unsigned char>(covers ? d : -d);
    }
  }

  // The n bytes at byte number `offset` on, a chunk at a time. In order the
  // confirmation file is read straight on; `seek`: from the same offset,
  // with what it gives past its end known beforehand.
  void mix(unsigned char* x, std::size_t n, uint64_t offset, bool seek) {
    const uint64_t covered = conf_.size();
    for (std::size_t off = 0; off < n; off += kChunk) {
      const std::size_t got = std::min(kChunk, n - off);
      const uint64_t at = offset + off;
      if (seek) {
        last_ = end_byte();
        if (at < covered) conf_.seek(at);
      }
      // Past its end the confirmation file keeps giving its last byte.
      std::size_t have = 0;
      if (at < covered) have = conf_.read(f_, static_cast<std::size_t>(std::min<uint64_t>(got, covered - at)));
      if (have > 0) last_ = f_[have - 1];
      std::memset(f_ + have, last_, got - have);
      // Encoding adds the term, decoding takes it away; nothing else differs.
      const unsigned char* const term[2] = {f_, row_ + at % 10};
      if (dir_ == Direction::encode)
        simd::add_tables(x + off, got, term, 2);
      else
        simd::subtract_tables(x + off, got, term, 2);
    }
  }

  // What the confirmation file gives past its end: its last byte.
  unsigned char end_byte() {
    if (end_ < 0) {
      end_ = 0;
      if (conf_.size() > 0 && conf_.seek(conf_.size() - 1)) end_ = std::max(conf_.get(), 0);
    }
    return static_cast<unsigned char>(end_);
  }

  Confirmation how_;
  Direction dir_;
  InFile conf_;
  int end_ = -1;  // end_byte(), once known
  bool keyed_ = false;
  unsigned char row_[kChunk + 10];
  unsigned char f_[kChunk];
  unsigned char last_ = 0;  // what an empty confirmation file gives
};

}  // namespace

std::unique_ptr<Stage> confirm_stage(const coder& c, const Confirmation& how, uint64_t n) {
  return std::make_unique<ConfirmStage>(c, how, n);
}

namespace {

int one_stage(coder& c, const Confirmation& how, const char* second) {
  const Route r = route(c.dir, 23);
  return run_one_stage(c, file_of(c, r.from, nullptr, second), file_of(c, r.to, nullptr, second),
                       [&](uint64_t n) { return confirm_stage(c, how, n); });
}

}  // namespace

int codifica::codifica_clave23(const char*, const char* second) {
  return one_stage(*this, {true, nullptr, pdestino()}, second);
}

int codifica::codifica_clave23(const char* confirmation, const char*, const char* second) {
  return one_stage(*this, {false, confirmation, pdestino()}, second);
}

int decodifica::decodifica_clave23(const char*, const char* second) {
  return one_stage(*this, {true, nullptr, second}, second);
}

int decodifica::decodifica_clave23(const char* confirmation, const char*, const char* second) {
  return one_stage(*this, {false, confirmation, second}, second);
}

}  // namespace qvx
