#include "bookformat/book_file.h"

#include <vector>

#include "platform/files.h"

namespace qvx {
namespace {

files::Access access_of(BookFile::Use use) {
  switch (use) {
    case BookFile::Use::read: return files::Access::read;
    case BookFile::Use::update: return files::Access::update;
    case BookFile::Use::append: return files::Access::append;
  }
  return files::Access::read;
}

}  // namespace

bool BookFile::open(const std::string& path, Use use) {
  close();
  error_ = false;
  if (path.empty()) return false;
  f_ = files::open_regular_stream(path, access_of(use));
  return f_ != nullptr;
}

bool BookFile::open(const std::filesystem::path& path, Use use) {
  close();
  error_ = false;
  if (path.empty()) return false;
  f_ = files::open_regular_stream(path, access_of(use));
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
  return f_ && files::size_of(f_, size) ? size : 0;
}

bool BookFile::seek(uint64_t offset) { return f_ && files::seek(f_, offset); }

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
