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
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "bookformat/slot.h"

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
  BookFile(const std::filesystem::path& path, Use use) { open(path, use); }
  ~BookFile() { close(); }
  BookFile(const BookFile&) = delete;
  BookFile& operator=(const BookFile&) = delete;

  // Returns true when `path` names a regular file, now open for `use`;
  // otherwise nothing is left open. An existing file keeps its mode.
  bool open(const std::string& path, Use use);
  // The same for a name the caller has converted (the panel's wide names).
  bool open(const std::filesystem::path& path, Use use);
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

  // --- the key-book slots: every reader and writer of books goes here ---

  // Whole slots in the file.
  uint64_t records() const { return record_count(size()); }
  // REQUIRES: n >= 1. Reads slot n; returns the bytes read, fewer than a
  // slot past the end of the file.
  std::size_t read_slot(int64_t n, Slot& s);
  // REQUIRES: n >= 1. Writes slot n and flushes; false when it did not land.
  bool write_slot(int64_t n, const Slot& s);
  // The first whole slot that holds the deletion marker (is_free_slot), or 0.
  int64_t first_free_slot();
  // Calls `found` with the offset of every occurrence of `pattern` in the
  // file, overlapping ones included, reading the file once. An empty
  // pattern matches nothing.
  void find_all(std::string_view pattern, const std::function<void(uint64_t)>& found);

 private:
  std::FILE* f_ = nullptr;
  bool error_ = false;
};

// Size of the regular file `path`; 0 when it cannot be opened as one.
uint64_t regular_file_size(const std::string& path);

}  // namespace qvx
