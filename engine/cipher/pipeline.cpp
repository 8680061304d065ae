#include "cipher/pipeline.h"

#include <string>
#include <type_traits>

#include "cipher/coder.h"
#include "cipher/pass_table.h"
#include "cipher/run_guard.h"
#include "console/console.h"

namespace qvx {
namespace {

enum class Mode { command_line, interactive };

const RunParameters kDefaults{};

void show_record(const KeyRecord& r) { con::out() << r; }

// Checks, coder set-up, the record view and (in the menus) the file dialog.
template <class Coder>
bool opening(const base& book, Coder& coder, Mode mode) {
  if (!book_and_record_ready(book)) return false;
  coder.inicia(book);
  show_record(coder);
  if (mode == Mode::interactive) {
    if constexpr (std::is_same_v<Coder, codifica>)
      coder.abrirficherocod();
    else
      coder.abrirficherodecod();
  }
  if (!coder.compruebaregistro()) {
    con::out() << "no procesa";
    return false;
  }
  return true;
}

// A pass of 9 or 10 left out on its own must still hand its input work file
// on to the file the next pass reads, or that pass would read stale data.
// With both left out the chain already lines up and nothing is copied.
void hand_over(coder& c, const std::string& from, const std::string& to) {
  InFile in(from.c_str());
  OutFile out(to.c_str());
  const bool complete = in.is_open() && out.is_open() && copy_bytes(in, out, in.size()) == in.size() &&
                        out.close() && in.ok();
  if (complete) return;
  c.fallo = true;
  con::line("Error Copiando en Disco");
}

// The names the wipe messages give, whatever the work files are called.
void wipe_first(RunGuard& g) { g.wipe(0, "qvx01.qvx"); }
void wipe_second(RunGuard& g) { g.wipe(1, "qvx02.qvx"); }

RunFiles others_of(const base& book, const RunParameters& p) { return {book.ponerlibro(), p.confirmation}; }

void announce_encoding(int n) {
  con::line("procesando..CODIFICANDO CLAVE " + std::to_string(n) + "...Espere un Momento Porfavor");
}

void announce_decoding(int n) { con::line("Decodificando Clave " + std::to_string(n)); }

// Passes are called through a local copy of the pointer from the pass
// table: some sanitizer builds misreport calls made straight from the array.
bool encode(codifica& c, const RunParameters& p, const WorkFiles& w, const RunFiles& others, Mode mode) {
  const char* first = w.first.c_str();
  const char* second = w.second.c_str();
  RunGuard guard(c, w, others);
  if (!guard.ready()) return false;
  for (int n = 1; n <= 22; ++n) {
    announce_encoding(n);
    if (n == 2 && mode == Mode::command_line) {
      con::eol();
      show_record(c);
    }
    if (n <= 8) {
      const TextPass pass = kEncode1to8[n - 1];
      (c.*pass)(p.text[n - 1], first, second);
    } else if (n == 9) {
      if (p.run9)
        c.codifica_clave9(p.abc9[0], p.abc9[1], p.abc9[2], first, second);
      else if (p.run10)
        hand_over(c, w.second, w.first);  // pass 9 reads the second work file, writes the first
    } else if (n == 10) {
      if (p.run10)
        c.codifica_clave10(p.abc10[0], p.abc10[1], p.abc10[2], first, second);
      else if (p.run9)
        hand_over(c, w.first, w.second);
    } else {
      const PlainPass pass = kEncode11to22[n - 11];
      (c.*pass)(first, second);
    }
  }
  con::line("procesando..CODIFICANDO CONFIRMACION CLAVE 23...Espere un Momento Porfavor");
  if (mode == Mode::command_line)
    c.codifica_clave23(p.confirmation, first, second);
  else
    c.codifica_clave23(first, second);
  const bool placed = guard.finish();
  con::line("Espere un momento, Borrando ficheros temporales.");
  wipe_first(guard);
  wipe_second(guard);
  return placed;
}

bool decode(decodifica& c, const RunParameters& p, const WorkFiles& w, const RunFiles& others, Mode mode) {
  const char* first = w.first.c_str();
  const char* second = w.second.c_str();
  RunGuard guard(c, w, others);
  if (!guard.ready()) return false;
  con::line("Decodificando Clave 23 DE CONFIRMACION ");
  if (mode == Mode::command_line)
    c.decodifica_clave23(p.confirmation, first, second);
  else
    c.decodifica_clave23(first, second);
  for (int n = 22; n >= 11; --n) {
    announce_decoding(n);
    const PlainUnpass pass = kDecode11to22[n - 11];
    (c.*pass)(first, second);
  }
  wipe_first(guard);
  for (int n = 10; n >= 2; --n) {
    announce_decoding(n);
    if (n == 10) {
      if (p.run10)
        c.decodifica_clave10(p.abc10[0], p.abc10[1], p.abc10[2], first, second);
      else if (p.run9)
        hand_over(c, w.second, w.first);  // decoding pass 10 reads the second, writes the first
    } else if (n == 9) {
      if (p.run9)
        c.decodifica_clave9(p.abc9[0], p.abc9[1], p.abc9[2], first, second);
      else if (p.run10)
        hand_over(c, w.first, w.second);
    } else {
      const TextUnpass pass = kDecode1to8[n - 1];
      (c.*pass)(p.text[n - 1], first, second);
    }
  }
  wipe_second(guard);
  announce_decoding(1);
  c.decodifica_clave1(p.text[0], first, second);
  const bool placed = guard.finish();
  wipe_first(guard);
  return placed;
}

}  // namespace

bool encode_from_command_line(const base& book, const char* source, const char* destination,
                              const RunParameters& params, const WorkFiles& work) {
  codifica c(source, destination);
  return opening(book, c, Mode::command_line) && encode(c, params, work, others_of(book, params), Mode::command_line);
}

bool decode_from_command_line(const base& book, const char* source, const char* destination,
                              const RunParameters& params, const WorkFiles& work) {
  decodifica c(source, destination);
  return opening(book, c, Mode::command_line) && decode(c, params, work, others_of(book, params), Mode::command_line);
}

void encode_interactive(const base& book, const WorkFiles& work) {
  codifica c;
  if (opening(book, c, Mode::interactive)) encode(c, kDefaults, work, others_of(book, kDefaults), Mode::interactive);
}

void decode_interactive(const base& book, const WorkFiles& work) {
  decodifica c;
  if (opening(book, c, Mode::interactive)) decode(c, kDefaults, work, others_of(book, kDefaults), Mode::interactive);
}

}  // namespace qvx
