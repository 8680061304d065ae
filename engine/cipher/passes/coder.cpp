#include "cipher/passes/coder.h"

#include "console/console.h"

namespace qvx {

coder::coder(Direction d, const char* origin, const char* destination) : dir(d) {
  if (origin) {
    origen = origin;
    origen_set = true;
  }
  if (destination) {
    destino = destination;
    destino_set = true;
  }
}

void coder::inicia(const base& book) {
  static_cast<KeyRecord&>(*this) = static_cast<const KeyRecord&>(book);
}

int coder::copiaf(const char* from, const char* to) {
  InFile in(from);
  const uint64_t n = in.size();
  OutFile out(to);
  const bool opened = in.is_open() && out.is_open();
  const uint64_t copied = opened ? copy_bytes(in, out, n) : 0;
  const bool complete = out.close() && copied == n && in.ok();
  copy_messages(from, n, out.written(), opened);
  return opened && complete ? 0 : 1;
}

void coder::copy_messages(const char* from, uint64_t n, uint64_t written, bool opened) const {
  if (dir == Direction::encode)
    con::out() << "  Chars de " << n << " chars iniciales de  " << (from ? from : "");
  con::eol();
  if (!opened)
    con::out() << "error copiando ficheros";
  else if (dir == Direction::encode)
    con::out() << "copiando ficheros con " << written << "  Chars de " << n << " chars iniciales ";
  else
    con::out() << " copiando ficheros con " << written << " chars de " << n << " chars iniciales ";
}

Outcome coder::report_open_failure(bool decoding_words) const {
  con::eol();
  con::out() << " el Archivo " << (porigen() ? porigen() : "") << " o "
             << (pdestino() ? pdestino() : "") << " no puede Abrirse ";
  con::eol();
  con::out() << (decoding_words ? " Error no se ha abierto el archivo para decodificar"
                                : " Error no se ha abierto el archivo para codificar");
  con::eol();
  return Outcome::failed;
}

void coder::start_line(const char* words) const {
  con::eol();
  con::out() << words << origen << " en el Destino " << destino;
  con::eol();
}

Outcome coder::size_check(uint64_t measured) const {
  if (measured == tamano) return Outcome::complete;
  con::eol();
  con::out() << "\xB7" "ATENCION HAY UN ERROR EN LA CODIFICACION!__PROBABLEMENTE NO HAY SUFICIENTE ESPACIO EN EL DISCO___";
  con::eol();
  con::out() << "SE HAN PERDIDO " << (tamano - measured) << " BYTES. ESTA CODIFICACION TIENE QUE DESECHARLA";
  return Outcome::failed;
}

}  // namespace qvx
