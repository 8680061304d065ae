#include "MAIN_vuriv_2025/check_run.h"

#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "bookformat/slot.h"
#include "platform/files.h"
#include "platform/path.h"

namespace qvx {
namespace {

void text_item(check::Material& m, const char* text) {
  if (text)
    m.item(text);
  else
    m.absent();
}

void triple_items(check::Material& m, bool runs, const char* const (&abc)[3]) {
  m.item(runs ? "runs" : "left out");
  if (!runs) return;
  for (const char* t : abc) text_item(m, t);
}

// Pass 23 keys with the file when it opens as the pass opens it.
bool confirmation_item(check::Material& m, const char* name) {
  uint64_t size = 0;
  const int fd = name ? files::open_regular(name, size) : -1;
  if (fd < 0) {
    m.absent();
    return true;
  }
  m.begin_item(size);
  static constexpr std::size_t kChunk = 256 * 1024;
  auto buf = std::make_unique_for_overwrite<unsigned char[]>(kChunk);
  bool failed = false;
  uint64_t at = 0;
  while (at < size && !failed) {
    const std::size_t got = files::read_at(fd, buf.get(), static_cast<std::size_t>(std::min<uint64_t>(kChunk, size - at)), at, failed);
    if (got == 0) break;
    m.more(buf.get(), got);
    at += got;
  }
  files::close(fd);
  return at == size && !failed;
}

}  // namespace

bool check_key(const KeyRecord& record, const RunParameters& params, const check::Salt& salt,
               crypto::HashValue& key) {
  check::Material m;
  std::vector<std::string> ignored;  // a selected record always fits its slot
  const Slot slot = write_slot(record, ignored);
  m.item(std::string_view(reinterpret_cast<const char*>(slot.data()), slot.size()));
  for (const char* t : params.text) text_item(m, t);
  triple_items(m, params.run9, params.abc9);
  triple_items(m, params.run10, params.abc10);
  return confirmation_item(m, params.confirmation) && m.key(salt, key);
}

Found read_check_file(const std::string& name, check::CheckFile& out) {
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(fs_path(name), ec))) return Found::none;
  uint64_t size = 0;
  const int fd = files::open_regular(name.c_str(), size);
  if (fd < 0) return Found::damaged;
  check::FileBytes bytes{};
  bool failed = false;
  const std::size_t got = size == bytes.size() ? files::read_at(fd, bytes.data(), bytes.size(), 0, failed) : 0;
  files::close(fd);
  return got == bytes.size() && !failed && check::parse(bytes.data(), got, out) ? Found::ok : Found::damaged;
}

}  // namespace qvx
