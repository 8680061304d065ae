#include "bookformat/book_file.h"

#include <sys/stat.h>

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

// No FIFOs to wait on here; a directory or a device is still no book.
std::FILE* open_regular(const std::string& path, BookFile::Use use) {
  std::FILE* f = std::fopen(path.c_str(), stdio_mode(use));
  if (!f) return nullptr;
  struct _stat64 st;
  if (_fstat64(_fileno(f), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
    std::fclose(f);
    return nullptr;
  }
  return f;
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
std::FILE* open_regular(const std::string& path, BookFile::Use use) {
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

bool BookFile::open(const std::string& path, Use use) {
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

uint64_t regular_file_size(const std::string& path) {
  BookFile f(path, BookFile::Use::read);
  return f.is_open() ? f.size() : 0;
}

}  // namespace qvx
