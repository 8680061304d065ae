// The console dialog that chooses a run's origin and destination in the
// menus. It only tests whether the files exist: it opens none for writing
// and keeps none open.
#include "cipher/passes/coder.h"
#include "console/console.h"

namespace qvx {
namespace {

struct DialogWords {
  const char* origin_prompt;
  const char* origin_chosen;
  const char* destination_prompt;
  bool refuse_same_name;  // decoding over its own origin would destroy it
};

constexpr DialogWords kEncoding{
    "Introduzca el fichero ORIGEN para Codificar : _",
    "el fichero para codificar es:_",
    "Introduzca el fichero de DESTINO para Codificar : _",
    false};

constexpr DialogWords kDecoding{
    "Introduzca el fichero ORIGEN para Decodificar : _",
    "el fichero para Decodificar es:_",
    "Introduzca el fichero de DESTINO para Decodificar : _",
    true};

// The menu line's answer is still pending; this much of it is dropped.
constexpr std::size_t kLeftoverMax = 300;

void drop_origin(coder& c) {
  c.origen.clear();
  c.origen_set = false;
}

void drop_destination(coder& c) {
  c.destino.clear();
  c.destino_set = false;
}

void destination_chosen(const coder& c) {
  con::eol();
  con::out() << "el fichero DESTINO es:_" << c.destino;
  con::eol();
}

// End of input at any question leaves the name asked for unset, so the run
// does not start.
void choose_files(coder& c, const DialogWords& w) {
  c.origen_set = true;
  con::out() << w.origin_prompt;
  con::discard_line(kLeftoverMax);
  if (con::word(c.origen, kPathMax) != con::Got::ok) {
    drop_origin(c);
    return;
  }
  if (!file_exists(c.origen.c_str())) {
    con::eol();
    con::out() << " el Archivo " << c.origen << " no Existe ";
    con::eol();
    // Decoding shows the same words as encoding here.
    con::out() << " Error no se ha abierto el archivo para codificar";
    con::eol();
    drop_origin(c);
    return;
  }
  con::eol();
  con::out() << w.origin_chosen << c.origen;
  con::eol();

  c.destino_set = true;
  con::out() << w.destination_prompt;
  if (con::word(c.destino, kPathMax) != con::Got::ok) {
    drop_destination(c);
    return;
  }
  if (w.refuse_same_name && c.destino == c.origen) {
    con::line(" no se pueden llamar los dos ficheros igual, Cambie uno de los ficheros");
    drop_destination(c);
    return;
  }
  if (!file_exists(c.destino.c_str())) {
    destination_chosen(c);
    return;
  }
  con::eol();
  con::out() << " el Fichero de Destino: " << c.destino << " existe , \xBFlo Reescribe?(s/n): ";
  char answer = 0;
  const con::Got got = con::ch(answer);
  if (got == con::Got::ok && (answer == 's' || answer == 'S')) {
    destination_chosen(c);
    return;
  }
  if (got == con::Got::ok) con::line(" no hay fichero de destino, repita la operacion");
  drop_destination(c);
}

}  // namespace

codifica& codifica::abrirficherocod() {
  choose_files(*this, kEncoding);
  return *this;
}

decodifica& decodifica::abrirficherodecod() {
  choose_files(*this, kDecoding);
  return *this;
}

}  // namespace qvx
