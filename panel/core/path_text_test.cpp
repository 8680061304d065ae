#include "path_text.h"

#include <gtest/gtest.h>

namespace qvxpanel {
namespace {

TEST(PathText, LatinOneStaysOneByteAndAnyCharacterComesBack) {
  // Latin-1 texts read as they always did, a byte at a time.
  EXPECT_EQ(path_wide("Z:\\a\xF1o\xBF"), L"Z:\\a\u00F1o\u00BF");
  EXPECT_EQ(path_text(L"a\u00F1o"), "a\xF1o");
  // Beyond Latin-1: the UTF-8 sequence, in both directions.
  const std::wstring wide = L"plain-\u0142-\u20AC-\U0001F600.bin";
  const std::string text = path_text(wide);
  EXPECT_EQ(text, "plain-\xC5\x82-\xE2\x82\xAC-\xF0\x9F\x98\x80.bin");
  EXPECT_EQ(path_wide(text), wide);
  // Sequences path_text never writes (Latin-1 in UTF-8, overlong, surrogate,
  // cut short) stay bytes; so every byte string survives the way back.
  for (std::string bytes : {std::string("\xC3\xA9\xC0\x80\xE0\x80\x80\xED\xA0\x80\xC5"), std::string("\xF1\xBA")}) {
    EXPECT_EQ(path_wide(bytes).size(), bytes.size()) << bytes;
    EXPECT_EQ(path_text(path_wide(bytes)), bytes);
  }
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(path_text(path_wide(all)), all);
  EXPECT_EQ(path_text(std::wstring(1, static_cast<wchar_t>(0xDC00))), "?");
}

}  // namespace
}  // namespace qvxpanel
