// The coder: one encoding (codifica) or decoding (decodifica) run. It holds a
// copy of the active key record, the user's origin and destination names,
// and the two fields the passes hand on to one another (tamano and the
// confirmation file's name). Every pass is a member of these classes.
#pragma once

#include <cstdint>
#include <string>

#include "platform/bytestream.h"
#include "keybook/base.h"
#include "bookformat/digits.h"

namespace qvx {

enum class Direction { encode, decode };

// What a pass's report tells the run, besides the lines it prints: whether
// the output it handed on is whole. The run puts its output in place only
// when every pass said `complete` (RunVerdict, cipher/run/run_output.h).
enum class Outcome { complete, failed };

// The worse of two outcomes.
constexpr Outcome worse(Outcome a, Outcome b) { return a == Outcome::complete ? b : a; }

// What both directions share: fields, the copy operation and the frame that
// every pass follows (open, measure, fall back to a copy, announce, report).
class coder : public base {
 public:
  explicit coder(Direction d) : dir(d) {}
  coder(Direction d, const char* origin, const char* destination);

  const Direction dir;
  int32_t paso = 0;
  std::string origen;
  bool origen_set = false;   // "porigen" is in force
  std::string destino;
  bool destino_set = false;  // "pdestino" is in force
  uint64_t tamano = 0;
  std::string confirmacion;  // the confirmation file's name in force
  bool confirmacion_set = false;

  const char* porigen() const { return origen_set ? origen.c_str() : nullptr; }
  const char* pdestino() const { return destino_set ? destino.c_str() : nullptr; }
  const char* pconfirmacion() const { return confirmacion_set ? confirmacion.c_str() : nullptr; }

  // Copy the key record of `book` in; nothing else changes.
  void inicia(const base& book);
  // 1 when both names are set.
  int compruebaregistro() const { return (origen_set && destino_set) ? 1 : 0; }
  // Byte-for-byte copy with its messages; 0 on success, 1 on failure.
  int copiaf(const char* from, const char* to);
  // The copy operation's lines: `n` bytes of `from`, `written` of them
  // landed; `opened` false when either file did not open.
  void copy_messages(const char* from, uint64_t n, uint64_t written, bool opened) const;

  // --- the pass frame ---
  // " el Archivo <origin> o <destination> no puede Abrirse" and the second
  // line, with "decodificar" when `decoding_words`. Always Outcome::failed.
  Outcome report_open_failure(bool decoding_words) const;
  // The start line: "<words><origen> en el Destino <destino>".
  void start_line(const char* words) const;
  // Compares a measured count with tamano and warns of lost bytes
  // (Outcome::failed) when they differ.
  Outcome size_check(uint64_t measured) const;

  // Engorde and desorden digits of the copied key record.
  Digits engorde_digits() const { return ecvt10(engorde); }
  Digits desorden_digits() const { return ecvt10(desorden); }
};

class codifica : public coder {
 public:
  codifica() : coder(Direction::encode) {}
  codifica(const char* origin, const char* destination)
      : coder(Direction::encode, origin, destination) {}

  codifica& inicia(const base& book) { coder::inicia(book); return *this; }
  // Console dialog for the origin and the destination.
  codifica& abrirficherocod();

  // Passes. Texts are null where the pass is to use its built-in one.
  int codifica_clave1(const char* p, const char* first, const char* second);
  int codifica_clave2(const char* p, const char* first, const char* second);
  int codifica_clave3(const char* p, const char* first, const char* second);
  int codifica_clave4(const char* p, const char* first, const char* second);
  int codifica_clave5(const char* p, const char* first, const char* second);
  int codifica_clave6(const char* p, const char* first, const char* second);
  int codifica_clave7(const char* p, const char* first, const char* second);
  int codifica_clave8(const char* p, const char* first, const char* second);
  int codifica_clave9(const char* a, const char* b, const char* c, const char* first, const char* second);
  int codifica_clave10(const char* a, const char* b, const char* c, const char* first, const char* second);
  int codifica_clave11(const char* first, const char* second);
  int codifica_clave12(const char* first, const char* second);
  int codifica_clave13(const char* first, const char* second);
  int codifica_clave14(const char* first, const char* second);
  int codifica_clave15(const char* first, const char* second);
  int codifica_clave16(const char* first, const char* second);
  int codifica_clave17(const char* first, const char* second);
  int codifica_clave18(const char* first, const char* second);
  int codifica_clave19(const char* first, const char* second);
  int codifica_clave20(const char* first, const char* second);
  int codifica_clave21(const char* first, const char* second);
  int codifica_clave22(const char* first, const char* second);
  // Interactive: asks whether to use a confirmation file, and which.
  int codifica_clave23(const char* first, const char* second);
  // By parameter: null, or a file that does not open, skips the pass.
  int codifica_clave23(const char* confirmation, const char* first, const char* second);
};

class decodifica : public coder {
 public:
  decodifica() : coder(Direction::decode) {}
  decodifica(const char* origin, const char* destination)
      : coder(Direction::decode, origin, destination) {}

  decodifica& inicia(const base& book) { coder::inicia(book); return *this; }
  decodifica& abrirficherodecod();

  int decodifica_clave1(const char* p, const char* first, const char* second);
  int decodifica_clave2(const char* p, const char* first, const char* second);
  int decodifica_clave3(const char* p, const char* first, const char* second);
  int decodifica_clave4(const char* p, const char* first, const char* second);
  int decodifica_clave5(const char* p, const char* first, const char* second);
  int decodifica_clave6(const char* p, const char* first, const char* second);
  int decodifica_clave7(const char* p, const char* first, const char* second);
  int decodifica_clave8(const char* p, const char* first, const char* second);
  int decodifica_clave9(const char* a, const char* b, const char* c, const char* first, const char* second);
  int decodifica_clave10(const char* a, const char* b, const char* c, const char* first, const char* second);
  int decodifica_clave11(const char* first, const char* second);
  int decodifica_clave12(const char* first, const char* second);
  int decodifica_clave13(const char* first, const char* second);
  int decodifica_clave14(const char* first, const char* second);
  int decodifica_clave15(const char* first, const char* second);
  int decodifica_clave16(const char* first, const char* second);
  int decodifica_clave17(const char* first, const char* second);
  int decodifica_clave18(const char* first, const char* second);
  int decodifica_clave19(const char* first, const char* second);
  int decodifica_clave20(const char* first, const char* second);
  int decodifica_clave21(const char* first, const char* second);
  int decodifica_clave22(const char* first, const char* second);
  int decodifica_clave23(const char* first, const char* second);
  int decodifica_clave23(const char* confirmation, const char* first, const char* second);
};

}  // namespace qvx
