// The key-book object: one key record plus the state of the open key book.
// Every operation opens the key-book file, does its work and closes it again;
// nothing about the file is cached between calls.
#pragma once

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <iosfwd>
#include <string>

#include "bookformat/record.h"
#include "bookformat/slot.h"

namespace qvx {

constexpr std::size_t kPathMax = 4096;  // longest path we read from the console
constexpr std::size_t kPatternMax = 719;  // longest search pattern
// A listing shows its record count for at most this many numbers past the
// last record (each one opens the book again).
constexpr int kPastEndShown = 10000;

class base : public KeyRecord {
 public:
  uint64_t registros = 0;  // records of the open book, set by tamanyo()
  int32_t registro = 0;    // active record, from 1; 0 when none is active
  std::string fichero;     // path of the open key book
  bool libro = false;      // a book is open (the path in `fichero` is in force)

  base();
  explicit base(const char* path);
  // Names record n without reading it: the key fields stay empty and
  // compruebaregistro() says 1 even for a book without that record.
  // REQUIRES: activar(n, count) returned n before the record is used for
  // anything (a coder copies whatever the fields hold).
  base(const char* path, int n);

  // --- opening and selecting ---
  int compruebabase() const;       // 1 when a book is open
  int compruebaregistro() const;   // 1 when a record is active
  const char* ponerlibro() const;  // path of the open book, or null
  int ponerregistro() const;
  base& abrirfichero();                  // asks for a path at the console
  base& abrirfichero2(const char* path);  // the same with the path given
  uint64_t tamanyo();                     // "size": file size in bytes; sets `registros`
  int activar(uint32_t n, uint64_t count);

  // --- entering, editing, listing, searching ---
  // iniciab ("inicia base"): reads a new record from the console into this
  // object; nothing is written to the book.
  base& iniciab();
  // buscar ("to look for"): the number of the first deleted slot, where an
  // addition goes before the book grows; 0 when there is none. Not to be
  // confused with busqueda below, the user's text search.
  int buscar() const;
  uint64_t altas(uint64_t n) const;      // additions: writes this record into slot n
  int bajas(int n, long size) const;     // deletions: the marker into slot n
  int modificaciones(long n) const;      // changes: overwrites existing slot n
  const base& listados(int first, int count) const;  // raw dump of `count` slots
  // busqueda ("search"): every occurrence of `pattern` anywhere in the file.
  int busqueda(const std::string& pattern) const;
  // recuerda ("reminds"): shows the desorden as the user should type it
  // again, rebuilt from the stored digits, sign and point position.
  int recuerda() const;

  // --- printout ---
  int imprime() const;
};

// The refusals of every operation that needs an open book or an active record.
inline constexpr const char* kNoBookOpen =
    "Error no se puede realizar la operacion hasta que abra un libro de claves";
inline constexpr const char* kNoRecordActive =
    "Error no se puede realizar la operacion hasta que active un registro";

// Open book and active record, or the refusal that says which is missing.
bool book_and_record_ready(const base& book);

// A record number given as text, read the way the C library's atoi reads
// it: text that is not a number gives 0. A number int cannot hold gives 0
// too, where atoi would give whatever its overflow happens to make.
inline int record_number(const char* text) {
  const long long v = std::strtoll(text, nullptr, 10);
  return v < INT_MIN || v > INT_MAX ? 0 : static_cast<int>(v);
}

// The console entry of iniciab; true when every field was read, the last
// one possibly right at the end of the input.
bool read_new_record(base& b);

// The slot stream operations. Reversed from the usual convention, as the
// key book has always had them: >> writes a record, > reads one.
std::ostream& operator>>(std::ostream& file, const base& b);
std::istream& operator>(std::istream& file, base& b);
// Record view of the key record (record_view), each newline flushed.
std::ostream& operator<<(std::ostream& view, const KeyRecord& r);
// Raw dump of the slot at the file's read position, byte for byte.
void dump_slot(std::istream& file);
// The same for `available` bytes of a slot already read.
void dump_slot(const unsigned char* bytes, std::size_t available);

// The slot bytes of a record, printing any length message.
Slot record_slot(const KeyRecord& r);
// The key record from `available` bytes of a slot, printing any read message.
void load_record(const unsigned char* bytes, std::size_t available, KeyRecord& r);
// Write one slot at the stream's position, printing any length message.
bool write_record(std::ostream& file, const KeyRecord& r);

}  // namespace qvx
