#include "keybook/base.h"

#include <algorithm>
#include <iomanip>
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
    con::line("lo siento registro no existente; Repita la Operacion");
    return 0;
  }
  BookFile f(fichero, BookFile::Use::read);
  Slot slot{};
  const uint64_t at = static_cast<uint64_t>(n - 1) * kSlotSize;
  if (!f.seek(at) || f.read(slot.data(), 3) != 3) {
    // The book shrank or vanished since it was counted.
    con::line("lo siento registro no existente; Repita la Operacion");
    return 0;
  }
  if (looks_deleted(slot.data(), 3)) {
    con::eol();
    con::out() << "Imposible Seleccionar Un Registro Borrado Operacion Cancelada";
    registro = 0;
    return 0;
  }
  registro = static_cast<int32_t>(n);
  const std::size_t got = f.seek(at) ? f.read(slot.data(), slot.size()) : 0;
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
  auto label = [](const char* text) {
    con::eol();
    con::out() << text;
  };
  label("Nombre de la Clave Maestra: ");
  view << r.nombre.c_str();
  for (int k = 1; k <= 10; ++k) {
    con::eol();
    con::out() << "clave" << k << ": ";
    view << r.clave(k).c_str();
  }
  std::ios::fmtflags flags = view.flags();
  std::streamsize precision = view.precision();
  label("engorde: ");
  view << std::fixed << std::setprecision(0) << r.engorde;
  label("desorden: ");
  view << std::fixed << std::setprecision(3) << r.desorden;
  view.flags(flags);
  view.precision(precision);
  con::eol();
  return view;
}

void dump_slot(const unsigned char* bytes, std::size_t available) {
  static constexpr std::size_t kRows[] = {kNameWidth, kKeyWidth,     kKeyWidth,     kKeyWidth, kKeyWidth,
                                          kKeyWidth,  kKeyWidth,     kKeyWidth,     kKeyWidth, kKeyWidth,
                                          kKeyWidth,  kEngordeWidth, kDesordenWidth};
  std::size_t at = 0;
  for (std::size_t row : kRows) {
    const std::size_t shown = at < available ? std::min(row, available - at) : 0;
    con::out().write(reinterpret_cast<const char*>(bytes + at), static_cast<std::streamsize>(shown));
    at += row;
    con::eol();
  }
}

void dump_slot(std::istream& file) {
  Slot s{};
  file.read(reinterpret_cast<char*>(s.data()), static_cast<std::streamsize>(s.size()));
  dump_slot(s.data(), static_cast<std::size_t>(file.gcount()));
}

}  // namespace qvx
