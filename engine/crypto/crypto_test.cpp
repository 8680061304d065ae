// Known answers from the algorithms' own test vectors: they catch a build
// whose library calls are wired to the wrong algorithm, key or length.
#include "crypto/crypto.h"

#include <gtest/gtest.h>

#include <string>

namespace qvx::crypto {
namespace {

std::string hex(const unsigned char* b, std::size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (std::size_t i = 0; i < n; ++i) {
    s += digits[b[i] >> 4];
    s += digits[b[i] & 15];
  }
  return s;
}

const unsigned char* bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

std::string value_of(Hash h, const std::string& data) {
  // In three uneven pieces: the value must not depend on how data arrives.
  const std::size_t a = data.size() / 3, b = data.size() / 2;
  h.update(bytes(data), a);
  h.update(bytes(data) + a, b - a);
  h.update(bytes(data) + b, data.size() - b);
  HashValue v;
  EXPECT_TRUE(h.finish(v));
  return hex(v.data(), v.size());
}

TEST(Crypto, Sha256AndHmacKnownAnswers) {
  EXPECT_EQ(value_of(Hash::sha256(), "abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(value_of(Hash::sha256(), ""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  const std::string jefe = "Jefe";
  EXPECT_EQ(value_of(Hash::hmac_sha256(bytes(jefe), jefe.size()), "what do ya want for nothing?"),
            "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  // A key longer than the hash's block is hashed first.
  const std::string long_key(131, '\xaa');
  EXPECT_EQ(value_of(Hash::hmac_sha256(bytes(long_key), long_key.size()),
                     "Test Using Larger Than Block-Size Key - Hash Key First"),
            "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
}

TEST(Crypto, Pbkdf2KnownAnswer) {
  unsigned char out[64];
  const std::string pw = "passwd", salt = "salt";
  ASSERT_TRUE(pbkdf2_sha256(bytes(pw), pw.size(), bytes(salt), salt.size(), 1, out, sizeof out));
  EXPECT_EQ(hex(out, sizeof out),
            "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
            "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783");
  EXPECT_FALSE(pbkdf2_sha256(bytes(pw), pw.size(), bytes(salt), salt.size(), 0, out, sizeof out));
}

TEST(Crypto, RandomBytesDiffer) {
  unsigned char a[32] = {}, b[32] = {};
  ASSERT_TRUE(random_bytes(a, sizeof a));
  ASSERT_TRUE(random_bytes(b, sizeof b));
  EXPECT_NE(hex(a, sizeof a), hex(b, sizeof b));
}

}  // namespace
}  // namespace qvx::crypto
