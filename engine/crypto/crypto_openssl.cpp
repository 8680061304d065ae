// The Linux build: libcrypto's EVP interface, randomness from getrandom.
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <sys/random.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "crypto/crypto.h"

namespace qvx::crypto {

struct Hash::State {
  EVP_MD_CTX* md = nullptr;   // SHA-256
  EVP_MAC_CTX* mac = nullptr; // HMAC-SHA-256
  bool ok = true;
  ~State() {
    EVP_MD_CTX_free(md);
    EVP_MAC_CTX_free(mac);
  }
};

Hash::Hash(std::unique_ptr<State> s) : s_(std::move(s)) {}
Hash::Hash(Hash&&) noexcept = default;
Hash& Hash::operator=(Hash&&) noexcept = default;
Hash::~Hash() = default;

Hash Hash::sha256() {
  auto s = std::make_unique<State>();
  s->md = EVP_MD_CTX_new();
  s->ok = s->md && EVP_DigestInit_ex(s->md, EVP_sha256(), nullptr) == 1;
  return Hash(std::move(s));
}

Hash Hash::hmac_sha256(const unsigned char* key, std::size_t n) {
  auto s = std::make_unique<State>();
  EVP_MAC* hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  s->mac = hmac ? EVP_MAC_CTX_new(hmac) : nullptr;
  EVP_MAC_free(hmac);  // the context keeps its own reference
  char digest[] = "SHA256";
  const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                               OSSL_PARAM_construct_end()};
  // A zero-length key is a valid HMAC key; libcrypto wants a non-null pointer.
  static const unsigned char kEmpty = 0;
  s->ok = s->mac && EVP_MAC_init(s->mac, n ? key : &kEmpty, n, params) == 1;
  return Hash(std::move(s));
}

void Hash::update(const unsigned char* data, std::size_t n) {
  if (!s_->ok || n == 0) return;
  s_->ok = s_->md ? EVP_DigestUpdate(s_->md, data, n) == 1 : EVP_MAC_update(s_->mac, data, n) == 1;
}

bool Hash::finish(HashValue& out) {
  out.fill(0);
  if (s_->ok && s_->md) {
    unsigned int got = 0;
    s_->ok = EVP_DigestFinal_ex(s_->md, out.data(), &got) == 1 && got == kHashSize;
  } else if (s_->ok) {
    std::size_t got = 0;
    s_->ok = EVP_MAC_final(s_->mac, out.data(), &got, out.size()) == 1 && got == kHashSize;
  }
  if (!s_->ok) out.fill(0);
  return s_->ok;
}

bool pbkdf2_sha256(const unsigned char* password, std::size_t password_size, const unsigned char* salt,
                   std::size_t salt_size, uint32_t iterations, unsigned char* out, std::size_t out_size) {
  if (password_size > INT_MAX || salt_size > INT_MAX || out_size > INT_MAX || iterations == 0 ||
      iterations > INT_MAX)
    return false;
  return PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(password), static_cast<int>(password_size), salt,
                           static_cast<int>(salt_size), static_cast<int>(iterations), EVP_sha256(),
                           static_cast<int>(out_size), out) == 1;
}

bool random_bytes(unsigned char* out, std::size_t n) {
  while (n > 0) {
    const ssize_t got = ::getrandom(out, n, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    n -= static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace qvx::crypto
