#include "crypto/check_file.h"

#include <algorithm>
#include <cstring>

namespace qvx::check {
namespace {

constexpr unsigned char kGiven = 1;
constexpr unsigned char kAbsent = 0;
// The stream starts with a label of its own, so this key is never the key
// of something else built from the same inputs.
constexpr std::string_view kLabel = "QUORVEX check key v1";

}  // namespace

FileBytes serialize(const CheckFile& f) {
  FileBytes b{};
  auto at = std::copy(kTag.begin(), kTag.end(), b.begin());
  *at++ = kVersion;
  at = std::copy(f.salt.begin(), f.salt.end(), at);
  std::copy(f.mac.begin(), f.mac.end(), at);
  return b;
}

bool parse(const unsigned char* bytes, std::size_t n, CheckFile& out) {
  if (n != kFileSize || std::memcmp(bytes, kTag.data(), kTag.size()) != 0 || bytes[kTag.size()] != kVersion)
    return false;
  const unsigned char* at = bytes + kTag.size() + 1;
  std::copy(at, at + kSaltSize, out.salt.begin());
  std::copy(at + kSaltSize, at + kSaltSize + crypto::kHashSize, out.mac.begin());
  return true;
}

bool same_mac(const crypto::HashValue& a, const crypto::HashValue& b) {
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

Material::Material() : digest_(crypto::Hash::sha256()) {
  digest_.update(reinterpret_cast<const unsigned char*>(kLabel.data()), kLabel.size());
}

void Material::item(std::string_view bytes) {
  begin_item(bytes.size());
  more(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

void Material::absent() { digest_.update(&kAbsent, 1); }

void Material::begin_item(uint64_t size) {
  unsigned char head[9] = {kGiven};
  for (int i = 0; i < 8; ++i) head[1 + i] = static_cast<unsigned char>(size >> (8 * i));
  digest_.update(head, sizeof head);
}

void Material::more(const unsigned char* data, std::size_t n) { digest_.update(data, n); }

bool Material::key(const Salt& salt, crypto::HashValue& out) {
  crypto::HashValue password;
  const bool ok = digest_.finish(password) &&
                  crypto::pbkdf2_sha256(password.data(), password.size(), salt.data(), salt.size(), kIterations,
                                        out.data(), out.size());
  if (!ok) out.fill(0);
  return ok;
}

}  // namespace qvx::check
