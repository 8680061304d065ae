#include "platform/bytestream.h"

#include <algorithm>
#include <cstring>

#include "platform/files.h"
#include "platform/standard.h"
#include "platform/stop_signals.h"

namespace qvx {

namespace {

WriteMeter g_meter = nullptr;

// A held file's own descriptor, duplicated; an output is emptied first.
// A file whose name was wiped away mid-run is made afresh under that name.
int open_held(HeldFile& f, bool output) {
  if (f.fd < 0) return -1;
  if (!f.named && !f.unnamed && !(output && held::reclaim(f))) return -1;
  const int fd = files::duplicate(f.fd);
  // Only a file that holds something is cut: on ext4, cutting a file to
  // nothing makes its close write back all that was written to it since,
  // which for the run's new output is the whole destination.
  uint64_t size = 0;
  if (fd >= 0 && output && !(files::size_of(fd, size) && size == 0) && !files::truncate(fd, 0)) {
    files::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

bool InFile::open(const char* path) {
  close();
  if (!path) return false;
  size_ = 0;
  fd_ = files::open_regular(path, size_);
  return start();
}

bool InFile::open(HeldFile& f) {
  close();
  size_ = 0;
  fd_ = open_held(f, false);
  if (fd_ >= 0 && !files::size_of(fd_, size_)) close();
  return start();
}

bool InFile::open_same(const InFile& other) {
  close();
  fd_ = other.fd_ >= 0 ? files::duplicate(other.fd_) : -1;
  size_ = other.size_;
  return start();
}

bool InFile::start() {
  if (fd_ < 0) return false;
  buf_ = std::make_unique_for_overwrite<unsigned char[]>(kBlock);
  pos_ = 0;
  idx_ = len_ = 0;
  error_ = false;
  return true;
}

void InFile::close() {
  files::close(fd_);
  fd_ = -1;
  buf_.reset();
  idx_ = len_ = 0;
}

bool InFile::fill() {
  if (fd_ < 0) return false;
  pos_ += len_;
  idx_ = len_ = 0;
  len_ = files::read_at(fd_, buf_.get(), kBlock, pos_, error_);
  if (transform && len_ > 0) transform(buf_.get(), len_, pos_);
  return len_ > 0;
}

bool InFile::seek(uint64_t offset) {
  if (fd_ < 0) return false;
  // No pass has any business past the end it measured: such a seek is a
  // fault and is refused, so it shows as a short read instead of garbage.
  if (offset > size_) {
    error_ = true;
    return false;
  }
  if (offset >= pos_ && offset <= pos_ + len_) {
    idx_ = static_cast<std::size_t>(offset - pos_);
    return true;
  }
  pos_ = offset;
  idx_ = len_ = 0;
  return true;
}

std::size_t InFile::read(unsigned char* dst, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    if (idx_ == len_) {
      // Large reads bypass the buffer.
      if (n - done >= kDirectRead && fd_ >= 0) {
        pos_ += len_;
        idx_ = len_ = 0;
        std::size_t got = files::read_at(fd_, dst + done, n - done, pos_, error_);
        if (transform && got > 0) transform(dst + done, got, pos_);
        pos_ += got;
        done += got;
        break;
      }
      if (!fill()) break;
    }
    std::size_t take = std::min(n - done, len_ - idx_);
    std::memcpy(dst + done, buf_.get() + idx_, take);
    idx_ += take;
    done += take;
  }
  return done;
}

bool OutFile::open(const char* path) {
  close();
  if (!path) return false;
  fd_ = files::open_output(path);
  return start();
}

bool OutFile::open(HeldFile& f) {
  close();
  fd_ = open_held(f, true);
  return start();
}

bool OutFile::open_stream(int fd) {
  close();
  fd_ = files::duplicate(fd);
  stream_ = true;
  return start();
}

bool OutFile::open_same(const OutFile& other, uint64_t offset) {
  assert(other.is_open() && !other.stream_ && "a second writer of a file that cannot take one");
  close();
  fd_ = files::duplicate(other.fd_);
  if (!start()) return false;
  written_ = offset;
  metered_ = false;
  return true;
}

void OutFile::meter_more(uint64_t bytes) {
  if (g_meter) g_meter(bytes);
}

bool OutFile::start() {
  if (fd_ < 0) return false;
  buf_ = std::make_unique_for_overwrite<unsigned char[]>(kBlock);
  len_ = 0;
  written_ = lost_ = 0;
  error_ = false;
  metered_ = true;
  return true;
}

// Every byte the passes write goes through here, which is also where a long
// run measures how far it got. Once a write failed nothing more is written:
// what follows would land at the wrong offset.
void OutFile::emit_at(const unsigned char* src, std::size_t n, uint64_t offset) {
  std::size_t put = 0;
  stops::write_begins();
  if (!error_ && stream_)
    put = standard::write_all(fd_, src, n) ? n : 0;
  else if (!error_)
    put = files::write_at(fd_, src, n, offset);
  stops::write_ends();
  if (g_meter && metered_) g_meter(put);
  if (put < n) error_ = true;
  written_ += put;
  lost_ += n - put;
}

void OutFile::drain() {
  if (len_ == 0) return;
  emit(buf_.get(), len_);
  len_ = 0;
}

void OutFile::write(const unsigned char* src, std::size_t n) {
  assert(buf_ && "OutFile::write on a file that is not open");
  if (src == buf_.get() + len_) {
    assert(n <= kBlock - len_ && "OutFile::write past the room it lent");
    len_ += n;
    if (len_ == kBlock) drain();
    return;
  }
  // Whole blocks go out from where they are, after what waits.
  if (n >= kBlock) {
    drain();
    emit(src, n);
    return;
  }
  if (len_ + n > kBlock) drain();
  std::memcpy(buf_.get() + len_, src, n);
  len_ += n;
}

void OutFile::write_at(const unsigned char* src, std::size_t n, uint64_t offset) {
  assert(buf_ && !stream_ && "OutFile::write_at on a file that cannot take it");
  drain();
  emit_at(src, n, offset);
}

unsigned char* OutFile::lend(std::size_t least, std::size_t& size) {
  size = 0;
  if (!buf_) return nullptr;
  if (kBlock - len_ < least) drain();
  size = kBlock - len_;
  return buf_.get() + len_;
}

bool OutFile::cut_to(uint64_t size) {
  drain();
  return fd_ >= 0 && !stream_ && files::truncate(fd_, size);
}

bool OutFile::close() {
  if (fd_ < 0) return !error_;
  drain();
  if (!files::close(fd_)) error_ = true;
  fd_ = -1;
  stream_ = false;
  buf_.reset();
  return !error_;
}

uint64_t copy_bytes(InFile& in, OutFile& out, uint64_t count) {
  static thread_local std::unique_ptr<unsigned char[]> buffer = std::make_unique_for_overwrite<unsigned char[]>(kBlock);
  unsigned char* chunk = buffer.get();
  uint64_t done = 0;
  while (done < count) {
    std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(kBlock, count - done));
    std::size_t got = in.read(chunk, want);
    out.write(chunk, got);
    done += got;
    if (got < want) break;
  }
  return done;
}

bool file_exists(const char* path) { return files::opens(path); }

void set_write_meter(WriteMeter meter) { g_meter = meter; }

}  // namespace qvx
