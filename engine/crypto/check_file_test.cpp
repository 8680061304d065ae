#include "crypto/check_file.h"

#include <gtest/gtest.h>

#include <string>

namespace qvx::check {
namespace {

Salt counting_salt() {
  Salt s;
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<unsigned char>(i);
  return s;
}

crypto::HashValue key_of(Material m, const Salt& salt = counting_salt()) {
  crypto::HashValue k;
  EXPECT_TRUE(m.key(salt, k));
  return k;
}

TEST(CheckFile, RoundTripAndDamage) {
  CheckFile f;
  f.salt = counting_salt();
  for (std::size_t i = 0; i < f.mac.size(); ++i) f.mac[i] = static_cast<unsigned char>(0xA0 + i);
  const FileBytes b = serialize(f);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 7), std::string("QVXCHK\x01", 7));
  CheckFile back;
  ASSERT_TRUE(parse(b.data(), b.size(), back));
  EXPECT_EQ(back.salt, f.salt);
  EXPECT_EQ(back.mac, f.mac);

  EXPECT_FALSE(parse(b.data(), b.size() - 1, back));  // cut short
  FileBytes other = b;
  other[6] = 2;  // a version we do not read
  EXPECT_FALSE(parse(other.data(), other.size(), back));
  other = b;
  other[0] = 'q';
  EXPECT_FALSE(parse(other.data(), other.size(), back));
}

TEST(CheckFile, SameMacComparesEveryByte) {
  crypto::HashValue a{}, b{};
  EXPECT_TRUE(same_mac(a, b));
  b[31] = 1;
  EXPECT_FALSE(same_mac(a, b));
}

// The key is fixed by the format: written by one build, checked by
// another (the value is PBKDF2 over the framed stream, computed apart).
TEST(CheckFile, KeyOfKnownMaterial) {
  Material m;
  m.item("ab");
  m.absent();
  m.item("");
  const crypto::HashValue k = key_of(std::move(m));
  static const char* expected = "038d2e6f1667293ac30da506c9be7900da993561581256f76e9fedbeb6de3805";
  std::string got;
  for (unsigned char c : k) got += "0123456789abcdef"[c >> 4], got += "0123456789abcdef"[c & 15];
  EXPECT_EQ(got, expected);
}

TEST(CheckFile, FramingKeepsItemsApart) {
  auto two = [](std::string_view a, std::string_view b) {
    Material m;
    m.item(a);
    m.item(b);
    return key_of(std::move(m));
  };
  EXPECT_NE(two("ab", "c"), two("a", "bc"));
  Material empty, none;
  empty.item("");
  none.absent();
  EXPECT_NE(key_of(std::move(empty)), key_of(std::move(none)));
  // Fed in pieces, the same item.
  Material pieces;
  pieces.begin_item(3);
  pieces.more(reinterpret_cast<const unsigned char*>("ab"), 2);
  pieces.more(reinterpret_cast<const unsigned char*>("c"), 1);
  pieces.item("c");
  EXPECT_EQ(key_of(std::move(pieces)), two("abc", "c"));
  Salt other = counting_salt();
  other[0] ^= 1;
  Material a, b;
  a.item("x");
  b.item("x");
  EXPECT_NE(key_of(std::move(a)), key_of(std::move(b), other));
}

}  // namespace
}  // namespace qvx::check
