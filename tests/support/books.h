// Key books for tests, written with the engine's own slot layout.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bookformat/slot.h"
#include "testutil.h"

namespace qvx::testing {

// A record with every key set: printable keys of assorted lengths, an
// engorde and a desorden whose digits make every pass transform.
inline KeyRecord sample_record(const std::string& name, int variant = 0) {
  KeyRecord r;
  r.nombre = name;
  const char* keys[10] = {"Tq8#mZr2Lw!x9Vb", "k3Jd0PzQ",          "ww94lLmnxQ2", "PalomaBlanca77",
                          "r4nd0mKeyTextForPassFive", "zzXy81", "Q!x7Mb2#nn", "s3cr3tos",
                          "NueveNueve9", "DiezDiezDiez10"};
  for (int k = 1; k <= 10; ++k) r.clave(k) = std::string(keys[k - 1]) + std::to_string(variant);
  r.engorde = 73452.5 + variant;
  r.desorden = -1234.5678 - variant;
  return r;
}

// Entries without a record are deleted slots.
inline void write_book(const std::string& path, const std::vector<std::optional<KeyRecord>>& records) {
  Bytes bytes;
  for (const auto& r : records) {
    std::vector<std::string> msgs;
    Slot s = r ? write_slot(*r, msgs) : deleted_slot();
    bytes.insert(bytes.end(), s.begin(), s.end());
  }
  write_file(path, bytes);
}

}  // namespace qvx::testing
