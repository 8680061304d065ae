#include "keybook_access.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "bookformat/book_file.h"
#include "bookformat/slot.h"
#include "path_text.h"
#include "texts.h"

namespace qvxpanel {
namespace {

using qvx::kSlotSize;
using qvx::Slot;

constexpr std::string_view kChangeTitle = "DESORDEN";

using qvx::BookFile;

// Opening for reading creates a missing book, as the panel always has; it
// holds every key in the clear, so a new one is its owner's alone (0600 on
// POSIX). The bytes are read untranslated: a key may hold any byte but a blank.
// Only regular files open (BookFile): a FIFO or a device is no book.
bool open_for_reading(const std::string& path, BookFile& f) {
  if (path.empty()) return false;
  const std::filesystem::path file = file_path(path);
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) return false;
  if (!std::filesystem::exists(file, ec)) BookFile(file, BookFile::Use::append);
  return f.open(file, BookFile::Use::read);
}

// Opening for writing never creates nor truncates the book.
bool open_for_writing(const std::string& path, BookFile& f) {
  return !path.empty() && f.open(file_path(path), BookFile::Use::update);
}

// Calls visit(number, slot) for every whole slot from the first until it
// returns false; a tail shorter than a slot is no slot. Returns the count
// of slots visited.
template <class Visit>
int32_t scan_slots(BookFile& f, Visit visit) {
  const uint64_t count = f.records();
  Slot s;
  int32_t n = 0;
  while (static_cast<uint64_t>(n) < count && f.read_slot(n + 1, s) == kSlotSize) {
    ++n;
    if (!visit(n, s)) break;
  }
  return n;
}

// A field's text up to its NUL, never beyond its capacity.
std::string field_text(const Slot& s, std::size_t at, std::size_t width) {
  const char* p = reinterpret_cast<const char*>(s.data() + at);
  return std::string(p, strnlen(p, width - 1));
}

// A number's text up to its NUL, which a damaged slot may only have further
// on: read on within the slot, as the engine does, so both see one number.
std::string number_text(const Slot& s, std::size_t at) {
  const char* p = reinterpret_cast<const char*>(s.data() + at);
  return std::string(p, strnlen(p, qvx::kSlotSize - at));
}

RecordTexts texts_of(const Slot& s) {
  RecordTexts t;
  t.nombre = field_text(s, 0, qvx::kNameWidth);
  for (std::size_t k = 0; k < 10; ++k)
    t.claves[k] = field_text(s, qvx::kNameWidth + k * qvx::kKeyWidth, qvx::kKeyWidth);
  t.engorde = number_text(s, qvx::kEngordeOffset);
  t.desorden = number_text(s, qvx::kDesordenOffset);
  return t;
}

void say(Platform& p, std::string_view text) {
  std::string line = "\n";
  line += text;
  line += '\n';
  p.standard_output(line);
}

void tell_error(Platform& p, std::string_view text) {
  p.message_box(text, texts::kError, Icon::exclamation, Buttons::ok);
}

void tell_not_written(Platform& p, const std::string& path) {
  tell_error(p, std::string(texts::kBookWriteError) + path);
}

// A zero engorde or desorden is written all the same; the user is told.
void check_conversions(Platform& p, const qvx::KeyRecord& r) {
  if (r.engorde == 0.0)
    tell_error(p, "Se ha producido un error en la conversi\xF3n de la Clave de Engorde.");
  if (r.desorden == 0.0)
    tell_error(p, "Se ha producido un error en la conversi\xF3n de la Clave de Desorden.");
}

Slot slot_of(Platform& p, const RecordTexts& texts) {
  std::vector<std::string> messages;
  Slot s = qvx::write_slot(to_record(texts), messages);
  for (const std::string& m : messages) p.standard_output(m);
  return s;
}

// Writes `bytes` into slot n of an existing book; refuses slots the book
// does not have.
bool write_existing_slot(Platform& p, const std::string& path, int32_t n, const Slot& bytes) {
  BookFile f;
  if (!open_for_writing(path, f)) {
    say(p, texts::kNotOpened);
    tell_not_written(p, path);
    return false;
  }
  if (n <= 0 || static_cast<uint64_t>(n) > f.records()) {
    tell_error(p, texts::kNoSuchRecord);
    return false;
  }
  const bool written = f.write_slot(n, bytes);
  if (!f.close() || !written) {
    tell_not_written(p, path);
    return false;
  }
  return true;
}

}  // namespace

qvx::KeyRecord to_record(const RecordTexts& texts) {
  qvx::KeyRecord r;
  r.nombre = texts.nombre;
  for (int k = 1; k <= 10; ++k) r.clave(k) = texts.claves[static_cast<std::size_t>(k - 1)];
  r.engorde = std::strtod(texts.engorde.c_str(), nullptr);
  r.desorden = std::strtod(texts.desorden.c_str(), nullptr);
  return r;
}

