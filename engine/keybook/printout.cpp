// The printout: the active key record, readable and dated, appended to a
// text file the user names. Nothing is printed on paper.
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

#include "console/console.h"
#include "keybook/base.h"
#include "bookformat/book_file.h"
#include "bookformat/digits.h"
#include "platform/files.h"
#include "platform/path.h"

namespace qvx {
namespace {

// Fields hold C texts: what follows a NUL never existed for the user.
std::string_view c_text(const std::string& s) {
  std::size_t n = s.find('\0');
  return n == std::string::npos ? std::string_view(s) : std::string_view(s).substr(0, n);
}

// asctime's 24 characters and its line feed for the current local time.
std::string local_date() {
  std::time_t now = std::time(nullptr);
  const std::tm* t = std::localtime(&now);
  const char* text = t ? std::asctime(t) : nullptr;
  return text ? std::string(text) : std::string("??? ??? ?? ??:??:?? ????\n");
}

// The text appended to the printout file. Each label is written even when
// its value is empty or zero, so the layout never shifts.
std::string printout_text(const base& b) {
  const std::string rule(80, '_');
  std::string t;
  t += '\n' + rule + '\n';
  t += local_date() + '\n';
  t += rule + "\nQUORVEX\n" + rule + "\n\n";
  t += "LIBRO DE CLAVES_:";
  t += b.fichero;
  t += "\nNumero De La Clave MAESTRA_:";
  if (b.registro != 0) t += std::to_string(b.registro);
  t += "\nNombre De La Clave MAESTRA_:";
  t += c_text(b.nombre);
  for (int k = 1; k <= 10; ++k) {
    t += "\nClave numero " + std::to_string(k) + "_:";
    t += c_text(b.clave(k));
  }
  t += "\nNumero De ENGORDE_:";
  if (b.engorde != 0.0) t += ecvt10(b.engorde).text;
  t += '\n';
  t += "NUMERO DE DESORDEN_:" + desorden_text(b) + '\n';
  return t;
}

}  // namespace

int base::imprime() const {
  con::cls();
  con::out() << "QUORVEX";
  con::eol();
  con::eol();
  con::out() << "La Impresion Se Tiene Que Hacer Desde Un Fichero";
  con::eol();
  con::out() << "Se Va a Grabar en un fichero la Informacion del Registro n: " << registro
             << " Con Nombre: " << c_text(nombre);
  con::eol();
  con::out() << "INTRODUZCA UN NOMBRE DE FICHERO PARA CREAR?_:";
  con::discard_line(300);
  std::string name;
  if (con::word(name, kPathMax) == con::Got::eof) {
    // Nothing named before the input ended: nothing to write to.
    con::line(" Operacion Cancelada");
    return 1;
  }

  // A printout holds every key in the clear: a new one is its owner's alone,
  // and it goes into no file that someone else owns or a link leads to.
  if (files::foreign(name)) {
    con::line("Error el fichero " + name +
              " no es un fichero propio (enlace, directorio, fifo, dispositivo o de otro usuario), no se escribe");
    return 0;
  }
  std::error_code ec;
  BookFile file;
  if (std::filesystem::exists(fs_path(name), ec)) {
    con::eol();
    con::out() << " el Fichero de Destino: " << name << " existe , !lo A\xF1" "ade?(s/n): ";
    char c = 0;
    if (con::ch(c) != con::Got::ok || (c != 's' && c != 'S')) {
      con::line(" Operacion Cancelada");
      return 1;
    }
    if (file.open(name, BookFile::Use::append)) con::line("el fichero A\xD1" "ADIDO DE NUEVO a continuacion es:_" + name);
  } else {
    if (file.open(name, BookFile::Use::append)) con::line("el fichero CREADO es:_" + name);
  }
  if (!file.is_open()) {
    con::line(" Error no se ha podido abrir el fichero " + name);
    return 0;
  }

  con::line("PROCESANDO FICHERO");
  con::out() << static_cast<const KeyRecord&>(*this);
  const std::string text = printout_text(*this);
  file.write(text.data(), text.size());
  recuerda();
  if (!file.close()) {
    con::line(" Error no se ha podido grabar el fichero " + name);
    return 0;
  }
  return 1;
}

}  // namespace qvx
