// SHA-256, HMAC-SHA-256, PBKDF2 and random bytes, taken from the system's
// own cryptographic library: libcrypto (OpenSSL) on Linux, CNG (bcrypt.dll)
// on Windows. Nothing here computes a hash itself; CMake builds one of
// crypto_openssl.cpp and crypto_cng.cpp. Both give the same bytes, so a check
// file written by one build verifies with the other.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace qvx::crypto {

constexpr std::size_t kHashSize = 32;
using HashValue = std::array<unsigned char, kHashSize>;

// A SHA-256 or HMAC-SHA-256 value computed from data fed in pieces.
class Hash {
 public:
  static Hash sha256();
  // REQUIRES: `key` holds `n` bytes (any length).
  static Hash hmac_sha256(const unsigned char* key, std::size_t n);
  Hash(Hash&&) noexcept;
  Hash& operator=(Hash&&) noexcept;
  ~Hash();

  void update(const unsigned char* data, std::size_t n);
  // Returns false when the library failed at any point since the start
  // (`out` is then all zeros). REQUIRES: called once.
  bool finish(HashValue& out);

  struct State;  // the library's context, defined by each build
  explicit Hash(std::unique_ptr<State> s);

 private:
  std::unique_ptr<State> s_;
};

// PBKDF2 with HMAC-SHA-256; false when the library failed.
bool pbkdf2_sha256(const unsigned char* password, std::size_t password_size, const unsigned char* salt,
                   std::size_t salt_size, uint32_t iterations, unsigned char* out, std::size_t out_size);

// Bytes from the operating system's random source (getrandom,
// BCryptGenRandom); false when it failed.
bool random_bytes(unsigned char* out, std::size_t n);

}  // namespace qvx::crypto
