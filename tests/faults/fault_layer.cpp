// A fault layer for the engine, loaded with LD_PRELOAD: it counts the file
// system calls of a run by kind and makes one chosen call fail, so that a
// driver can replay a run once per call and see how each failure ends.
//
//   QVX_FAULT_COUNTS=path   at exit, "kind count" lines for every kind
//   QVX_FAULT_TRACE=path    one line per counted call: "kind n bytes file"
//                           (the file a descriptor refers to, or the name
//                           given; so a driver can tell what each call was)
//   QVX_FAULT=kind:n:error  the n-th call (from 1) of that kind fails with
//                           errno `error` (EIO, ENOSPC, EINTR, EAGAIN, ...)
//                           or, for reads and writes, "short": it moves
//                           about half the bytes asked for
//   QVX_FAULT_SLOW=at:us    every read at offset `at` or later (of a
//                           regular file, with pread) waits `us`
//                           microseconds first: the run's second half is
//                           then read slowly, as by a busy processor
//
// Reads and writes count only on regular files other than the standard
// streams (the console is not what is tested here). The call that fails
// does nothing, except close, which releases the descriptor as Linux does.
// Only calls made through the dynamic symbols are seen: what the C library
// does inside itself (stdio's buffered reads) is not.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum Kind { kRead, kWrite, kFsync, kTruncate, kRename, kUnlink, kOpen, kClose, kLink, kLock, kKinds };
const char* const kKindNames[kKinds] = {"read", "write", "fsync",  "ftruncate", "rename",
                                        "unlink", "open", "close", "linkat",    "flock"};

struct ErrorName {
  const char* name;
  int value;
};
const ErrorName kErrors[] = {{"EIO", EIO},       {"ENOSPC", ENOSPC}, {"EINTR", EINTR}, {"EAGAIN", EAGAIN},
                             {"EACCES", EACCES}, {"EDQUOT", EDQUOT}, {"EROFS", EROFS}, {"EMFILE", EMFILE},
                             {"EBUSY", EBUSY},   {"EPERM", EPERM},   {"EXDEV", EXDEV}, {"EOPNOTSUPP", EOPNOTSUPP},
                             {"ENOLCK", ENOLCK}};
constexpr int kShort = -1;

std::atomic<long> g_calls[kKinds];
int g_kind = -1;
long g_nth = 0;
int g_error = 0;
bool g_ready = false;
long long g_slow_at = -1;
long g_slow_us = 0;

void configure() {
  if (const char* slow = std::getenv("QVX_FAULT_SLOW")) {
    if (std::sscanf(slow, "%lld:%ld", &g_slow_at, &g_slow_us) != 2) g_slow_at = -1;
  }
  const char* plan = std::getenv("QVX_FAULT");
  if (!plan) return;
  char kind[32] = {}, error[32] = {};
  long nth = 0;
  if (std::sscanf(plan, "%31[^:]:%ld:%31s", kind, &nth, error) != 3) return;
  for (int k = 0; k < kKinds; ++k)
    if (std::strcmp(kind, kKindNames[k]) == 0) g_kind = k;
  if (std::strcmp(error, "short") == 0) g_error = kShort;
  for (const auto& e : kErrors)
    if (std::strcmp(error, e.name) == 0) g_error = e.value;
  if (g_error == 0) g_error = std::atoi(error);
  g_nth = nth;
}

