// Entering, adding, deleting, changing, listing and searching key records.
// Every operation opens the key-book file itself and closes it before it
// returns; record numbers count from 1.
#include <algorithm>
#include <string>

#include "console/console.h"
#include "keybook/base.h"
#include "bookformat/book_file.h"

namespace qvx {
namespace {

constexpr const char* kNoSuchRecord = "lo siento registro no existente; Repita la Operacion";
constexpr const char* kNotOpened = " Error no se ha abierto el fichero";

// Opens an existing book for reading and writing, never creating or
// truncating it, and counts its whole slots.
bool open_for_update(const std::string& path, BookFile& f, uint64_t& records) {
  if (!f.open(path, BookFile::Use::update)) return false;
  records = record_count(f.size());
  return true;
}

// Writing outside the book would land before its first slot or leave a
// stretch of garbage after its last one.
bool in_book(int64_t n, uint64_t records) {
  return n >= 1 && static_cast<uint64_t>(n) <= records;
}

// Opens the book and positions the write at slot n, which must already
// exist; reports why not otherwise.
bool open_existing_slot(const std::string& path, int64_t n, BookFile& f) {
  uint64_t records = 0;
  if (!open_for_update(path, f, records)) {
    con::line(kNotOpened);
    return false;
  }
  if (!in_book(n, records)) {
    con::line(kNoSuchRecord);
    return false;
  }
  return f.seek(slot_offset(n));
}

// Asks until a number arrives; false when the input ended first.
bool ask_number(const char* prompt, double& value) {
  for (;;) {
    con::eol();
    con::out() << prompt;
    switch (con::real(value)) {
      case con::Got::ok: return true;
      case con::Got::eof: return false;
      case con::Got::bad: break;
    }
  }
}

}  // namespace

bool read_new_record(base& b) {
  // At the end of input we stop asking and keep what was entered so far;
  // the result tells the menu whether the entry is whole.
  std::string w;
  con::eol();
  con::out() << "introduzca NOMBRE de la clave Maestra: ";
  con::discard_line(300);
  if (con::word(w, kPathMax) == con::Got::eof) return false;
  b.nombre = w;
  con::discard_line();
  for (int k = 1; k <= 10; ++k) {
    con::eol();
    con::out() << "Introduzca Clave" << k << ": ";
    if (con::word(w, kPathMax) == con::Got::eof) return false;
    b.clave(k) = w;
  }
  con::out() << "Introduzca numeros apartir de ahora";
  con::eol();
  double v = 0.0;
  if (!ask_number("Introduzca ENGORDE (Enteros sin signo y no mas de diez numeros): ", v)) return false;
  b.engorde = v;
  if (!ask_number("Introduzca DESORDEN (Doble con decimal antes de pos:24)(+-x.xx..): ", v)) return false;
  b.desorden = v;
  con::out() << static_cast<const KeyRecord&>(b);
  con::eol();
  return true;
}

base& base::iniciab() {
  read_new_record(*this);
  return *this;
}

int base::buscar() const {
  BookFile f;
  if (!f.open(fichero, BookFile::Use::read)) return 0;
  return static_cast<int>(f.first_free_slot());
}

uint64_t base::altas(uint64_t n) const {
  if (compruebabase() == 0) {
    con::line(kNoBookOpen);
    return n;
  }
  BookFile f;
  uint64_t records = 0;
  if (!open_for_update(fichero, f, records)) {
    con::line(kNotOpened);
    return n;
  }
  // A record goes into an existing slot or right after the last one.
  if (n == 0 || n > records + 1) {
    con::line(kNoSuchRecord);
    return n;
  }
  con::line("llega al primer paso");
  f.write_slot(static_cast<int64_t>(n), record_slot(*this));
  f.close();
  con::line("llega al primer paso2");
  return n;
}

int base::bajas(int n, long size) const {
  // The marker is one slot long: any other length would leave part of a
  // record behind or spill into the next one.
  if (size <= 0 || size > static_cast<long>(kSlotSize)) size = static_cast<long>(kSlotSize);
  BookFile f;
  if (!open_existing_slot(fichero, n, f)) return 0;
  const Slot marker = deleted_slot();
  f.write(marker.data(), static_cast<std::size_t>(size));
  return f.close() ? 1 : 0;
}

int base::modificaciones(long n) const {
  BookFile f;
  if (!open_existing_slot(fichero, n, f)) return 0;
  const bool written = f.write_slot(n, record_slot(*this));
  return f.close() && written ? 1 : 0;
}

const base& base::listados(int first, int count) const {
  base counter = *this;  // tamanyo() sets the count on the object it runs on
  con::eol();
  con::out() << " Numero de Registros del Libro " << fichero << "_:_ ";
  con::out() << record_count(counter.tamanyo());
  con::eol();
  // Nothing lies before record 1, so a listing from 0 or below starts there.
  int64_t current = std::max(first, 1);
  BookFile f(fichero, BookFile::Use::read);
  f.seek(slot_offset(current));
  int past_end = 0;
  for (int i = 0; i < count; ++i) {
    // Every number counts the records again and shows that count, also
    // past the last record, where nothing else is shown. A count far
    // beyond any book stops after kPastEndShown such numbers.
    if (static_cast<uint64_t>(current) > record_count(counter.tamanyo())) {
      if (++past_end >= kPastEndShown) break;
      continue;
    }
    con::out() << "clave n_" << current << " _: ";
    Slot s{};
    dump_slot(s.data(), f.read(s.data(), s.size()));
    ++current;
    if (i == 0 && count > 1) con::line("Presione Retorno Para Continuar......");
  }
  con::eol();
  return *this;
}

int base::busqueda(const std::string& pattern) const {
  BookFile f;
  if (f.open(fichero, BookFile::Use::read)) {
    f.find_all(std::string_view(pattern).substr(0, kPatternMax), [](uint64_t p) {
      con::eol();
      con::out() << "Localizado:-se ha encontrado en la posicion_ " << p << " _del registro " << p / kSlotSize + 1;
    });
  }
  con::eol();
  return 1;
}

int base::recuerda() const {
  con::eol();
  con::out() << (posicion > 10 ? " Requerde que El Numero De DESORDEN Seria Introducido Como _:"
                               : "Requerde que El Numero De DESORDEN Seria Introducido Como _:")
             << desorden_text(*this);
  con::out().flush();
  return 1;
}

}  // namespace qvx
