// The check file that --check writes beside an encoded file, and the key of
// its MAC. Decoding computes the MAC again over what it produces: a
// mismatch says that the key record, the texts or the confirmation file are
// not those of the encoding, or that the encoded file was changed.
//
// Layout, 55 bytes:
//   0  "QVXCHK"              format tag
//   6  version               1
//   7  salt                 16 random bytes, new for every encoding
//   23 MAC                   HMAC-SHA-256 of the plain data, 32 bytes
// Version 1 derives the MAC key as
//   PBKDF2-HMAC-SHA-256(SHA-256(material), salt, 100000 iterations, 32 bytes)
// where the material is every input that decoding needs, each framed by a
// kind byte and, for a given item, its length as 8 bytes little endian (see
// Material). The iterations make each guess of a text against a check file
// cost as much as about a hundred thousand MACs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "crypto/crypto.h"

namespace qvx::check {

// The check file of an encoded file `x` is `x` followed by this.
inline constexpr std::string_view kSuffix = ".qvxchk";

inline constexpr std::string_view kTag = "QVXCHK";
constexpr unsigned char kVersion = 1;
constexpr std::size_t kSaltSize = 16;
constexpr std::size_t kFileSize = kTag.size() + 1 + kSaltSize + crypto::kHashSize;
constexpr uint32_t kIterations = 100000;

using Salt = std::array<unsigned char, kSaltSize>;
using FileBytes = std::array<unsigned char, kFileSize>;

struct CheckFile {
  Salt salt{};
  crypto::HashValue mac{};
};

FileBytes serialize(const CheckFile& f);
// False when `bytes` is not a check file of a version this program reads
// (wrong size, tag or version).
bool parse(const unsigned char* bytes, std::size_t n, CheckFile& out);

// Compares two MACs in time that does not depend on where they differ.
bool same_mac(const crypto::HashValue& a, const crypto::HashValue& b);

// Everything decoding needs, fed in one fixed order. Each item is framed,
// so two different lists of items never make the same stream.
class Material {
 public:
  Material();
  // A given item: a text, the record's slot.
  void item(std::string_view bytes);
  // An item that is not given (a text left to its default, no file).
  void absent();
  // A given item fed in pieces: its size first, then exactly that many
  // bytes through `more`.
  void begin_item(uint64_t size);
  void more(const unsigned char* data, std::size_t n);
  // The MAC key for `salt`; false when the library failed.
  // REQUIRES: called once, after the last item.
  bool key(const Salt& salt, crypto::HashValue& out);

 private:
  crypto::Hash digest_;
};

}  // namespace qvx::check
