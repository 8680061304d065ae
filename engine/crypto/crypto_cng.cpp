// The Windows build: CNG (bcrypt.dll, a system DLL), randomness from
// BCryptGenRandom with the system's preferred generator.
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <vector>

#include "crypto/crypto.h"

namespace qvx::crypto {
namespace {

bool succeeded(NTSTATUS s) { return s >= 0; }

// CNG takes lengths as ULONG: long pieces go in several calls.
constexpr std::size_t kMaxPiece = 1u << 30;

}  // namespace

struct Hash::State {
  BCRYPT_ALG_HANDLE alg = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  std::vector<unsigned char> object;  // the hash object's memory, ours to give
  bool ok = true;
  ~State() {
    if (hash) BCryptDestroyHash(hash);
    if (alg) BCryptCloseAlgorithmProvider(alg, 0);
  }
};

Hash::Hash(std::unique_ptr<State> s) : s_(std::move(s)) {}
Hash::Hash(Hash&&) noexcept = default;
Hash& Hash::operator=(Hash&&) noexcept = default;
Hash::~Hash() = default;

namespace {

std::unique_ptr<Hash::State> opened(const unsigned char* key, std::size_t n, bool keyed) {
  auto s = std::make_unique<Hash::State>();
  DWORD length = 0, got = 0;
  s->ok = n <= kMaxPiece &&
          succeeded(BCryptOpenAlgorithmProvider(&s->alg, BCRYPT_SHA256_ALGORITHM, nullptr,
                                                keyed ? BCRYPT_ALG_HANDLE_HMAC_FLAG : 0)) &&
          succeeded(BCryptGetProperty(s->alg, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&length),
                                      sizeof length, &got, 0));
  if (s->ok) {
    s->object.resize(length);
    static unsigned char empty = 0;
    s->ok = succeeded(BCryptCreateHash(s->alg, &s->hash, s->object.data(), length,
                                       keyed ? (n ? const_cast<PUCHAR>(key) : &empty) : nullptr,
                                       keyed ? static_cast<ULONG>(n) : 0, 0));
  }
  return s;
}

}  // namespace

Hash Hash::sha256() { return Hash(opened(nullptr, 0, false)); }

Hash Hash::hmac_sha256(const unsigned char* key, std::size_t n) { return Hash(opened(key, n, true)); }

void Hash::update(const unsigned char* data, std::size_t n) {
  while (s_->ok && n > 0) {
    const std::size_t m = std::min(n, kMaxPiece);
    s_->ok = succeeded(BCryptHashData(s_->hash, const_cast<PUCHAR>(data), static_cast<ULONG>(m), 0));
    data += m;
    n -= m;
  }
}

bool Hash::finish(HashValue& out) {
  out.fill(0);
  s_->ok = s_->ok && succeeded(BCryptFinishHash(s_->hash, out.data(), static_cast<ULONG>(out.size()), 0));
  if (!s_->ok) out.fill(0);
  return s_->ok;
}

bool pbkdf2_sha256(const unsigned char* password, std::size_t password_size, const unsigned char* salt,
                   std::size_t salt_size, uint32_t iterations, unsigned char* out, std::size_t out_size) {
  if (password_size > kMaxPiece || salt_size > kMaxPiece || out_size > kMaxPiece || iterations == 0) return false;
  BCRYPT_ALG_HANDLE prf = nullptr;
  if (!succeeded(BCryptOpenAlgorithmProvider(&prf, BCRYPT_SHA256_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG)))
    return false;
  const bool ok = succeeded(BCryptDeriveKeyPBKDF2(prf, const_cast<PUCHAR>(password), static_cast<ULONG>(password_size),
                                                  const_cast<PUCHAR>(salt), static_cast<ULONG>(salt_size), iterations,
                                                  out, static_cast<ULONG>(out_size), 0));
  BCryptCloseAlgorithmProvider(prf, 0);
  return ok;
}

bool random_bytes(unsigned char* out, std::size_t n) {
  while (n > 0) {
    const std::size_t m = std::min(n, kMaxPiece);
    if (!succeeded(BCryptGenRandom(nullptr, out, static_cast<ULONG>(m), BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
      return false;
    out += m;
    n -= m;
  }
  return true;
}

}  // namespace qvx::crypto