template <class F>
F real(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

int g_trace = -1;

void trace(Kind k, long n, size_t bytes, const char* file) {
  static auto real_write = real<ssize_t (*)(int, const void*, size_t)>("write");
  char line[4200];
  const int len = std::snprintf(line, sizeof line, "%s %ld %zu %s\n", kKindNames[k], n, bytes, file);
  if (len > 0) real_write(g_trace, line, std::min(static_cast<size_t>(len), sizeof line - 1));
}

void start() {
  configure();
  if (const char* path = std::getenv("QVX_FAULT_TRACE")) {
    static auto real_open = real<int (*)(const char*, int, ...)>("open");
    g_trace = real_open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  }
  g_ready = true;
}

// Counts the call; true when it is the one that must fail. `file` is the
// name given, or null with `fd` for the file a descriptor refers to.
bool hit(Kind k, const char* file, int fd = -1, size_t bytes = 0) {
  if (!g_ready) start();
  const long n = ++g_calls[k];
  if (g_trace >= 0) {
    char link[4096] = "?";
    if (!file && fd >= 0) {
      char proc[64];
      std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
      const ssize_t got = ::readlink(proc, link, sizeof link - 1);
      link[got > 0 ? got : 1] = '\0';
      file = link;
    }
    trace(k, n, bytes, file ? file : "?");
  }
  return k == g_kind && n == g_nth;
}

// Sets errno for a failing call; false for "short", which the caller does.
bool fail_now() {
  if (g_error == kShort) return false;
  errno = g_error;
  return true;
}

bool regular_data_fd(int fd) {
  if (fd <= 2) return false;
  struct stat st;
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

size_t shortened(size_t n) { return n > 1 ? n / 2 : n; }

// Reads and writes: the plain call, or its failure, or half of it.
template <class Call>
ssize_t transfer(int fd, size_t n, Kind k, Call call) {
  if (regular_data_fd(fd) && hit(k, nullptr, fd, n)) {
    if (fail_now()) return -1;
    return call(shortened(n));
  }
  return call(n);
}

__attribute__((destructor)) void write_counts() {
  const char* path = std::getenv("QVX_FAULT_COUNTS");
  if (!path) return;
  static auto real_open = real<int (*)(const char*, int, ...)>("open");
  static auto real_write = real<ssize_t (*)(int, const void*, size_t)>("write");
  static auto real_close = real<int (*)(int)>("close");
  const int fd = real_open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  char line[64];
  for (int k = 0; k < kKinds; ++k) {
    const int len = std::snprintf(line, sizeof line, "%s %ld\n", kKindNames[k], g_calls[k].load());
    if (real_write(fd, line, static_cast<size_t>(len)) != len) break;
  }
  real_close(fd);
}

mode_t mode_arg(int flags, va_list ap) {
  return (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(ap, int)) : 0;
}

}  // namespace

extern "C" {

#define QVX_REAL(name, type) static auto real_##name = real<type>(#name)

ssize_t read(int fd, void* buf, size_t n) {
  QVX_REAL(read, ssize_t (*)(int, void*, size_t));
  return transfer(fd, n, kRead, [&](size_t m) { return real_read(fd, buf, m); });
}
static void slow_read(int fd, long long at) {
  if (!g_ready) start();
  if (g_slow_at >= 0 && at >= g_slow_at && regular_data_fd(fd)) ::usleep(static_cast<useconds_t>(g_slow_us));
}

ssize_t pread(int fd, void* buf, size_t n, off_t at) {
  QVX_REAL(pread, ssize_t (*)(int, void*, size_t, off_t));
  slow_read(fd, at);
  return transfer(fd, n, kRead, [&](size_t m) { return real_pread(fd, buf, m, at); });
}
ssize_t pread64(int fd, void* buf, size_t n, off64_t at) {
  QVX_REAL(pread64, ssize_t (*)(int, void*, size_t, off64_t));
  slow_read(fd, at);
  return transfer(fd, n, kRead, [&](size_t m) { return real_pread64(fd, buf, m, at); });
}
ssize_t write(int fd, const void* buf, size_t n) {
  QVX_REAL(write, ssize_t (*)(int, const void*, size_t));
  return transfer(fd, n, kWrite, [&](size_t m) { return real_write(fd, buf, m); });
}
ssize_t pwrite(int fd, const void* buf, size_t n, off_t at) {
  QVX_REAL(pwrite, ssize_t (*)(int, const void*, size_t, off_t));
  return transfer(fd, n, kWrite, [&](size_t m) { return real_pwrite(fd, buf, m, at); });
}
ssize_t pwrite64(int fd, const void* buf, size_t n, off64_t at) {
  QVX_REAL(pwrite64, ssize_t (*)(int, const void*, size_t, off64_t));
  return transfer(fd, n, kWrite, [&](size_t m) { return real_pwrite64(fd, buf, m, at); });
}

int fsync(int fd) {
  QVX_REAL(fsync, int (*)(int));
  if (hit(kFsync, nullptr, fd) && fail_now()) return -1;
  return real_fsync(fd);
}
int fdatasync(int fd) {
  QVX_REAL(fdatasync, int (*)(int));
  if (hit(kFsync, nullptr, fd) && fail_now()) return -1;
  return real_fdatasync(fd);
}
int ftruncate(int fd, off_t size) {
  QVX_REAL(ftruncate, int (*)(int, off_t));
  if (hit(kTruncate, nullptr, fd) && fail_now()) return -1;
  return real_ftruncate(fd, size);
}
int ftruncate64(int fd, off64_t size) {
  QVX_REAL(ftruncate64, int (*)(int, off64_t));
  if (hit(kTruncate, nullptr, fd) && fail_now()) return -1;
  return real_ftruncate64(fd, size);
}

int rename(const char* from, const char* to) {
  QVX_REAL(rename, int (*)(const char*, const char*));
  if (hit(kRename, from) && fail_now()) return -1;
  return real_rename(from, to);
}
int renameat(int fd1, const char* from, int fd2, const char* to) {
  QVX_REAL(renameat, int (*)(int, const char*, int, const char*));
  if (hit(kRename, from) && fail_now()) return -1;
  return real_renameat(fd1, from, fd2, to);
}
int renameat2(int fd1, const char* from, int fd2, const char* to, unsigned flags) {
  QVX_REAL(renameat2, int (*)(int, const char*, int, const char*, unsigned));
  if (hit(kRename, from) && fail_now()) return -1;
  return real_renameat2(fd1, from, fd2, to, flags);
}

int unlink(const char* path) {
  QVX_REAL(unlink, int (*)(const char*));
  if (hit(kUnlink, path) && fail_now()) return -1;
  return real_unlink(path);
}
int unlinkat(int dirfd, const char* path, int flags) {
  QVX_REAL(unlinkat, int (*)(int, const char*, int));
  if (hit(kUnlink, path) && fail_now()) return -1;
  return real_unlinkat(dirfd, path, flags);
}
int remove(const char* path) {
  QVX_REAL(remove, int (*)(const char*));
  if (hit(kUnlink, path) && fail_now()) return -1;
  return real_remove(path);
}

int link(const char* from, const char* to) {
  QVX_REAL(link, int (*)(const char*, const char*));
  if (hit(kLink, to) && fail_now()) return -1;
  return real_link(from, to);
}
int linkat(int fd1, const char* from, int fd2, const char* to, int flags) {
  QVX_REAL(linkat, int (*)(int, const char*, int, const char*, int));
  if (hit(kLink, to) && fail_now()) return -1;
  return real_linkat(fd1, from, fd2, to, flags);
}

int flock(int fd, int op) {
  QVX_REAL(flock, int (*)(int, int));
  if (hit(kLock, nullptr, fd) && fail_now()) return -1;
  return real_flock(fd, op);
}

int close(int fd) {
  QVX_REAL(close, int (*)(int));
  // Counted before it closes, while the descriptor still names its file.
  const bool fails = regular_data_fd(fd) && hit(kClose, nullptr, fd);
  const int r = real_close(fd);
  if (fails && fail_now()) return -1;
  return r;
}

// The opens, in every spelling the headers may turn a call into.
using OpenCall = int (*)(const char*, int, ...);
using OpenAtCall = int (*)(int, const char*, int, ...);

// True when this open may go ahead.
static bool may_open(const char* path) { return !(hit(kOpen, path) && fail_now()); }

#define QVX_MODE(flags)  \
  va_list ap;            \
  va_start(ap, flags);   \
  const mode_t mode = mode_arg(flags, ap); \
  va_end(ap)

int open(const char* path, int flags, ...) {
  QVX_MODE(flags);
  QVX_REAL(open, OpenCall);
  return may_open(path) ? real_open(path, flags, mode) : -1;
}
int open64(const char* path, int flags, ...) {
  QVX_MODE(flags);
  QVX_REAL(open64, OpenCall);
  return may_open(path) ? real_open64(path, flags, mode) : -1;
}
int openat(int dirfd, const char* path, int flags, ...) {
  QVX_MODE(flags);
  QVX_REAL(openat, OpenAtCall);
  return may_open(path) ? real_openat(dirfd, path, flags, mode) : -1;
}
int openat64(int dirfd, const char* path, int flags, ...) {
  QVX_MODE(flags);
  QVX_REAL(openat64, OpenAtCall);
  return may_open(path) ? real_openat64(dirfd, path, flags, mode) : -1;
}
int __open_2(const char* path, int flags) { return open(path, flags); }
int __open64_2(const char* path, int flags) { return open64(path, flags); }

}  // extern "C"
