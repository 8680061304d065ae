#include "keybook/base.h"

#include <algorithm>
#include <istream>
#include <vector>

#include "console/console.h"
#include "bookformat/book_file.h"

namespace qvx {

namespace {

bool exists_for_reading(const std::string& path) { return BookFile(path, BookFile::Use::read).is_open(); }

}  // namespace

base::base() = default;

base::base(const char* path) : fichero(path ? path : ""), libro(true) {}

base::base(const char* path, int n) : base(path) { registro = n; }

int base::compruebabase() const { return (!fichero.empty() && libro) ? 1 : 0; }

int base::compruebaregistro() const { return registro != 0 ? 1 : 0; }

const char* base::ponerlibro() const { return libro ? fichero.c_str() : nullptr; }

int base::ponerregistro() const { return registro; }

base& base::abrirfichero() {
  con::out() << "Introduzca el libro de claves para abrir : _";
  std::string path;
  if (con::word(path, kPathMax) == con::Got::eof) {
    // Nothing typed before the input ended: no book.
    fichero.clear();
    libro = false;
    return *this;
  }
  return abrirfichero2(path.c_str());
}

base& base::abrirfichero2(const char* path) {
  fichero = path ? path : "";
  libro = true;
  if (exists_for_reading(fichero)) {
    con::line("el fichero Abierto es:_" + fichero);
    return *this;
  }
  con::out() << " el Archivo " << fichero << " no Existe, \xBFLo Creo Nuevo? (S/N) :";
  char c = 0;
  if (con::ch(c) == con::Got::ok && (c == 's' || c == 'S')) {
    // The book will hold every key in the clear: it is its owner's alone.
    if (BookFile(fichero, BookFile::Use::append).is_open()) {
      con::line("el fichero Creado es:_" + fichero);
      return *this;
    }
  }
  con::line(" Error no se ha abierto el archivo");
  fichero.clear();
  libro = false;
  return *this;
}

bool book_and_record_ready(const base& book) {
  if (!book.compruebabase()) {
    con::line(kNoBookOpen);
    return false;
  }
  if (!book.compruebaregistro()) {
    con::line(kNoRecordActive);
    return false;
  }
  return true;
}

uint64_t base::tamanyo() {
  const uint64_t size = regular_file_size(fichero);
  registros = record_count(size);
  con::out() << "reg: " << registros;
  con::eol();
  con::out() << size;
  return size;
}

int base::activar(uint32_t n, uint64_t count) {
  if (n == 0 || n > count) {
    con::error_line("lo siento registro no existente; Repita la Operacion");
    return 0;
  }
  BookFile f(fichero, BookFile::Use::read);
  Slot slot{};
  const std::size_t got = f.read_slot(n, slot);
  if (got < 3) {
    // The book shrank or vanished since it was counted.
    con::error_line("lo siento registro no existente; Repita la Operacion");
    return 0;
  }
  if (looks_deleted(slot.data(), got)) {
    con::error_text("Imposible Seleccionar Un Registro Borrado Operacion Cancelada");
    registro = 0;
    return 0;
  }
  registro = static_cast<int32_t>(n);
  load_record(slot.data(), got, *this);
  con::out() << static_cast<const KeyRecord&>(*this);
  con::out() << "numero :_" << n << " activado satisfactoriamente";
  con::eol();
  return static_cast<int>(n);
}

Slot record_slot(const KeyRecord& r) {
  std::vector<std::string> messages;
  Slot s = write_slot(r, messages);
  for (const std::string& m : messages) con::out() << m;
  return s;
}

void load_record(const unsigned char* bytes, std::size_t available, KeyRecord& r) {
  std::vector<std::string> messages;
  read_slot(bytes, available, r, messages);
  for (const std::string& m : messages) con::line(m);
}

bool write_record(std::ostream& file, const KeyRecord& r) {
  const Slot s = record_slot(r);
  file.write(reinterpret_cast<const char*>(s.data()), static_cast<std::streamsize>(s.size()));
  return static_cast<bool>(file);
}

std::ostream& operator>>(std::ostream& file, const base& b) {
  write_record(file, b);
  return file;
}

std::istream& operator>(std::istream& file, base& b) {
  Slot s{};
  file.read(reinterpret_cast<char*>(s.data()), static_cast<std::streamsize>(s.size()));
  load_record(s.data(), static_cast<std::size_t>(file.gcount()), b);
  return file;
}

std::ostream& operator<<(std::ostream& view, const KeyRecord& r) {
  // Line by line, so that each newline is flushed as the console's are.
  const std::string text = record_view(r);
  std::size_t from = 0;
  for (std::size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', from)) {
    view.write(text.data() + from, static_cast<std::streamsize>(nl - from));
    view << '\n' << std::flush;
    from = nl + 1;
  }
  return view;
}

void dump_slot(const unsigned char* bytes, std::size_t available) {
  for (std::string_view row : slot_rows(bytes, available)) {
    con::out().write(row.data(), static_cast<std::streamsize>(row.size()));
    con::eol();
  }
}

void dump_slot(std::istream& file) {
  Slot s{};
  file.read(reinterpret_cast<char*>(s.data()), static_cast<std::streamsize>(s.size()));
  dump_slot(s.data(), static_cast<std::size_t>(file.gcount()));
}

}  // namespace qvx
