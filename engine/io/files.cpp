#if defined(_WIN32)
#define _CRT_RAND_S  // rand_s, the system's own generator; before any C runtime header
#endif
#include "io/files.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>
#include <vector>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
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

#else  // Windows: the C runtime's descriptors over handles of our own

// The transfers below use the handle itself, never the C runtime's locks,
// so that the console-stop handler can use them while the run's own thread
// stands stopped in the middle of a C runtime call.
namespace {

HANDLE os_handle(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

bool handle_identity(HANDLE h, Identity& id) {
  BY_HANDLE_FILE_INFORMATION info;
  if (h == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(h, &info)) return false;
  id = {info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  return true;
}

OVERLAPPED at_offset(uint64_t offset) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(offset);
  o.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return o;
}

constexpr DWORD kMaxTransfer = DWORD{1} << 30;

}  // namespace

bool identity(const char* path, Identity& id) {
  if (!path) return false;
  // Attributes only: no sharing conflict with a file a run holds.
  HANDLE h = ::CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = handle_identity(h, id);
  ::CloseHandle(h);
  return ok;
}

bool identity(int fd, Identity& id) { return fd >= 0 && handle_identity(os_handle(fd), id); }

int open_regular(const char* path, uint64_t& size) {
  if (!path) return -1;
  const int fd = ::_open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) return -1;
  if (::GetFileType(os_handle(fd)) != FILE_TYPE_DISK || !size_of(fd, size)) {
    ::_close(fd);
    return -1;
  }
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
  const HANDLE h = os_handle(fd);
  std::size_t done = 0;
  while (done < n) {
    OVERLAPPED o = at_offset(offset + done);
    DWORD got = 0;
    if (!::ReadFile(h, dst + done, static_cast<DWORD>(std::min<std::size_t>(n - done, kMaxTransfer)), &got, &o)) {
      if (::GetLastError() != ERROR_HANDLE_EOF) failed = true;
      break;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

std::size_t write_at(int fd, const unsigned char* src, std::size_t n, uint64_t offset) {
  const HANDLE h = os_handle(fd);
  std::size_t done = 0;
  while (done < n) {
    OVERLAPPED o = at_offset(offset + done);
    DWORD put = 0;
    if (!::WriteFile(h, src + done, static_cast<DWORD>(std::min<std::size_t>(n - done, kMaxTransfer)), &put, &o) ||
        put == 0)
      break;
    done += put;
  }
  return done;
}

bool truncate(int fd, uint64_t size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  return ::SetFileInformationByHandle(os_handle(fd), FileEndOfFileInfo, &end, sizeof end) != 0;
}

bool sync(int fd) { return ::FlushFileBuffers(os_handle(fd)) != 0; }

bool size_of(int fd, uint64_t& size) {
  LARGE_INTEGER n;
  if (!::GetFileSizeEx(os_handle(fd), &n)) return false;
  size = static_cast<uint64_t>(n.QuadPart);
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
  // Nothing to overwrite, nothing to push to the disk (a work file the run
  // kept its data away from); a sync would only wait for other files.
  if (left == 0) return true;
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
  uint64_t size = 0;
  const bool held_data = !size_of(fd, size) || size > 0;
  return truncate(fd, 0) && write_at(fd, &zero, 1, 0) == 1 && (!held_data || sync(fd));
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
  // The C runtime's std::random_device may be a fixed sequence here.
  for (auto& b : raw) {
    unsigned int r = 0;
    ::rand_s(&r);
    b = static_cast<unsigned char>(r);
  }
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

#if defined(_WIN32)
constexpr DWORD kLockPollMs = 100;

HANDLE os_handle(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

// A run's own file: shared with nobody while the run lives (the lock), with
// the right to delete it through its handle, and never through a reparse
// point (a symbolic link or a junction planted at its name).
HANDLE open_private(const std::string& name, DWORD disposition) {
  return ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE | READ_CONTROL, 0, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Owned by the user of this run, or by the owner the run's new files get
// (an elevated run's files belong to the Administrators group). A volume
// without owners (FAT) has no other user's files.
bool owned_by_us(HANDLE h) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (::GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &sd) !=
      ERROR_SUCCESS)
    return false;
  bool ours = owner == nullptr;
  HANDLE token = nullptr;
  if (!ours && ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    alignas(8) unsigned char buffer[512];
    DWORD n = 0;
    if (::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &n))
      ours = ::EqualSid(owner, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
    if (!ours && ::GetTokenInformation(token, TokenOwner, buffer, sizeof buffer, &n))
      ours = ::EqualSid(owner, reinterpret_cast<TOKEN_OWNER*>(buffer)->Owner);
    ::CloseHandle(token);
  }
  ::LocalFree(sd);
  return ours;
}

// What a run's own file must be: a plain file on a disk, ours, with no
// other name.
bool private_and_plain(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  return ::GetFileType(h) == FILE_TYPE_DISK && ::GetFileInformationByHandle(h, &info) &&
         (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
         info.nNumberOfLinks == 1 && owned_by_us(h);
}

bool adopt(HeldFile& f, HANDLE h) {
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), 0);
  if (fd < 0) {
    ::CloseHandle(h);
    return false;
  }
  f.fd = fd;
  f.named = true;
  return files::identity(fd, f.id);
}

// The file goes when its last handle closes, and no one opens it again.
// Handle calls only: the console-stop handler uses it.
bool delete_on_close(int fd) {
  FILE_DISPOSITION_INFO gone{};
  gone.DeleteFile = TRUE;
  return ::SetFileInformationByHandle(os_handle(fd), FileDispositionInfo, &gone, sizeof gone) != 0;
}
#else
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

void wipe_quietly(HeldFile& f) {
  if (f.fd < 0) return;
  files::overwrite(f.fd);
  files::cut_to_one_byte(f.fd);
  if (!f.named) return;
#if defined(_WIN32)
  delete_on_close(f.fd);
#else
  files::Identity now;
  if (files::identity(f.name.c_str(), now) && now == f.id) ::unlink(f.name.c_str());
#endif
}

void wipe_all_quietly() {
  for (auto& slot : g_held)
    if (HeldFile* f = slot.load()) wipe_quietly(*f);
}

#if !defined(_WIN32)

Claim claim_work_file(HeldFile& f, const std::function<void()>& waiting) {
  bool told = false;
  for (;;) {
    const int fd = ::open(f.name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0) return (errno == ELOOP || errno == EISDIR || errno == ENXIO) ? Claim::unsafe : Claim::failed;
    if (!private_and_plain(fd)) {
      // Opened just as the run before us removed it (no name left): the
      // name is free again, not unsafe.
      struct stat st;
      const bool removed = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 0;
      ::close(fd);
      if (removed) continue;
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

Claim claim_work_file(HeldFile& f, const std::function<void()>& waiting) {
  bool told = false;
  for (;;) {
    const DWORD attributes = ::GetFileAttributesA(f.name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
      return Claim::unsafe;
    HANDLE h = open_private(f.name, OPEN_ALWAYS);
    if (h == INVALID_HANDLE_VALUE) {
      if (::GetLastError() != ERROR_SHARING_VIOLATION) return Claim::failed;
      // Another run holds it for the whole of its run: wait for the end.
      if (!told && waiting) waiting();
      told = true;
      ::Sleep(kLockPollMs);
      continue;
    }
    if (!private_and_plain(h)) {
      ::CloseHandle(h);
      return Claim::unsafe;
    }
    if (!adopt(f, h)) return Claim::failed;
    uint64_t left = 0;
    if (files::size_of(f.fd, left) && left > 0) files::overwrite(f.fd);
    return Claim::ok;
  }
}

bool reclaim(HeldFile& f) {
  HANDLE h = open_private(f.name, CREATE_NEW);
  if (h == INVALID_HANDLE_VALUE) return false;
  files::close(f.retired);
  f.retired = f.fd;
  return adopt(f, h);
}

bool create_temporary(HeldFile& f, const std::string& dir) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string name = dir;
    if (!name.empty() && name.back() != '/' && name.back() != '\\') name += '\\';
    name += "qvx03-" + std::to_string(::_getpid()) + "-" + unguessable() + ".qvx";
    HANDLE h = open_private(name, CREATE_NEW);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD e = ::GetLastError();
      if (e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS) continue;
      return false;
    }
    f.name = name;
    return adopt(f, h);
  }
  return false;
}

bool unlink_name(HeldFile& f) {
  if (!f.named) return true;
  // The name goes with the last handle of the file itself, whatever the
  // directory says meanwhile; ours is closed now so that it goes at once.
  if (!delete_on_close(f.fd)) return false;
  files::close(f.fd);
  f.fd = -1;
  f.named = false;
  return true;
}

bool rename_to(HeldFile& f, const std::string& target) {
  const int n = ::MultiByteToWideChar(CP_ACP, 0, target.c_str(), -1, nullptr, 0);
  if (n <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, target.c_str(), -1, wide.data(), n);
  std::wstring full(32768, L'\0');
  const DWORD length = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return false;
  const std::size_t bytes = sizeof(FILE_RENAME_INFO) + length * sizeof(wchar_t);
  std::vector<unsigned char> buffer(bytes, 0);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = length * sizeof(wchar_t);
  std::copy(full.begin(), full.begin() + length, info->FileName);
  if (!::SetFileInformationByHandle(os_handle(f.fd), FileRenameInfo, info, static_cast<DWORD>(bytes))) return false;
  f.named = false;  // the name is the destination's now
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
