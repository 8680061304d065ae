// The file layer on POSIX systems.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>

#include "platform/files_internal.h"

namespace qvx {
namespace files {
namespace {

// Writes are split so one call never exceeds what every platform accepts.
constexpr std::size_t kMaxCall = std::size_t{1} << 30;

}  // namespace

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

bool identity_of_name(const char* path, Identity& id) {
  struct stat st;
  if (!path || ::lstat(path, &st) != 0) return false;
  id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  return true;
}

namespace {

// By Access, in its order.
// What is appended (a printout, a new book) holds keys in the clear: never
// through a link (and, below, never into another user's file).
constexpr int kFlags[] = {O_RDONLY, O_RDWR, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW, O_WRONLY, O_WRONLY | O_TRUNC};
int flags_of(Access how) { return kFlags[static_cast<int>(how)]; }

}  // namespace

// O_NONBLOCK keeps the open of a FIFO from waiting for its other end; once
// the descriptor is known to be a regular file, blocking I/O is put back.
int open_regular(const char* path, Access how) {
  if (!path) return -1;
  const int fd = ::open(path, flags_of(how) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  struct stat st;
  const int status = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || status < 0 ||
      (how == Access::append && st.st_uid != ::geteuid()) || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::FILE* open_regular_stream(const std::string& path, Access how) {
  const int fd = open_regular(path.c_str(), how);
  if (fd < 0) return nullptr;
  std::FILE* f = ::fdopen(fd, detail::stream_mode(how));
  if (!f) ::close(fd);
  return f;
}

std::FILE* open_regular_stream(const std::filesystem::path& path, Access how) {
  return open_regular_stream(path.string(), how);
}

bool seek(std::FILE* f, uint64_t offset) { return ::fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0; }

bool size_of(std::FILE* f, uint64_t& size) {
  struct stat st;
  if (::fstat(::fileno(f), &st) != 0 || st.st_size < 0) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

int open_regular(const char* path, uint64_t& size) {
  const int fd = open_regular(path, Access::read);
  if (fd < 0) return -1;
  if (!size_of(fd, size)) {
    ::close(fd);
    return -1;
  }
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

bool create_private(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
  if (fd < 0) return false;
  ::close(fd);
  return true;
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

namespace {

// A failed call worth repeating: interrupted by a signal, or a file busy
// for a moment (never for long on a regular file, so the waits are few).
bool try_again(int& busy) {
  if (errno == EINTR) return true;
  if ((errno != EAGAIN && errno != EWOULDBLOCK) || ++busy > 1000) return false;
  ::usleep(1000);
  return true;
}

}  // namespace

std::size_t read_at(int fd, unsigned char* dst, std::size_t n, uint64_t offset, bool& failed) {
  std::size_t done = 0;
  int busy = 0;
  while (done < n) {
    const ssize_t got = ::pread(fd, dst + done, std::min(n - done, kMaxCall), static_cast<off_t>(offset + done));
    if (got < 0 && try_again(busy)) continue;
    if (got < 0) failed = true;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

std::size_t write_at(int fd, const unsigned char* src, std::size_t n, uint64_t offset) {
  std::size_t done = 0;
  int busy = 0;
  while (done < n) {
    const ssize_t put = ::pwrite(fd, src + done, std::min(n - done, kMaxCall), static_cast<off_t>(offset + done));
    if (put < 0 && try_again(busy)) continue;
    if (put <= 0) break;
    done += static_cast<std::size_t>(put);
  }
  return done;
}

bool truncate(int fd, uint64_t size) { return ::ftruncate(fd, static_cast<off_t>(size)) == 0; }
bool sync(int fd) { return ::fsync(fd) == 0; }

bool sync_folder(const std::string& dir) {
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  return close(fd) && synced;
}

bool size_of(int fd, uint64_t& size) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

int duplicate(int fd) { return ::fcntl(fd, F_DUPFD_CLOEXEC, 0); }
// Linux releases the descriptor even when close fails; it is never retried.
bool close(int fd) { return fd < 0 || ::close(fd) == 0; }

bool readable_by_others(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

bool write_protected(const std::string& path) { return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0; }

bool owned_by_another(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode) && st.st_uid != ::geteuid();
}

bool foreign(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && (S_ISLNK(st.st_mode) || st.st_uid != ::geteuid());
}

void give_mode_of(int fd, const std::string& target) {
  struct stat st;
  mode_t mode;
  if (::lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid()) {
    mode = st.st_mode & 0777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd, mode);
}

}  // namespace files

namespace held {
namespace {

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
}  // namespace

void detail::random_bytes(unsigned char* raw, std::size_t n) {
  if (::getrandom(raw, n, 0) != static_cast<ssize_t>(n)) {
    std::random_device rd;
    for (std::size_t i = 0; i < n; ++i) raw[i] = static_cast<unsigned char>(rd());
  }
}

void detail::unlink_quietly(HeldFile& f) {
  files::Identity now;
  if (files::identity(f.name.c_str(), now) && now == f.id) ::unlink(f.name.c_str());
}

Claim claim_work_file(HeldFile& f, const std::function<void()>& waiting) {
  bool told = false;
  for (;;) {
    const int fd = ::open(f.name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0) return (errno == ELOOP || errno == EISDIR || errno == ENXIO) ? Claim::unsafe : Claim::failed;
    // Its links are counted only once the lock is ours: the run that holds
    // it may remove the file at any moment, leaving it none. Kind and owner
    // cannot change meanwhile, and another user's file is refused before we
    // would wait on a lock that user may hold.
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
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
    if (!same_name(f, fd)) {
      ::close(fd);
      continue;
    }
    if (!private_and_plain(fd)) {
      ::close(fd);
      return Claim::unsafe;
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

namespace {

std::string temporary_name(const std::string& dir) {
  std::string name = dir;
  if (!name.empty() && name.back() != '/') name += '/';
  return name + detail::kTemporaryPrefix + detail::unguessable() + detail::kTemporarySuffix;
}

// How the process reaches one of its descriptors by a path, for linkat.
std::string self_path(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

}  // namespace

bool create_temporary(HeldFile& f, const std::string& dir) {
#if defined(O_TMPFILE)
  // No name, so nothing of it survives a crash; it is linked in by its
  // /proc path, which must therefore work here. Locked too, for the moment
  // it has a name before it takes the destination's: no other run may take
  // it for a stale one then.
  const int unnamed = ::open(dir.empty() ? "." : dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (unnamed >= 0 && ::faccessat(AT_FDCWD, self_path(unnamed).c_str(), F_OK, 0) == 0 && lock(unnamed, false) &&
      adopt(f, unnamed)) {
    f.name = temporary_name(dir);
    f.named = false;
    f.unnamed = true;
    return true;
  }
  if (unnamed >= 0) {
    ::close(unnamed);
    f.fd = -1;
  }
#endif
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string name = temporary_name(dir);
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    // Locked for as long as the run lives, so no other run takes it for a
    // stale one; a run cleaning up that got the lock first wipes it.
    if (!lock(fd, false)) {
      ::close(fd);
      continue;
    }
    f.name = name;
    return adopt(f, fd);
  }
  return false;
}

bool give_name(HeldFile& f, const std::string& dir) {
  if (!f.unnamed) return true;
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string name = temporary_name(dir);
    if (::linkat(AT_FDCWD, self_path(f.fd).c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      f.name = name;
      f.named = true;
      f.unnamed = false;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

void wipe_stale_temporaries(const std::string& dir) {
  for (const std::string& name : detail::temporaries_in(dir)) {
    const int fd = ::open(name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    HeldFile f;
    f.name = name;
    // Held by a living run, someone else's, or swapped meanwhile: not ours to touch.
    if (!private_and_plain(fd) || !lock(fd, false) || !same_name(f, fd) || !adopt(f, fd)) {
      ::close(fd);
      continue;
    }
    wipe_quietly(f);
    ::close(fd);
  }
}

bool rename_over(HeldFile& f, const std::string& target) {
  if (::rename(f.name.c_str(), target.c_str()) != 0) return false;
  f.named = false;
  return true;
}

bool unlink_name(HeldFile& f) {
  if (!f.named) return true;
  if (!same_name(f, f.fd)) return false;
  if (::unlink(f.name.c_str()) != 0) return false;
  f.named = false;
  return true;
}

}  // namespace held
}  // namespace qvx
