#include "console/console.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <iostream>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <io.h>
#define QVX_ISATTY _isatty
#define QVX_STDOUT_FD 1
#else
#include <unistd.h>
#define QVX_ISATTY isatty
#define QVX_STDOUT_FD STDOUT_FILENO
#endif

namespace con {
namespace {

std::istream* g_in = nullptr;
std::ostream* g_out = nullptr;

std::istream& in() { return g_in ? *g_in : std::cin; }

bool is_blank(int c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Skip blanks; false when input ended first.
bool skip_blanks() {
  std::istream& s = in();
  for (;;) {
    int c = s.peek();
    if (c == std::char_traits<char>::eof()) return false;
    if (!is_blank(c)) return true;
    s.get();
  }
}

}  // namespace

void bind(std::istream& i, std::ostream& o) {
  g_in = &i;
  g_out = &o;
}

void restore() {
  g_in = nullptr;
  g_out = nullptr;
}

std::ostream& out() { return g_out ? *g_out : std::cout; }

void eol() {
  out() << '\n';
  out().flush();
}

void line(std::string_view text) {
  eol();
  out() << text;
  eol();
}

void repeat(char c, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) out().put(c);
}

bool at_eof() {
  std::istream& s = in();
  if (!s.good()) return true;
  return s.peek() == std::char_traits<char>::eof();
}

Got word(std::string& w, std::size_t max) {
  w.clear();
  out().flush();
  if (!skip_blanks()) return Got::eof;
  std::istream& s = in();
  for (;;) {
    int c = s.peek();
    if (c == std::char_traits<char>::eof() || is_blank(c)) break;
    s.get();
    if (w.size() < max) w.push_back(static_cast<char>(c));
  }
  return Got::ok;
}

Got ch(char& c) {
  out().flush();
  if (!skip_blanks()) return Got::eof;
  c = static_cast<char>(in().get());
  return Got::ok;
}

Got number(int32_t& n) {
  out().flush();
  if (!skip_blanks()) return Got::eof;
  // The whole word is read however long it is; leading zeros are dropped as
  // they come, so a long run of them cannot hide the digits that follow.
  std::istream& s = in();
  bool first = true, negative = false, digits = false, other = false;
  int significant = 0;
  int64_t v = 0;
  for (int c = s.peek(); c != std::char_traits<char>::eof() && !is_blank(c); c = s.peek()) {
    s.get();
    if (first && (c == '+' || c == '-')) {
      negative = c == '-';
    } else if (c >= '0' && c <= '9') {
      digits = true;
      if (significant > 0 || c != '0') {
        // Eleven digits already exceed any 32-bit value; more change nothing.
        if (significant < 11) v = v * 10 + (c - '0');
        ++significant;
      }
    } else {
      other = true;
    }
    first = false;
  }
  if (negative) v = -v;
  if (!digits || other || v < INT32_MIN || v > INT32_MAX) return Got::bad;
  n = static_cast<int32_t>(v);
  return Got::ok;
}

Got real(double& d) {
  std::string w;
  if (word(w, 400) == Got::eof) return Got::eof;
  char* end = nullptr;
  double v = std::strtod(w.c_str(), &end);
  if (end == w.c_str() || *end != '\0' || !std::isfinite(v)) return Got::bad;
  d = v;
  return Got::ok;
}

void discard_line(std::size_t max) {
  out().flush();
  std::istream& s = in();
  for (std::size_t i = 0; i < max; ++i) {
    int c = s.get();
    if (c == std::char_traits<char>::eof() || c == '\n') return;
  }
}

void wait_enter() { discard_line(); }

namespace {

// The sequence goes where out() goes: only standard output can be a terminal.
bool output_is_terminal() { return g_out == nullptr && QVX_ISATTY(QVX_STDOUT_FD); }

#if defined(_WIN32)
// A Windows console is cleared through its own calls: an older one shows
// the escape sequence as text.
bool clear_console() {
  HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (h == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(h, &info)) return false;
  out().flush();
  const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
  const COORD home{0, 0};
  DWORD done = 0;
  FillConsoleOutputCharacterW(h, L' ', cells, home, &done);
  FillConsoleOutputAttribute(h, info.wAttributes, cells, home, &done);
  SetConsoleCursorPosition(h, home);
  return true;
}
#endif

}  // namespace

void cls() {
  if (!output_is_terminal()) return;
#if defined(_WIN32)
  if (clear_console()) return;
#endif
  out() << "\x1b[H\x1b[2J";
  out().flush();
}

}  // namespace con
