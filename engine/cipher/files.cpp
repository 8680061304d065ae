#include "cipher/files.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qvx {
namespace files {
namespace {

constexpr std::size_t kZeroBlock = 64 * 1024;

constexpr std::array<unsigned char, kZeroBlock> kZeros = [] {
  std::array<unsigned char, kZeroBlock> a{};
  for (auto& c : a) c = '0';
  return a;
}();

// Writes are split so one call never exceeds what every platform accepts.
constexpr std::size_t kMaxCall = std::size_t{1} << 30;

}  // namespace

#if !defined(_WIN32)

bool identity(const char* path, Identity& id) {
  struct stat st;
  if (!path || ::stat(path, &st) != 0) return false;
  id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  return true;
}

bool identity(int fd, Identity& id) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return false;
  id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  return true;
}

int open_regular(const char* path, uint64_t& size) {
  if (!path) return -1;
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  size = static_cast<uint64_t>(st.st_size);
  if (size == 0) {
    // Kernel files measure 0 and still hold text: their size is no size.
    unsigned char probe;
    if (::pread(fd, &probe, 1, 0) > 0) {
      ::close(fd);
      return -1;
    }
  }
  return fd;
}

int open_output(const char* path) {
  if (!path) return -1;
  return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
}

bool opens(const char* path) {
  if (!path) return false;
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::size_t read_at(int fd, unsigned char* dst, std::size_t n, uint64_t offset, bool& failed) {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = ::pread(fd, dst + done, std::min(n - done, kMaxCall), static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failed = true;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

std::size_t write_at(int fd, const unsigned char* src, std::size_t n, uint64_t offset) {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t put = ::pwrite(fd, src + done, std::min(n - done, kMaxCall), static_cast<off_t>(offset + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    done += static_cast<std::size_t>(put);
  }
  return done;
}

bool truncate(int fd, uint64_t size) { return ::ftruncate(fd, static_cast<off_t>(size)) == 0; }
bool sync(int fd) { return ::fsync(fd) == 0; }

bool size_of(int fd, uint64_t& size) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

int duplicate(int fd) { return ::fcntl(fd, F_DUPFD_CLOEXEC, 0); }
void close(int fd) {
  if (fd >= 0) ::close(fd);
}

#else  // Windows: the C runtime's descriptors

bool identity(const char* path, Identity& id) {
  // Without inode numbers, the full path stands in for the file.
  if (!path) return false;
  char full[32768];
  if (!::_fullpath(full, path, sizeof full)) return false;
  struct _stat64 st;
  if (::_stat64(full, &st) != 0) return false;
  uint64_t h = 1469598103934665603ull;
  for (const char* p = full; *p; ++p) {
    const char c = (*p >= 'A' && *p <= 'Z') ? static_cast<char>(*p - 'A' + 'a') : (*p == '/' ? '\\' : *p);
    h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  id = {static_cast<uint64_t>(st.st_dev), h};
  return true;
}

bool identity(int, Identity&) { return false; }

int open_regular(const char* path, uint64_t& size) {
  if (!path) return -1;
  const int fd = ::_open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) return -1;
  struct _stat64 st;
  if (::_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFREG) == 0) {
    ::_close(fd);
    return -1;
  }
  size = static_cast<uint64_t>(st.st_size);
  return fd;
}

int open_output(const char* path) {
  if (!path) return -1;
  return ::_open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

bool opens(const char* path) {
  if (!path) return false;
  const int fd = ::_open(path, _O_RDONLY | _O_BINARY);
  if (fd < 0) return false;
  ::_close(fd);
  return true;
}

std::size_t read_at(int fd, unsigned char* dst, std::size_t n, uint64_t offset, bool& failed) {
  if (::_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) < 0) {
    failed = true;
    return 0;
  }
  std::size_t done = 0;
  while (done < n) {
    const int got = ::_read(fd, dst + done, static_cast<unsigned>(std::min(n - done, kMaxCall)));
    if (got < 0) failed = true;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

std::size_t write_at(int fd, const unsigned char* src, std::size_t n, uint64_t offset) {
  if (::_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) < 0) return 0;
  std::size_t done = 0;
  while (done < n) {
    const int put = ::_write(fd, src + done, static_cast<unsigned>(std::min(n - done, kMaxCall)));
    if (put <= 0) break;
    done += static_cast<std::size_t>(put);
  }
  return done;
}

bool truncate(int fd, uint64_t size) { return ::_chsize_s(fd, static_cast<long long>(size)) == 0; }
bool sync(int fd) { return ::_commit(fd) == 0; }

bool size_of(int fd, uint64_t& size) {
  struct _stat64 st;
  if (::_fstat64(fd, &st) != 0) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

int duplicate(int fd) { return ::_dup(fd); }
void close(int fd) {
  if (fd >= 0) ::_close(fd);
}

#endif

bool overwrite(int fd) {
  uint64_t left = 0;
  if (!size_of(fd, left)) return false;
  uint64_t at = 0;
  while (left > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(left, kZeros.size()));
    if (write_at(fd, kZeros.data(), n, at) != n) return false;
    at += n;
    left -= n;
  }
  return sync(fd);
}

bool cut_to_one_byte(int fd) {
  static const unsigned char zero = '0';
  return truncate(fd, 0) && write_at(fd, &zero, 1, 0) == 1 && sync(fd);
}

}  // namespace files

namespace held {
namespace {

// The registered files, read lock-free by the stop-signal handler.
constexpr int kSlots = 4;
std::atomic<HeldFile*> g_held[kSlots] = {};
static_assert(std::atomic<HeldFile*>::is_always_lock_free);

// A part of a name that nobody can work out from what they can see.
std::string unguessable() {
  unsigned char raw[8] = {};
#if defined(_WIN32)
  std::random_device rd;
  for (auto& b : raw) b = static_cast<unsigned char>(rd());
#else
  if (::getrandom(raw, sizeof raw, 0) != static_cast<ssize_t>(sizeof raw)) {
    std::random_device rd;
    for (auto& b : raw) b = static_cast<unsigned char>(rd());
  }
#endif
  static const char hex[] = "0123456789abcdef";
  std::string s;
  for (unsigned char b : raw) {
    s += hex[b >> 4];
    s += hex[b & 15];
  }
  return s;
}

#if !defined(_WIN32)
// What a run's own file must be: a plain file, ours, with no other name.
bool private_and_plain(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == ::geteuid();
}

bool lock(int fd, bool wait) {
  for (;;) {
    if (::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)) == 0) return true;
    if (errno != EINTR) return false;
  }
}

bool same_name(const HeldFile& f, int fd) {
  files::Identity now, opened;
  return files::identity(f.name.c_str(), now) && files::identity(fd, opened) && now == opened;
}

bool adopt(HeldFile& f, int fd) {
  f.fd = fd;
  f.named = true;
  return files::identity(fd, f.id);
}
#endif

}  // namespace

void add(HeldFile& f) {
  for (auto& slot : g_held) {
    HeldFile* empty = nullptr;
    if (slot.compare_exchange_strong(empty, &f)) return;
  }
}

void remove(HeldFile& f) {
  for (auto& slot : g_held) {
    HeldFile* mine = &f;
    slot.compare_exchange_strong(mine, nullptr);
  }
}

HeldFile* find(const char* name) {
  if (!name) return nullptr;
  for (auto& slot : g_held)
    if (HeldFile* f = slot.load(); f && f->name == name) return f;
  return nullptr;
}

bool holds(const char* path) {
  files::Identity id;
  if (!files::identity(path, id)) return false;
  for (auto& slot : g_held)
    if (HeldFile* f = slot.load(); f && f->fd >= 0 && f->named && f->id == id) return true;
  return false;
}

void wipe_all_quietly() {
  for (auto& slot : g_held) {
    HeldFile* f = slot.load();
    if (!f || f->fd < 0) continue;
    files::overwrite(f->fd);
    files::cut_to_one_byte(f->fd);
    if (f->named) {
      files::Identity now;
      if (files::identity(f->name.c_str(), now) && now == f->id) {
#if defined(_WIN32)
        ::_unlink(f->name.c_str());
#else
        ::unlink(f->name.c_str());
#endif
      }
    }
  }
}

#if !defined(_WIN32)

Claim claim_work_file(HeldFile& f, const std::function<void()>& waiting) {
  bool told = false;
  for (;;) {
    const int fd = ::open(f.name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0) return (errno == ELOOP || errno == EISDIR || errno == ENXIO) ? Claim::unsafe : Claim::failed;
    if (!private_and_plain(fd)) {
      ::close(fd);
      return Claim::unsafe;
    }
    if (!lock(fd, false)) {
      if (!told && waiting) waiting();
      told = true;
      if (!lock(fd, true)) {
        ::close(fd);
        return Claim::failed;
      }
    }
    // The run we waited for may have removed the file we locked: only the
    // file the name refers to now is ours to use.
    if (!same_name(f, fd) || !private_and_plain(fd)) {
      ::close(fd);
      continue;
    }
    ::fchmod(fd, 0600);
    uint64_t left = 0;
    if (files::size_of(fd, left) && left > 0) files::overwrite(fd);
    return adopt(f, fd) ? Claim::ok : Claim::failed;
  }
}

bool reclaim(HeldFile& f) {
  const int fd = ::open(f.name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  if (!lock(fd, false)) {
    ::close(fd);
    return false;
  }
  files::close(f.retired);
  f.retired = f.fd;
  return adopt(f, fd);
}

bool create_temporary(HeldFile& f, const std::string& dir) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string name = dir.empty() ? std::string() : dir;
    if (!name.empty() && name.back() != '/') name += '/';
    name += "qvx03-" + unguessable() + ".qvx";
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    f.name = name;
    return adopt(f, fd);
  }
  return false;
}

bool unlink_name(HeldFile& f) {
  if (!f.named) return true;
  if (!same_name(f, f.fd)) return false;
  if (::unlink(f.name.c_str()) != 0) return false;
  f.named = false;
  return true;
}

#else

Claim claim_work_file(HeldFile& f, const std::function<void()>&) {
  const int fd = ::_sopen(f.name.c_str(), _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT, _SH_DENYRW,
                          _S_IREAD | _S_IWRITE);
  if (fd < 0) return Claim::failed;
  struct _stat64 st;
  if (::_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFREG) == 0) {
    ::_close(fd);
    return Claim::unsafe;
  }
  if (st.st_size > 0) files::overwrite(fd);
  f.fd = fd;
  f.named = true;
  files::identity(f.name.c_str(), f.id);
  return Claim::ok;
}

