// The panel's access to key books: the engine's slot layout and file layer
// (qvx_bookformat: BookFile, slot.h), with the panel's own messages.
// Every call opens the book, does its work and closes it again.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bookformat/record.h"
#include "platform.h"

namespace qvxpanel {

// A record as the forms hold it: texts only; the engorde and the desorden
// become numbers (strtod) when the record is written.
struct RecordTexts {
  std::string nombre;
  std::array<std::string, 10> claves;
  std::string engorde;
  std::string desorden;

  bool operator==(const RecordTexts&) const = default;
};

struct NameEntry {
  std::string name;
  int32_t slot = 0;  // record number, from 1
};

qvx::KeyRecord to_record(const RecordTexts& texts);

// Names of the live slots, in slot order; nothing when the book cannot be
// opened. A book that does not exist is created empty.
std::optional<std::vector<NameEntry>> list_names(const std::string& path);

struct Scan {
  int32_t scanned = 0;  // slots read, deleted ones included
  int32_t slot = 0;     // record found, 0 when none
  RecordTexts texts;    // stored texts of that record
};
// Slot n; `slot` is n when the book has it.
std::optional<Scan> load_by_number(const std::string& path, int32_t n);
// The first slot whose name is exactly `name`.
std::optional<Scan> find_by_name(const std::string& path, std::string_view name);

enum class Selected { read, refused, unreadable };
// Reads slot `number` for the change form: shows its desorden as it was
// typed and puts that text into `desorden_field`. A deleted slot sets
// `number` to 0.
Selected select_for_change(Platform& p, const std::string& path, int32_t& number,
                           std::string& desorden_field);

struct Added {
  bool written = false;
  int32_t reused = 0;  // slot reused, 0 after an append
};
// Writes into the first deleted slot, else after the last one.
Added append_or_reuse(Platform& p, const std::string& path, const RecordTexts& record);
// Slot n must exist; false (after telling the user) when nothing was written.
bool overwrite(Platform& p, const std::string& path, int32_t n, const RecordTexts& record);
bool erase_record(Platform& p, const std::string& path, int32_t n);

// One message box per occurrence of `text` anywhere in the file; false when
// the book cannot be opened.
bool search(Platform& p, const std::string& path, std::string_view text);

// Raw dump of slot n to standard output, before a deletion.
void raw_listing(Platform& p, const std::string& path, int32_t n);

}  // namespace qvxpanel
