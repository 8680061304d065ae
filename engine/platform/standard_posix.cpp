#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/standard.h"

namespace qvx::standard {
namespace {

constexpr std::size_t kMaxCall = std::size_t{1} << 30;

// A failed transfer worth repeating, as for files: interrupted by a
// signal, or a stream its owner made non-blocking that is not ready yet
// (a pipe can stay so for as long as the other side takes: wait for it).
bool try_again(int fd, short ready) {
  if (errno == EINTR) return true;
  if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
  pollfd p{fd, ready, 0};
  return ::poll(&p, 1, -1) >= 0 || errno == EINTR;
}

}  // namespace

bool is_terminal(int fd) { return ::isatty(fd) != 0; }
void set_binary(int) {}

std::size_t read_some(int fd, unsigned char* dst, std::size_t n, bool& failed) {
  for (;;) {
    const ssize_t got = ::read(fd, dst, std::min(n, kMaxCall));
    if (got < 0 && try_again(fd, POLLIN)) continue;
    if (got < 0) failed = true;
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }
}

bool write_all(int fd, const unsigned char* src, std::size_t n) {
  while (n > 0) {
    const ssize_t put = ::write(fd, src, std::min(n, kMaxCall));
    if (put < 0 && try_again(fd, POLLOUT)) continue;
    if (put <= 0) return false;
    src += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

}  // namespace qvx::standard
