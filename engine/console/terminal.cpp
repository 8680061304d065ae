#include "console/terminal.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>

#include "console/progress.h"

#if !defined(_WIN32)
#include <clocale>
#include <langinfo.h>
#include <strings.h>
#include <unistd.h>
#endif

namespace con {
namespace {

// How many bytes the UTF-8 character led by `b` takes; 0 when `b` leads none.
int lead_length(unsigned char b) {
  if (b >= 0xC2 && b <= 0xDF) return 2;
  if (b >= 0xE0 && b <= 0xEF) return 3;
  if (b >= 0xF0 && b <= 0xF4) return 4;
  return 0;
}

// Whether `b` may be byte `i` (1 to 3) of the character led by `lead`: the
// second byte also rules out overlong forms, surrogates and code points
// past U+10FFFF.
bool follows(unsigned char lead, int i, unsigned char b) {
  if (i == 1) {
    if (lead == 0xE0) return b >= 0xA0 && b <= 0xBF;
    if (lead == 0xED) return b >= 0x80 && b <= 0x9F;
    if (lead == 0xF0) return b >= 0x90 && b <= 0xBF;
    if (lead == 0xF4) return b >= 0x80 && b <= 0x8F;
  }
  return b >= 0x80 && b <= 0xBF;
}

// Standard output on a terminal. Everything is held here until a flush (the
// console flushes at every end of line and before every prompt); then a
// progress line on the same screen is taken off and the text goes out at once.
class TerminalOut final : public std::streambuf {
 public:
  TerminalOut(std::streambuf* to, bool utf8) : to_(to), utf8_(utf8) { setp(buf_, buf_ + sizeof buf_); }

 protected:
  int_type overflow(int_type c) override {
    if (!drain(false)) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override { return drain(true) ? 0 : -1; }

 private:
  bool drain(bool final) {
    const std::size_t n = static_cast<std::size_t>(pptr() - pbase());
    if (n == 0) return true;
    progress::erase();
    std::size_t used = n;
    bool ok;
    if (utf8_) {
      shown_.clear();
      used = latin1_for_terminal(std::string_view(pbase(), n), shown_, final);
      ok = to_->sputn(shown_.data(), static_cast<std::streamsize>(shown_.size())) ==
           static_cast<std::streamsize>(shown_.size());
    } else {
      ok = to_->sputn(pbase(), static_cast<std::streamsize>(n)) == static_cast<std::streamsize>(n);
    }
    // Out now, before a progress line can be drawn again.
    ok = to_->pubsync() == 0 && ok;
    // An unfinished character (at most three bytes) waits for the rest.
    const std::size_t rest = n - used;
    std::memmove(buf_, pbase() + used, rest);
    setp(buf_, buf_ + sizeof buf_);
    pbump(static_cast<int>(rest));
    return ok;
  }

  std::streambuf* to_;
  bool utf8_;
  char buf_[4096];
  std::string shown_;
};

// Standard input from a UTF-8 terminal, handed on one Latin-1 character at
// a time. A character that Latin-1 lacks becomes '?'; a lone byte that is
// no UTF-8 at all (a Latin-1 keyboard) is taken as it is.
class TerminalIn final : public std::streambuf {
 public:
  explicit TerminalIn(std::streambuf* from) : from_(from) {}

 protected:
  int_type underflow() override {
    const int_type c = from_->sbumpc();
    if (traits_type::eq_int_type(c, traits_type::eof())) return c;
    unsigned char b = static_cast<unsigned char>(c);
    if (b >= 0x80) b = rest_of(b);
    ch_ = static_cast<char>(b);
    setg(&ch_, &ch_, &ch_ + 1);
    return traits_type::to_int_type(ch_);
  }

 private:
  unsigned char rest_of(unsigned char lead) {
    const int len = lead_length(lead);
    char32_t code = lead & (len == 2 ? 0x1F : len == 3 ? 0x0F : 0x07);
    int k = 1;
    for (; k < len; ++k) {
      const int_type c = from_->sgetc();
      if (traits_type::eq_int_type(c, traits_type::eof()) || !follows(lead, k, static_cast<unsigned char>(c)))
        break;
      from_->sbumpc();
      code = (code << 6) | (static_cast<unsigned char>(c) & 0x3F);
    }
    if (k == 1) return lead;
    if (k < len || code > 0xFF) return '?';
    return static_cast<unsigned char>(code);
  }

  std::streambuf* from_;
  char ch_ = 0;
};

}  // namespace

std::size_t latin1_for_terminal(std::string_view in, std::string& out, bool final) {
  std::size_t i = 0;
  while (i < in.size()) {
    const unsigned char b = static_cast<unsigned char>(in[i]);
    if (b < 0x80) {
      out.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    const int len = lead_length(b);
    int k = 1;
    while (k < len && i + k < in.size() && follows(b, k, static_cast<unsigned char>(in[i + k]))) ++k;
    if (len != 0 && k == len) {
      out.append(in.substr(i, static_cast<std::size_t>(len)));
      i += static_cast<std::size_t>(len);
      continue;
    }
    if (len != 0 && i + k == in.size() && !final) break;
    out.push_back(static_cast<char>(0xC0 | (b >> 6)));
    out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
    ++i;
  }
  return i;
}

bool terminal_wants_utf8() {
#if defined(_WIN32)
  return false;
#else
  if (const char* asked = std::getenv("QVX_CHARSET")) {
    for (const char* latin1 : {"latin1", "latin-1", "iso-8859-1", "iso8859-1"})
      if (strcasecmp(asked, latin1) == 0) return false;
  }
  bool utf8 = false;
  if (std::setlocale(LC_CTYPE, "")) {
    const char* set = nl_langinfo(CODESET);
    utf8 = set && (strcasecmp(set, "UTF-8") == 0 || strcasecmp(set, "UTF8") == 0);
  }
  // The engine's own byte handling (blanks, digits) stays the C library's.
  std::setlocale(LC_CTYPE, "C");
  return utf8;
#endif
}

void attach_terminal() {
#if !defined(_WIN32)
  const bool utf8 = terminal_wants_utf8();
  // Never freed: the standard streams use them until the very end.
  if (::isatty(STDOUT_FILENO)) std::cout.rdbuf(new TerminalOut(std::cout.rdbuf(), utf8));
  // Error lines, and all of a run's text when its data goes to standard output.
  if (::isatty(STDERR_FILENO)) std::cerr.rdbuf(new TerminalOut(std::cerr.rdbuf(), utf8));
  if (utf8 && ::isatty(STDIN_FILENO)) std::cin.rdbuf(new TerminalIn(std::cin.rdbuf()));
#endif
}

}  // namespace con
