#include "bookformat/book_file.h"

#include <sys/stat.h>

#include <vector>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace qvx {
namespace {

const char* stdio_mode(BookFile::Use use) {
  switch (use) {
    case BookFile::Use::read: return "rb";
    case BookFile::Use::update: return "r+b";
    case BookFile::Use::append: return "ab";
  }
  return "rb";
}

#if defined(_WIN32)

const wchar_t* wide_mode(BookFile::Use use) {
  switch (use) {
    case BookFile::Use::read: return L"rb";
    case BookFile::Use::update: return L"r+b";
    case BookFile::Use::append: return L"ab";
  }
  return L"rb";
}

// No FIFOs to wait on here; a directory or a device is still no book.
std::FILE* checked(std::FILE* f) {
  if (!f) return nullptr;
  struct _stat64 st;
  if (_fstat64(_fileno(f), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
    std::fclose(f);
    return nullptr;
  }
  return f;
}

std::FILE* open_regular(const std::string& path, BookFile::Use use) {
  return checked(std::fopen(path.c_str(), stdio_mode(use)));
}

std::FILE* open_regular(const std::filesystem::path& path, BookFile::Use use) {
  // A missing book is made private first; the stream's own creation would
  // give it the folder's access list.
  if (use == BookFile::Use::append) create_private(path);
  return checked(_wfopen(path.c_str(), wide_mode(use)));
}

int seek64(std::FILE* f, uint64_t off) { return _fseeki64(f, static_cast<long long>(off), SEEK_SET); }

bool size_of(std::FILE* f, uint64_t& size) {
  struct _stat64 st;
  if (_fstat64(_fileno(f), &st) != 0 || st.st_size < 0) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

#else

// O_NONBLOCK keeps the open of a FIFO from waiting for its other end; once
// the descriptor is known to be a regular file, blocking I/O is put back.
std::FILE* open_regular(const std::filesystem::path& path, BookFile::Use use) {
  int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  switch (use) {
    case BookFile::Use::read: flags |= O_RDONLY; break;
    case BookFile::Use::update: flags |= O_RDWR; break;
    case BookFile::Use::append: flags |= O_WRONLY | O_CREAT | O_APPEND; break;
  }
  const int fd = ::open(path.c_str(), flags, 0600);
  if (fd < 0) return nullptr;
  struct stat st;
  const int status = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || status < 0 ||
      ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* f = ::fdopen(fd, stdio_mode(use));
  if (!f) ::close(fd);
  return f;
}

int seek64(std::FILE* f, uint64_t off) { return fseeko(f, static_cast<off_t>(off), SEEK_SET); }

bool size_of(std::FILE* f, uint64_t& size) {
  struct stat st;
  if (::fstat(fileno(f), &st) != 0 || st.st_size < 0) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

#endif

}  // namespace

#if defined(_WIN32)

namespace {
void (*g_private_finish)(const std::filesystem::path&) = nullptr;
}  // namespace

void set_private_file_finish(void (*finish)(const std::filesystem::path& path)) { g_private_finish = finish; }

bool create_private(const std::filesystem::path& path) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD n = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &n);
  std::vector<unsigned char> user(n);
  const bool known = n != 0 && GetTokenInformation(token, TokenUser, user.data(), n, &n);
  CloseHandle(token);
  if (!known) return false;
  PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  const DWORD acl_size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid);
  std::vector<unsigned char> acl_bytes(acl_size);
  PACL acl = reinterpret_cast<PACL>(acl_bytes.data());
  SECURITY_DESCRIPTOR sd;
  // Read, write and delete, no execute: Wine maps it to 0600.
  if (!InitializeAcl(acl, acl_size, ACL_REVISION) ||
      !AddAccessAllowedAce(acl, ACL_REVISION, FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE, sid) ||
      !InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) || !SetSecurityDescriptorOwner(&sd, sid, FALSE) ||
      !SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE) ||
      !SetSecurityDescriptorControl(&sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
    return false;
  SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, &sa, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  CloseHandle(f);
  if (g_private_finish) g_private_finish(path);
  return true;
}

#else

bool create_private(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

#endif

bool BookFile::open(const std::string& path, Use use) {
  close();
  error_ = false;
  if (path.empty()) return false;
  f_ = open_regular(path, use);
  return f_ != nullptr;
}

bool BookFile::open(const std::filesystem::path& path, Use use) {
  close();
  error_ = false;
  if (path.empty()) return false;
  f_ = open_regular(path, use);
  return f_ != nullptr;
}

bool BookFile::close() {
  if (!f_) return !error_;
  if (std::fclose(f_) != 0) error_ = true;
  f_ = nullptr;
  return !error_;
}

uint64_t BookFile::size() const {
  uint64_t size = 0;
  return f_ && size_of(f_, size) ? size : 0;
}

bool BookFile::seek(uint64_t offset) { return f_ && seek64(f_, offset) == 0; }

std::size_t BookFile::read(void* dst, std::size_t n) { return f_ ? std::fread(dst, 1, n, f_) : 0; }

bool BookFile::write(const void* src, std::size_t n) {
  if (!f_ || std::fwrite(src, 1, n, f_) != n) error_ = true;
  return !error_;
}

std::size_t BookFile::read_slot(int64_t n, Slot& s) {
  return seek(slot_offset(n)) ? read(s.data(), s.size()) : 0;
}

bool BookFile::write_slot(int64_t n, const Slot& s) {
  return seek(slot_offset(n)) && write(s.data(), s.size()) && std::fflush(f_) == 0;
}

int64_t BookFile::first_free_slot() {
  const uint64_t count = records();
  Slot s{};
  if (!seek(0)) return 0;
  for (uint64_t n = 1; n <= count; ++n) {
    if (read(s.data(), s.size()) != s.size()) return 0;
    if (is_free_slot(s.data(), s.size())) return static_cast<int64_t>(n);
  }
  return 0;
}

void BookFile::find_all(std::string_view pattern, const std::function<void(uint64_t)>& found) {
  if (pattern.empty() || !seek(0)) return;
  // Knuth-Morris-Pratt: one pass over the file, and after a match the
  // failure table carries on inside it, so overlapping matches count.
  std::vector<std::size_t> fail(pattern.size(), 0);
  for (std::size_t i = 1, k = 0; i < pattern.size(); ++i) {
    while (k > 0 && pattern[i] != pattern[k]) k = fail[k - 1];
    if (pattern[i] == pattern[k]) ++k;
    fail[i] = k;
  }
  const uint64_t end = size();  // measured once: a growing file does not run on
  std::size_t matched = 0;
  for (uint64_t at = 0; at < end; ++at) {
    const int got = get();
    if (got < 0) break;
    const char c = static_cast<char>(got);
    while (matched > 0 && c != pattern[matched]) matched = fail[matched - 1];
    if (c == pattern[matched]) ++matched;
    if (matched < pattern.size()) continue;
    found(at + 1 - pattern.size());
    matched = fail[matched - 1];
  }
}

uint64_t regular_file_size(const std::string& path) {
  BookFile f(path, BookFile::Use::read);
  return f.is_open() ? f.size() : 0;
}

}  // namespace qvx
