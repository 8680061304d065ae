// Block-buffered file streams for the passes. A pass sees its input and
// output as byte sequences; underneath, data moves in 1 MiB blocks (larger
// page-cache transfers measured clearly faster than 64 KiB ones; 1 MiB is
// what a plain copy uses), offsets are 64-bit, and memory stays the same
// whatever the file size.
//
// A file the running job holds (a work file, the temporary output; see
// files.h) is opened from its HeldFile, on its descriptor, never by name.
// Any other input must be a regular file; nothing here blocks on a FIFO.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/files.h"

namespace qvx {

constexpr std::size_t kBlock = 1024 * 1024;
// Reads from this size on go straight to the caller's memory.
constexpr std::size_t kDirectRead = 256 * 1024;

class InFile {
 public:
  InFile() = default;
  explicit InFile(const char* path) { open(path); }
  ~InFile() { close(); }
  InFile(const InFile&) = delete;
  InFile& operator=(const InFile&) = delete;

  // Opens a regular file; false for anything else.
  bool open(const char* path);
  // Opens a held file on its own descriptor.
  // REQUIRES: `f` was claimed or created (files.h) and is not released.
  bool open(HeldFile& f);
  // A second reader of what `other` reads, on a descriptor of its own, of
  // the size `other` measured.
  bool open_same(const InFile& other);
  bool is_open() const { return fd_ >= 0; }
  void close();

  // Size measured at opening (seek to the end, take the position).
  uint64_t size() const { return size_; }
  uint64_t tell() const { return pos_ + idx_; }
  // Position the next read. Seeks inside the buffered block are free.
  bool seek(uint64_t offset);
  // Up to n bytes; fewer only at the end of the file or on an error.
  std::size_t read(unsigned char* dst, std::size_t n);
  // One byte, or -1 at the end.
  int get() {
    if (idx_ == len_ && !fill()) return -1;
    return buf_[idx_++];
  }
  // False once a read failed for a reason other than the end of the file.
  bool ok() const { return !error_; }

  // Applied to every byte read, with its offset in the file, before the
  // reader sees it (what a reader with seeks takes is then the file as the
  // stages before it would have made it).
  std::function<void(unsigned char*, std::size_t, uint64_t)> transform;

 private:
  bool fill();
  bool start();

  int fd_ = -1;
  std::unique_ptr<unsigned char[]> buf_;
  uint64_t size_ = 0;
  uint64_t pos_ = 0;      // file offset of buf_[0]
  std::size_t idx_ = 0;   // next byte in buf_
  std::size_t len_ = 0;   // valid bytes in buf_
  bool error_ = false;
};

class OutFile {
 public:
  OutFile() = default;
  explicit OutFile(const char* path) { open(path); }
  ~OutFile() { close(); }
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;

  // Creates (0600) or truncates.
  bool open(const char* path);
  // Empties a held file in place and writes to its descriptor.
  // REQUIRES: `f` was claimed or created (files.h) and is not released.
  bool open(HeldFile& f);
  // Writes in order to a duplicate of `fd`, a pipe or a file that cannot
  // be written at offsets (standard output).
  bool open_stream(int fd);
  // A second writer of the file `other` writes, on a descriptor of its own,
  // from `offset` on (`written` counts from there). What it writes is not
  // told to the write meter: the first writer tells it (`meter_more`).
  // REQUIRES: other.is_open(), not a stream.
  bool open_same(const OutFile& other, uint64_t offset);
  bool is_open() const { return fd_ >= 0; }
  bool streams() const { return stream_; }
  // Tells the write meter of bytes a second writer wrote.
  static void meter_more(uint64_t bytes);
  // Flushes and closes; false when any write or the close failed.
  bool close();

  // REQUIRES: is_open() (the buffer exists only while the file is open).
  void write(const unsigned char* src, std::size_t n);
  // Room for at least `least` bytes at the end of what waits to be
  // written (`size` says how many): a `write` of bytes put there is not
  // copied. Null when the file is not open.
  // REQUIRES: least <= kBlock.
  unsigned char* lend(std::size_t least, std::size_t& size);
  // Writes at `offset`, after what waits to be written; the bytes after
  // it in order go where everything written so far ends, so the writes at
  // offsets must fill a stretch from there. REQUIRES: is_open(), not a
  // stream.
  void write_at(const unsigned char* src, std::size_t n, uint64_t offset);
  // REQUIRES: is_open().
  void put(unsigned char c) {
    assert(buf_ && "OutFile::put on a file that is not open");
    if (len_ == kBlock) drain();
    buf_[len_++] = c;
  }
  // Bytes handed to this stream that reached the file (so far).
  uint64_t written() const { return written_; }
  // Bytes accepted, flushed or not.
  uint64_t position() const { return written_ + len_ + lost_; }
  bool ok() const { return !error_; }
  bool flush() { drain(); return !error_; }
  // Flushes, then cuts the file to `size` bytes. False when it failed.
  bool cut_to(uint64_t size);

 private:
  bool start();
  void drain();
  // Hands `n` bytes to the file at the current end (or at `offset`);
  // counts what landed.
  void emit(const unsigned char* src, std::size_t n) { emit_at(src, n, written_); }
  void emit_at(const unsigned char* src, std::size_t n, uint64_t offset);

  int fd_ = -1;
  bool stream_ = false;  // written in order, not at offsets
  bool metered_ = true;  // tells the write meter what it writes
  std::unique_ptr<unsigned char[]> buf_;
  std::size_t len_ = 0;
  uint64_t written_ = 0;
  uint64_t lost_ = 0;  // bytes the file refused
  bool error_ = false;
};

// Copy `count` bytes from the input's current position to the output.
// Returns the bytes actually read and handed on.
uint64_t copy_bytes(InFile& in, OutFile& out, uint64_t count);

// True when `path` opens for reading (never blocks on a FIFO).
bool file_exists(const char* path);

// Called with the bytes each write handed to a file, so a long run can tell
// how far it got; the console's progress line installs itself here. Null
// (the default) counts nothing.
using WriteMeter = void (*)(uint64_t bytes);
void set_write_meter(WriteMeter meter);

}  // namespace qvx
