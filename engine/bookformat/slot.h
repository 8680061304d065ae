// The 705-byte key-book slot: how a key record is laid out in a key-book
// file and read back. Pure byte work: messages are handed back to the
// caller, who decides how to show them. The engine and the panel both use
// this code, so a book written by one reads identically in the other.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bookformat/record.h"

namespace qvx {

constexpr std::size_t kSlotSize = 705;
constexpr std::size_t kNameWidth = 20;
constexpr std::size_t kKeyWidth = 65;
constexpr std::size_t kEngordeOffset = 670;
constexpr std::size_t kEngordeWidth = 15;
constexpr std::size_t kDesordenOffset = 685;
constexpr std::size_t kDesordenWidth = 20;
// Reading holds the desorden to 15 bytes first and to its width after, each
// drawing "Error en Lectura": kept, as stored books were always read.
constexpr std::size_t kDesordenFirstCheck = 15;

using Slot = std::array<unsigned char, kSlotSize>;

// Record count of a book of `size` bytes; a shorter tail is no record.
inline uint64_t record_count(uint64_t size) { return size / kSlotSize; }
// REQUIRES: n >= 1. Where record n starts.
inline uint64_t slot_offset(int64_t n) { return static_cast<uint64_t>(n - 1) * kSlotSize; }

// Writing. Length problems ("error de longitud en nombre", ...) are appended
// to `messages`; the engine prints them without line breaks.
Slot write_slot(const KeyRecord& r, std::vector<std::string>& messages);

// Reading. `bytes` holds `available` bytes of the slot; bytes past the end
// of a short slot read as NUL. Reading problems ("Error en Lectura",
// "Error en conversion") are appended to `messages` in the order they arise;
// the engine prints each on a line of its own. Only the eight key-record
// fields of `r` are set.
void read_slot(const unsigned char* bytes, std::size_t available, KeyRecord& r,
               std::vector<std::string>& messages);

// The deletion marker: 704 bytes 'n' and a NUL.
Slot deleted_slot();
// Record selection takes a slot whose first three bytes are 'n' as deleted.
bool looks_deleted(const unsigned char* bytes, std::size_t available);
// The free-slot search wants all of the first 704 bytes to be 'n'.
bool is_free_slot(const unsigned char* bytes, std::size_t available);

// The raw dump of a slot: its bytes field by field, one row per field (13
// rows), each cut where the `available` bytes end.
std::vector<std::string_view> slot_rows(const unsigned char* bytes, std::size_t available);

// The record view, shown when a record is selected or entered: a line per
// field ("\nNombre de la Clave Maestra: ...", "\nclave1: ...", the engorde
// with no decimals, the desorden with three), ending with a newline.
std::string record_view(const KeyRecord& r);

// The desorden as the user typed it, rebuilt from its digits, sign and point
// position: -12.5 reads back as "-12.50000000".
std::string desorden_text(const KeyRecord& r);

}  // namespace qvx
