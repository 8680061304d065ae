#include "path_text.h"

namespace qvxpanel {
namespace {

constexpr bool kUtf16 = sizeof(wchar_t) == 2;

bool continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// The character of the UTF-8 sequence at `i` when it is one that path_text
// writes (beyond Latin-1, shortest form, no surrogate); 0 otherwise.
char32_t sequence_at(std::string_view s, std::size_t i, std::size_t& length) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const unsigned char b = at(0);
  length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
  if (b < 0xC4 || b > 0xF4 || i + length > s.size()) return 0;
  char32_t c = b & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if (!continuation(at(k))) return 0;
    c = (c << 6) | (at(k) & 0x3F);
  }
  const char32_t least = length == 2 ? 0x100 : length == 3 ? 0x800 : 0x10000;
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return c;
}

void put_utf8(std::string& out, char32_t c) {
  if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  }
  out += static_cast<char>(0x80 | (c & 0x3F));
}

}  // namespace

std::wstring path_wide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = 1;
    char32_t c = sequence_at(text, i, length);
    if (c == 0) {
      c = static_cast<unsigned char>(text[i]);
      length = 1;
    }
    i += length;
    if (kUtf16 && c >= 0x10000) {
      out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<wchar_t>(c);
    }
  }
  return out;
}

std::string path_text(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char32_t c = static_cast<char32_t>(wide[i]);
    if (kUtf16 && c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(wide[++i]) - 0xDC00);
    }
    if (c <= 0xFF)
      out += static_cast<char>(c);
    else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
      out += '?';
    else
      put_utf8(out, c);
  }
  return out;
}

std::filesystem::path file_path(const std::string& text) {
#if defined(_WIN32)
  return std::filesystem::path(path_wide(text));
#else
  return std::filesystem::path(text);
#endif
}

}  // namespace qvxpanel
