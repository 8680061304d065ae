#include "text.h"

namespace qvxpanel::win32 {

std::wstring widen(std::string_view latin1) {
  std::wstring out;
  out.reserve(latin1.size());
  for (char c : latin1) out += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return out;
}

std::string narrow(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (wchar_t c : wide) out += c <= 0xFF ? static_cast<char>(c) : '?';
  return out;
}

std::string to_control_lines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

std::string from_control_lines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      continue;
    }
    out += text[i];
  }
  return out;
}

}  // namespace qvxpanel::win32
