// What the engine targets start from: a key book with two live records and
// one deleted slot, and a small source file, in the sandbox.
#pragma once

#include <vector>

#include "bookformat/slot.h"
#include "sandbox.h"

namespace qvxfuzz {

inline qvx::KeyRecord fixture_record(int variant) {
  qvx::KeyRecord r;
  r.nombre = variant ? "dos" : "uno";
  const char* keys[10] = {"Tq8#mZr2Lw!x9Vb", "k3Jd0PzQ", "ww94lLmnxQ2", "PalomaBlanca77", "r4nd0mKeyText",
                          "zzXy81", "Q!x7Mb2#nn", "s3cr3tos", "NueveNueve9", "DiezDiezDiez10"};
  for (int k = 1; k <= 10; ++k) r.clave(k) = keys[k - 1] + std::string(variant, 'v');
  r.engorde = 73452.5 + variant;
  r.desorden = -1234.5678 - variant;
  return r;
}

inline void lay_out_fixture() {
  std::vector<unsigned char> book;
  std::vector<std::string> messages;
  for (const qvx::Slot& s : {qvx::write_slot(fixture_record(0), messages), qvx::deleted_slot(),
                             qvx::write_slot(fixture_record(1), messages)})
    book.insert(book.end(), s.begin(), s.end());
  put_file("k.kb", book.data(), book.size());
  const char plain[] = "Un texto corto que cifrar, con bytes \xD1 y \xBA.\n";
  put_file("src.bin", plain, sizeof plain - 1);
}

}  // namespace qvxfuzz
