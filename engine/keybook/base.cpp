#include "keybook/base.h"

#include <fstream>
#include <iomanip>
#include <vector>

#include "console/console.h"

namespace qvx {

namespace {

bool exists_for_reading(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return f.is_open();
}

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
    std::ofstream created(fichero, std::ios::binary | std::ios::app);
    if (created.is_open()) {
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
  uint64_t size = 0;
  std::ifstream f(fichero, std::ios::binary | std::ios::ate);
  if (f.is_open()) {
    std::streamoff end = f.tellg();
    if (end > 0) size = static_cast<uint64_t>(end);
  }
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
  std::ifstream f(fichero, std::ios::binary);
  Slot slot{};
  const std::streamoff at = static_cast<std::streamoff>(n - 1) * static_cast<std::streamoff>(kSlotSize);
  if (f.is_open()) {
    f.seekg(at);
    f.read(reinterpret_cast<char*>(slot.data()), 3);
  }
  if (!f || f.gcount() != 3) {
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
  f.seekg(at);
  registro = static_cast<int32_t>(n);
  f > *this;
  con::out() << static_cast<const KeyRecord&>(*this);
  con::out() << "numero :_" << n << " activado satisfactoriamente";
  con::eol();
  return static_cast<int>(n);
}

bool write_record(std::ostream& file, const KeyRecord& r) {
  std::vector<std::string> messages;
  Slot s = write_slot(r, messages);
  for (const std::string& m : messages) con::out() << m;
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
  std::size_t got = static_cast<std::size_t>(file.gcount());
  std::vector<std::string> messages;
  read_slot(s.data(), got, b, messages);
  for (const std::string& m : messages) con::line(m);
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

void dump_slot(std::istream& file) {
  static constexpr std::size_t kRows[] = {20, 65, 65, 65, 65, 65, 65, 65, 65, 65, 65, 15, 20};
  for (std::size_t row : kRows) {
    for (std::size_t i = 0; i < row; ++i) {
      int c = file.get();
      if (c == std::char_traits<char>::eof()) break;
      con::out().put(static_cast<char>(c));
    }
    con::eol();
  }
}

}  // namespace qvx
