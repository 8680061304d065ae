#include "io/standard.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace qvx::standard {
namespace {

constexpr std::size_t kMaxCall = std::size_t{1} << 30;

bool g_dash_output = false;

}  // namespace

void serve_dash_output(bool on) {
  if (on) set_binary(kOutput);
  g_dash_output = on;
}

bool serves_dash_output(const char* path) { return g_dash_output && path && std::strcmp(path, "-") == 0; }

#if defined(_WIN32)

bool is_terminal(int fd) { return ::_isatty(fd) != 0; }
void set_binary(int fd) { ::_setmode(fd, _O_BINARY); }

std::size_t read_some(int fd, unsigned char* dst, std::size_t n, bool& failed) {
  const int got = ::_read(fd, dst, static_cast<unsigned>(std::min(n, kMaxCall)));
  if (got < 0) failed = true;
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

bool write_all(int fd, const unsigned char* src, std::size_t n) {
  while (n > 0) {
    const int put = ::_write(fd, src, static_cast<unsigned>(std::min(n, kMaxCall)));
    if (put <= 0) return false;
    src += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

#else

bool is_terminal(int fd) { return ::isatty(fd) != 0; }
void set_binary(int) {}

std::size_t read_some(int fd, unsigned char* dst, std::size_t n, bool& failed) {
  for (;;) {
    const ssize_t got = ::read(fd, dst, std::min(n, kMaxCall));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failed = true;
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }
}

bool write_all(int fd, const unsigned char* src, std::size_t n) {
  while (n > 0) {
    const ssize_t put = ::write(fd, src, std::min(n, kMaxCall));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    src += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

#endif

}  // namespace qvx::standard
