#include "cipher/bytestream.h"

#include <algorithm>
#include <cstring>

#include "console/progress.h"

namespace qvx {

namespace {

// 64-bit positioning, in the one place that differs between platforms.
int seek64(std::FILE* f, uint64_t off, int whence) {
#if defined(_WIN32)
  return _fseeki64(f, static_cast<long long>(off), whence);
#else
  return fseeko(f, static_cast<off_t>(off), whence);
#endif
}

int64_t tell64(std::FILE* f) {
#if defined(_WIN32)
  return _ftelli64(f);
#else
  return ftello(f);
#endif
}

// Every byte the passes write goes through here, which is where a long run
// measures how far it got.
std::size_t write_out(std::FILE* f, const unsigned char* src, std::size_t n) {
  const std::size_t put = std::fwrite(src, 1, n, f);
  con::progress::moved(put);
  return put;
}

}  // namespace

bool InFile::open(const char* path) {
  close();
  if (!path) return false;
  f_ = std::fopen(path, "rb");
  if (!f_) return false;
  std::setvbuf(f_, nullptr, _IONBF, 0);
  buf_ = std::make_unique_for_overwrite<unsigned char[]>(kBlock);
  int64_t end = -1;
  if (seek64(f_, 0, SEEK_END) == 0) end = tell64(f_);
  size_ = end > 0 ? static_cast<uint64_t>(end) : 0;
  seek64(f_, 0, SEEK_SET);
  pos_ = 0;
  idx_ = len_ = 0;
  error_ = false;
  return true;
}

void InFile::close() {
  if (f_) std::fclose(f_);
  f_ = nullptr;
  buf_.reset();
  idx_ = len_ = 0;
}

bool InFile::fill() {
  if (!f_) return false;
  pos_ += len_;
  idx_ = len_ = 0;
  len_ = std::fread(buf_.get(), 1, kBlock, f_);
  if (len_ == 0 && std::ferror(f_)) error_ = true;
  return len_ > 0;
}

bool InFile::seek(uint64_t offset) {
  if (!f_) return false;
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
  if (seek64(f_, offset, SEEK_SET) != 0) {
    error_ = true;
    return false;
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
      if (n - done >= kBlock && f_) {
        pos_ += len_;
        idx_ = len_ = 0;
        std::size_t got = std::fread(dst + done, 1, n - done, f_);
        pos_ += got;
        done += got;
        if (got == 0 && std::ferror(f_)) error_ = true;
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
  f_ = std::fopen(path, "wb");
  if (!f_) return false;
  std::setvbuf(f_, nullptr, _IONBF, 0);
  buf_ = std::make_unique_for_overwrite<unsigned char[]>(kBlock);
  len_ = 0;
  written_ = lost_ = 0;
  error_ = false;
  return true;
}

void OutFile::drain() {
  if (len_ == 0) return;
  std::size_t put = error_ ? 0 : write_out(f_, buf_.get(), len_);
  if (put < len_) error_ = true;
  written_ += put;
  lost_ += len_ - put;
  len_ = 0;
}

void OutFile::write(const unsigned char* src, std::size_t n) {
  if (len_ + n <= kBlock) {
    std::memcpy(buf_.get() + len_, src, n);
    len_ += n;
    return;
  }
  drain();
  if (n >= kBlock) {
    std::size_t put = error_ ? 0 : write_out(f_, src, n);
    if (put < n) error_ = true;
    written_ += put;
    lost_ += n - put;
    return;
  }
  std::memcpy(buf_.get(), src, n);
  len_ = n;
}

bool OutFile::close() {
  if (!f_) return !error_;
  drain();
  if (std::fclose(f_) != 0) error_ = true;
  f_ = nullptr;
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

bool file_exists(const char* path) {
  if (!path) return false;
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  std::fclose(f);
  return true;
}

}  // namespace qvx
