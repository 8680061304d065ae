#include "keybook_access.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>

#include "keybook/book_file.h"
#include "keybook/slot.h"
#include "path_text.h"
#include "texts.h"

namespace qvxpanel {
namespace {

using qvx::kSlotSize;
using qvx::Slot;

constexpr std::string_view kChangeTitle = "DESORDEN";

// Opening for reading creates a missing book, as the panel always has; it
// holds every key in the clear, so a new one is its owner's alone (0600 on
// POSIX). The bytes are read untranslated: a key may hold any byte but a blank.
bool open_for_reading(const std::string& path, std::ifstream& f) {
  if (path.empty()) return false;
  const std::filesystem::path file = file_path(path);
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) return false;
#if defined(_WIN32)
  if (!std::filesystem::exists(file, ec)) std::ofstream(file, std::ios::binary | std::ios::app);
#else
  if (!std::filesystem::exists(file, ec)) qvx::BookFile(path, qvx::BookFile::Use::append);
#endif
  f.open(file, std::ios::binary);
  return f.is_open();
}

// Opening for writing never creates nor truncates the book.
bool open_for_writing(const std::string& path, std::fstream& f) {
  if (path.empty()) return false;
  f.open(file_path(path), std::ios::in | std::ios::out | std::ios::binary);
  return f.is_open();
}

uint64_t size_of(std::istream& f) {
  f.seekg(0, std::ios::end);
  std::streamoff end = f.tellg();
  f.seekg(0);
  return end > 0 ? static_cast<uint64_t>(end) : 0;
}

std::streamoff offset_of(int64_t slot) { return static_cast<std::streamoff>((slot - 1) * static_cast<int64_t>(kSlotSize)); }

// Calls visit(number, slot) for every whole slot from the first until it
// returns false; a tail shorter than a slot is no slot. The size is taken
// first, as for every file here, so a device that never ends is no book.
// Returns the count of slots visited.
template <class Visit>
int32_t scan_slots(std::istream& f, Visit visit) {
  const uint64_t count = size_of(f) / kSlotSize;
  Slot s;
  int32_t n = 0;
  while (static_cast<uint64_t>(n) < count && f.read(reinterpret_cast<char*>(s.data()), kSlotSize)) {
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

bool write_at(std::fstream& f, int64_t slot, const Slot& bytes) {
  f.seekp(offset_of(slot));
  f.write(reinterpret_cast<const char*>(bytes.data()), kSlotSize);
  f.flush();
  return static_cast<bool>(f);
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
  std::fstream f;
  if (!open_for_writing(path, f)) {
    say(p, texts::kNotOpened);
    tell_not_written(p, path);
    return false;
  }
  uint64_t count = size_of(f) / kSlotSize;
  if (n <= 0 || static_cast<uint64_t>(n) > count) {
    tell_error(p, texts::kNoSuchRecord);
    return false;
  }
  bool ok = write_at(f, n, bytes);
  f.close();
  if (!ok || f.fail()) {
    tell_not_written(p, path);
    return false;
  }
  return true;
}

std::string record_view(const qvx::KeyRecord& r) {
  std::ostringstream v;
  v << "\nNombre de la Clave Maestra: " << r.nombre.c_str();
  for (int k = 1; k <= 10; ++k) v << "\nclave" << k << ": " << r.clave(k).c_str();
  v << "\nengorde: " << std::fixed << std::setprecision(0) << r.engorde;
  v << "\ndesorden: " << std::fixed << std::setprecision(3) << r.desorden << '\n';
  return v.str();
}

// Knuth-Morris-Pratt failure table: the search streams the book once and
// still reports overlapping matches.
std::vector<std::size_t> failure_table(std::string_view t) {
  std::vector<std::size_t> f(t.size(), 0);
  for (std::size_t i = 1, k = 0; i < t.size(); ++i) {
    while (k > 0 && t[i] != t[k]) k = f[k - 1];
    if (t[i] == t[k]) ++k;
    f[i] = k;
  }
  return f;
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
  std::ifstream f;
  if (!open_for_reading(path, f)) return std::nullopt;
  std::vector<NameEntry> names;
  scan_slots(f, [&](int32_t n, const Slot& s) {
    if (!qvx::looks_deleted(s.data(), kSlotSize)) names.push_back({field_text(s, 0, qvx::kNameWidth), n});
    return true;
  });
  return names;
}

std::optional<Scan> load_by_number(const std::string& path, int32_t n) {
  std::ifstream f;
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
  std::ifstream f;
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
  std::ifstream f;
  if (!open_for_reading(path, f)) return Selected::unreadable;
  uint64_t count = size_of(f) / kSlotSize;
  if (number <= 0 || static_cast<uint64_t>(number) > count) {
    say(p, texts::kNoSuchRecord);
    return Selected::refused;
  }
  Slot s{};
  f.seekg(offset_of(number));
  f.read(reinterpret_cast<char*>(s.data()), kSlotSize);
  if (qvx::looks_deleted(s.data(), kSlotSize)) {
    p.standard_output("\nImposible Seleccionar Un Registro Borrado Operacion Cancelada");
    number = 0;
    return Selected::refused;
  }
  qvx::KeyRecord r;
  std::vector<std::string> messages;
  qvx::read_slot(s.data(), static_cast<std::size_t>(f.gcount()), r, messages);
  for (const std::string& m : messages) say(p, m);
  p.standard_output(record_view(r));
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
  int32_t free_slot = 0;
  int32_t count = 0;
  {
    std::ifstream f;
    if (!open_for_reading(path, f)) {
      say(p, texts::kNotOpened);
      tell_not_written(p, path);
      return {};
    }
    count = scan_slots(f, [&](int32_t n, const Slot& s) {
      if (!qvx::is_free_slot(s.data(), kSlotSize)) return true;
      free_slot = n;
      return false;
    });
  }
  Slot bytes = slot_of(p, record);
  std::fstream f;
  if (!open_for_writing(path, f)) {
    say(p, texts::kNotOpened);
    tell_not_written(p, path);
    return {};
  }
  bool ok = write_at(f, free_slot != 0 ? free_slot : int64_t{count} + 1, bytes);
  f.close();
  if (!ok || f.fail()) {
    tell_not_written(p, path);
    return {};
  }
  return {true, free_slot};
}

bool overwrite(Platform& p, const std::string& path, int32_t n, const RecordTexts& record) {
  check_conversions(p, to_record(record));
  return write_existing_slot(p, path, n, slot_of(p, record));
}

bool erase_record(Platform& p, const std::string& path, int32_t n) {
  return write_existing_slot(p, path, n, qvx::deleted_slot());
}

bool search(Platform& p, const std::string& path, std::string_view text) {
  std::ifstream f;
  if (!open_for_reading(path, f)) return false;
  // An empty text would "match" before every byte of the book.
  if (text.empty()) return true;
  std::vector<std::size_t> fail = failure_table(text);
  const uint64_t size = size_of(f);
  std::istreambuf_iterator<char> it(f), end;
  std::size_t matched = 0;
  for (uint64_t at = 0; at < size && it != end; ++it, ++at) {
    char c = *it;
    while (matched > 0 && c != text[matched]) matched = fail[matched - 1];
    if (c == text[matched]) ++matched;
    if (matched < text.size()) continue;
    uint64_t start = at + 1 - text.size();
    p.message_box("Se ha encontrado una coincidencia en la posici\xF3n:  " + std::to_string(start) +
                      " _del registro " + std::to_string(start / kSlotSize + 1),
                  path, Icon::exclamation, Buttons::ok);
    matched = fail[matched - 1];
  }
  return true;
}

void raw_listing(Platform& p, const std::string& path, int32_t n) {
  std::ifstream f;
  uint64_t count = open_for_reading(path, f) ? size_of(f) / kSlotSize : 0;
  std::string out = "\n Numero de Registros del Libro " + path + "_:_ " + std::to_string(count) + "\n";
  if (n > 0 && static_cast<uint64_t>(n) <= count) {
    Slot s{};
    f.seekg(offset_of(n));
    f.read(reinterpret_cast<char*>(s.data()), kSlotSize);
    out += "clave n_" + std::to_string(n) + " _: ";
    // One row per field, as the engine's raw dump shows a slot.
    static constexpr std::size_t kRows[] = {
        qvx::kNameWidth, qvx::kKeyWidth, qvx::kKeyWidth, qvx::kKeyWidth,      qvx::kKeyWidth,
        qvx::kKeyWidth,  qvx::kKeyWidth, qvx::kKeyWidth, qvx::kKeyWidth,      qvx::kKeyWidth,
        qvx::kKeyWidth,  qvx::kEngordeWidth, qvx::kDesordenWidth};
    std::size_t at = 0;
    for (std::size_t row : kRows) {
      out.append(reinterpret_cast<const char*>(s.data() + at), row);
      out += '\n';
      at += row;
    }
  }
  out += '\n';
  p.standard_output(out);
}

}  // namespace qvxpanel
