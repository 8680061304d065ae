#include "console/console.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <iostream>

#include "platform/system.h"

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
bool output_is_terminal() { return g_out == nullptr && qvx::sys::stdout_is_terminal(); }

}  // namespace

void cls() {
  if (output_is_terminal()) {
    out() << "\x1b[H\x1b[2J";
    out().flush();
  }
}

}  // namespace con