std::optional<std::vector<NameEntry>> list_names(const std::string& path) {
  BookFile f;
  if (!open_for_reading(path, f)) return std::nullopt;
  std::vector<NameEntry> names;
  scan_slots(f, [&](int32_t n, const Slot& s) {
    if (!qvx::looks_deleted(s.data(), kSlotSize)) names.push_back({field_text(s, 0, qvx::kNameWidth), n});
    return true;
  });
  return names;
}

std::optional<Scan> load_by_number(const std::string& path, int32_t n) {
  BookFile f;
  if (!open_for_reading(path, f)) return std::nullopt;
  Scan r;
  r.scanned = scan_slots(f, [&](int32_t k, const Slot& s) {
    if (k != n) return true;
    r.slot = k;
    r.texts = texts_of(s);
    return false;
  });
  return r;
}

std::optional<Scan> find_by_name(const std::string& path, std::string_view name) {
  BookFile f;
  if (!open_for_reading(path, f)) return std::nullopt;
  Scan r;
  r.scanned = scan_slots(f, [&](int32_t k, const Slot& s) {
    if (field_text(s, 0, qvx::kNameWidth) != name) return true;
    r.slot = k;
    r.texts = texts_of(s);
    return false;
  });
  return r;
}

Selected select_for_change(Platform& p, const std::string& path, int32_t& number,
                           std::string& desorden_field) {
  BookFile f;
  if (!open_for_reading(path, f)) return Selected::unreadable;
  if (number <= 0 || static_cast<uint64_t>(number) > f.records()) {
    say(p, texts::kNoSuchRecord);
    return Selected::refused;
  }
  Slot s{};
  const std::size_t got = f.read_slot(number, s);
  if (qvx::looks_deleted(s.data(), kSlotSize)) {
    p.standard_output("\nImposible Seleccionar Un Registro Borrado Operacion Cancelada");
    number = 0;
    return Selected::refused;
  }
  qvx::KeyRecord r;
  std::vector<std::string> messages;
  qvx::read_slot(s.data(), got, r, messages);
  for (const std::string& m : messages) say(p, m);
  p.standard_output(qvx::record_view(r));
  p.standard_output("numero :_" + std::to_string(number) + " activado satisfactoriamente\n");

  // The stored digits alone would not write back the same desorden; the
  // text as it was typed does.
  desorden_field = qvx::desorden_text(r);
  p.message_box("El Desorden es :" + desorden_field, kChangeTitle, Icon::exclamation, Buttons::ok);
  return Selected::read;
}

Added append_or_reuse(Platform& p, const std::string& path, const RecordTexts& record) {
  check_conversions(p, to_record(record));
  if (path.empty()) {
    say(p, texts::kNoBook);
    tell_not_written(p, path);
    return {};
  }
  int64_t free_slot = 0;
  uint64_t count = 0;
  {
    BookFile f;
    if (!open_for_reading(path, f)) {
      say(p, texts::kNotOpened);
      tell_not_written(p, path);
      return {};
    }
    free_slot = f.first_free_slot();
    count = f.records();
  }
  Slot bytes = slot_of(p, record);
  BookFile f;
  if (!open_for_writing(path, f)) {
    say(p, texts::kNotOpened);
    tell_not_written(p, path);
    return {};
  }
  const bool written = f.write_slot(free_slot != 0 ? free_slot : static_cast<int64_t>(count) + 1, bytes);
  if (!f.close() || !written) {
    tell_not_written(p, path);
    return {};
  }
  return {true, static_cast<int32_t>(free_slot)};
}

bool overwrite(Platform& p, const std::string& path, int32_t n, const RecordTexts& record) {
  check_conversions(p, to_record(record));
  return write_existing_slot(p, path, n, slot_of(p, record));
}

bool erase_record(Platform& p, const std::string& path, int32_t n) {
  return write_existing_slot(p, path, n, qvx::deleted_slot());
}

bool search(Platform& p, const std::string& path, std::string_view text) {
  BookFile f;
  if (!open_for_reading(path, f)) return false;
  // An empty text would "match" before every byte of the book: it finds nothing.
  f.find_all(text, [&](uint64_t start) {
    p.message_box("Se ha encontrado una coincidencia en la posici\xF3n:  " + std::to_string(start) +
                      " _del registro " + std::to_string(start / kSlotSize + 1),
                  path, Icon::exclamation, Buttons::ok);
  });
  return true;
}

void raw_listing(Platform& p, const std::string& path, int32_t n) {
  BookFile f;
  const uint64_t count = open_for_reading(path, f) ? f.records() : 0;
  std::string out = "\n Numero de Registros del Libro " + path + "_:_ " + std::to_string(count) + "\n";
  if (n > 0 && static_cast<uint64_t>(n) <= count) {
    Slot s{};
    f.read_slot(n, s);
    out += "clave n_" + std::to_string(n) + " _: ";
    // One row per field, as the engine's raw dump shows a slot.
    for (std::string_view row : qvx::slot_rows(s.data(), kSlotSize)) {
      out += row;
      out += '\n';
    }
  }
  out += '\n';
  p.standard_output(out);
}

}  // namespace qvxpanel
