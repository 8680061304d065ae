// Pass 23 keys the data with a file of the user's choosing, the confirmation
// file. It is optional: when declined, or when no usable file is named, the
// data passes unchanged so the rest of the run is the same either way.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "cipher/coder.h"
#include "io/files.h"
#include "console/console.h"
#include "io/path.h"

namespace qvx {
namespace {

constexpr std::size_t kNameMax = 299;
constexpr std::size_t kChunk = 16 * 1024;

void skip(coder& c, const char* from, const char* to) {
  con::repeat('\xB7', 7);
  con::out() << "...No se Confirma....";
  con::repeat('\xB7', 9);
  con::out() << "...gracias.....";
  con::repeat('\xB7', 6);
  c.copy_instead(from, to);
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

// Encoding adds the term, decoding takes it away; nothing else differs.
template <bool Encode>
void mix(unsigned char* x, const unsigned char* f, const unsigned char* row, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char term = static_cast<unsigned char>(f[i] + row[i]);
    x[i] = static_cast<unsigned char>(Encode ? x[i] + term : x[i] - term);
  }
}

void keyed(coder& c, InFile& conf, const char* from, const char* to) {
  const uint64_t covered = conf.size();
  InFile in(from);
  const uint64_t n = in.size();
  c.tamano = n;
  OutFile out(to);
  if (!in.is_open() || !out.is_open()) {
    c.report_open_failure(false);
    return;
  }

  // The engorde-minus-desorden row difference, sign chosen by whether the
  // confirmation file covers the data, repeated so that a chunk starting at
  // any row position reads it straight through.
  const Digits a = c.desorden_digits();
  const Digits b = c.engorde_digits();
  const bool covers = covered >= n;
  unsigned char row[kChunk + 10];
  for (std::size_t i = 0; i < sizeof row; ++i) {
    const int d = b.value(static_cast<int>(i % 10)) - a.value(static_cast<int>(i % 10));
    row[i] = static_cast<unsigned char>(covers ? d : -d);
  }

  unsigned char x[kChunk];
  unsigned char f[kChunk];
  unsigned char last = 0;  // what an empty confirmation file gives
  std::size_t m = 0;
  for (uint64_t done = 0; done < n;) {
    const std::size_t got = in.read(x, static_cast<std::size_t>(std::min<uint64_t>(kChunk, n - done)));
    if (got == 0) break;
    // Past its end the confirmation file keeps giving its last byte.
    std::size_t have = 0;
    if (done < covered) have = conf.read(f, static_cast<std::size_t>(std::min<uint64_t>(got, covered - done)));
    if (have > 0) last = f[have - 1];
    std::memset(f + have, last, got - have);
    if (c.dir == Direction::encode)
      mix<true>(x, f, row + m, got);
    else
      mix<false>(x, f, row + m, got);
    out.write(x, got);
    done += got;
    m = (m + got) % 10;
  }
  out.close();
  // Silent when all landed; a short destination must not pass unnoticed.
  c.size_check(out.written());
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

// `kept` is the name the output ends up under: the confirmation file must
// not be it, or the key would be lost with the run that needs it.
int interactive(coder& c, const char* from, const char* to, const char* kept) {
  InFile conf;
  if (wants_it(c.dir) && ask_file(c, conf, kept))
    keyed(c, conf, from, to);
  else
    skip(c, from, to);
  return 1;
}

int by_name(coder& c, const char* name, const char* from, const char* to, const char* kept) {
  InFile conf;
  if (name) name_it(c, name);
  if (name && usable(name, kept) && conf.open(name))
    keyed(c, conf, from, to);
  else
    skip(c, from, to);
  return 1;
}

}  // namespace

int codifica::codifica_clave23(const char*, const char* second) {
  return interactive(*this, second, pescritura(), pdestino());
}

int codifica::codifica_clave23(const char* confirmation, const char*, const char* second) {
  return by_name(*this, confirmation, second, pescritura(), pdestino());
}

int decodifica::decodifica_clave23(const char*, const char* second) {
  return interactive(*this, porigen(), second, second);
}

int decodifica::decodifica_clave23(const char* confirmation, const char*, const char* second) {
  return by_name(*this, confirmation, porigen(), second, second);
}

}  // namespace qvx
