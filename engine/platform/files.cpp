#include "platform/files.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>
#include <system_error>

#include "platform/files_internal.h"
#include "platform/path.h"

namespace qvx {
namespace files {
namespace {

constexpr std::size_t kZeroBlock = 64 * 1024;

constexpr std::array<unsigned char, kZeroBlock> kZeros = [] {
  std::array<unsigned char, kZeroBlock> a{};
  for (auto& c : a) c = '0';
  return a;
}();

}  // namespace

const char* detail::stream_mode(Access how) {
  switch (how) {
    case Access::read: return "rb";
    case Access::update: return "r+b";
    case Access::append: return "ab";
    case Access::write_in_place:
    case Access::write_emptied: return "wb";
  }
  return "rb";
}

bool same_file(const char* path, const Identity& id) {
  Identity now;
  return path && identity(path, now) && now == id;
}

bool overwrite(int fd) {
  uint64_t left = 0;
  if (!size_of(fd, left)) return false;
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
  return truncate(fd, 0) && write_at(fd, &zero, 1, 0) == 1 && sync(fd);
}

}  // namespace files

namespace held {
namespace {

// The registered files, read lock-free by the stop-signal handler.
constexpr int kSlots = 4;
std::atomic<HeldFile*> g_held[kSlots] = {};
static_assert(std::atomic<HeldFile*>::is_always_lock_free);

}  // namespace

// A part of a name that nobody can work out from what they can see.
std::string detail::unguessable() {
  unsigned char raw[8] = {};
  random_bytes(raw, sizeof raw);
  static const char hex[] = "0123456789abcdef";
  std::string s;
  for (unsigned char b : raw) {
    s += hex[b >> 4];
    s += hex[b & 15];
  }
  return s;
}

bool add(HeldFile& f) {
  for (auto& slot : g_held) {
    HeldFile* empty = nullptr;
    if (slot.compare_exchange_strong(empty, &f)) return true;
  }
  return false;
}

void remove(HeldFile& f) {
  for (auto& slot : g_held) {
    HeldFile* mine = &f;
    slot.compare_exchange_strong(mine, nullptr);
  }
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
  detail::unlink_quietly(f);
}

void wipe_all_quietly() {
  for (auto& slot : g_held)
    if (HeldFile* f = slot.load()) wipe_quietly(*f);
}

void release(HeldFile& f) {
  remove(f);
  files::close(f.fd);
  files::close(f.retired);
  f.fd = f.retired = -1;
  f.named = f.unnamed = false;
}

std::vector<std::string> detail::temporaries_in(const std::string& dir) {
  std::vector<std::string> found;
  std::error_code ec;
  const std::filesystem::path folder = dir.empty() ? std::filesystem::path(".") : fs_path(dir);
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string leaf = fs_name(it->path().filename());
    if (leaf.size() > 10 && leaf.rfind(kTemporaryPrefix, 0) == 0 && leaf.ends_with(kTemporarySuffix))
      found.push_back(fs_name(folder / it->path().filename()));
  }
  return found;
}

}  // namespace held
}  // namespace qvx
