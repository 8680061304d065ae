// Key books and printouts are files the user names, and by the time such a
// name is opened it may be a FIFO, a directory or a device. A BookFile opens
// nothing but a regular file, and never waits on the way: the open itself is
// non-blocking and what was opened is checked before it is used. Anything
// else counts as a file that cannot be opened, which every caller already
// reports in its own words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace qvx {

class BookFile {
 public:
  enum class Use {
    read,    // reading only
    update,  // reading and writing an existing file; never creates or truncates
    append,  // writing at the end; a missing file is created for its owner only (0600)
  };

  BookFile() = default;
  BookFile(const std::string& path, Use use) { open(path, use); }
  ~BookFile() { close(); }
  BookFile(const BookFile&) = delete;
  BookFile& operator=(const BookFile&) = delete;

  // Returns true when `path` names a regular file, now open for `use`;
  // otherwise nothing is left open. An existing file keeps its mode.
  bool open(const std::string& path, Use use);
  bool is_open() const { return f_ != nullptr; }
  // Flushes and closes; false when any write or the close failed.
  bool close();

  // Size of the file on disk, in bytes (writes still buffered not counted).
  uint64_t size() const;
  // REQUIRES: open. Position the next read or write.
  bool seek(uint64_t offset);
  // Up to n bytes; fewer at the end of the file or on an error.
  std::size_t read(void* dst, std::size_t n);
  // One byte, or -1 at the end.
  int get() { return f_ ? std::getc(f_) : -1; }
  // False once any write failed.
  bool write(const void* src, std::size_t n);

 private:
  std::FILE* f_ = nullptr;
  bool error_ = false;
};

// Size of the regular file `path`; 0 when it cannot be opened as one.
uint64_t regular_file_size(const std::string& path);

}  // namespace qvx
