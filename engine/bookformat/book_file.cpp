#include "bookformat/book_file.h"

#include <sys/stat.h>

#include <vector>

#if defined(_WIN32)
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
    // What is appended (a printout, a new book) holds keys in the clear:
    // never through a link, and never into another user's file.
    case BookFile::Use::append: flags |= O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW; break;
  }
  const int fd = ::open(path.c_str(), flags, 0600);
  if (fd < 0) return nullptr;
  struct stat st;
  const int status = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || status < 0 ||
      (use == BookFile::Use::append && st.st_uid != ::geteuid()) ||
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

bool BookFile::foreign(const std::string& path) {
#if defined(_WIN32)
  (void)path;
  return false;
#else
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && (S_ISLNK(st.st_mode) || st.st_uid != ::geteuid());
#endif
}

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