bool reclaim(HeldFile& f) {
  const int fd = ::_sopen(f.name.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _SH_DENYRW,
                          _S_IREAD | _S_IWRITE);
  if (fd < 0) return false;
  files::close(f.retired);
  f.retired = f.fd;
  f.fd = fd;
  f.named = true;
  return true;
}

bool create_temporary(HeldFile& f, const std::string& dir) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string name = dir;
    if (!name.empty() && name.back() != '/' && name.back() != '\\') name += '\\';
    name += "qvx03-" + std::to_string(::_getpid()) + "-" + unguessable() + ".qvx";
    const int fd = ::_sopen(name.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _SH_DENYRW,
                            _S_IREAD | _S_IWRITE);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    f.name = name;
    f.fd = fd;
    f.named = true;
    files::identity(name.c_str(), f.id);
    return true;
  }
  return false;
}

bool unlink_name(HeldFile& f) {
  // Windows removes an open file's name only once every handle is closed.
  if (!f.named) return true;
  files::close(f.fd);
  f.fd = -1;
  if (::_unlink(f.name.c_str()) != 0) return false;
  f.named = false;
  return true;
}

#endif

void release(HeldFile& f) {
  remove(f);
  files::close(f.fd);
  files::close(f.retired);
  f.fd = f.retired = -1;
  f.named = false;
}

}  // namespace held
}  // namespace qvx
