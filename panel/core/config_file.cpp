#include "config_file.h"

#include <filesystem>
#include <fstream>
#include <limits>

#include "platform/files.h"
#include "path_text.h"

namespace qvxpanel {
namespace {

void put_le(std::string& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

class ArchiveWriter {
 public:
  explicit ArchiveWriter(std::ostream& out) : out_(out) {}
  bool text(std::string_view t) {
    if (t.size() > std::numeric_limits<uint32_t>::max()) return false;
    std::string prefix = text_prefix(static_cast<uint32_t>(t.size()));
    out_.write(prefix.data(), static_cast<std::streamsize>(prefix.size()));
    out_.write(t.data(), static_cast<std::streamsize>(t.size()));
    return static_cast<bool>(out_);
  }
  bool integer(int32_t v) {
    std::string b;
    put_le(b, static_cast<uint32_t>(v), 4);
    out_.write(b.data(), 4);
    return static_cast<bool>(out_);
  }

 private:
  std::ostream& out_;
};

// Reads what the writer wrote, trusting no length beyond the bytes that are
// really left in the file.
class ArchiveReader {
 public:
  ArchiveReader(std::istream& in, uint64_t size) : in_(in), left_(size) {}

  bool text(std::string& t) {
    uint32_t n = 0;
    if (!unsigned_le(n, 1)) return false;
    if (n == 0xFF) {
      if (!unsigned_le(n, 2)) return false;
      if (n == 0xFFFF && !unsigned_le(n, 4)) return false;
    }
    if (n > left_) return false;
    t.resize(n);
    return take(t.data(), n);
  }
  bool integer(int32_t& v) {
    uint32_t u = 0;
    if (!unsigned_le(u, 4)) return false;
    v = static_cast<int32_t>(u);
    return true;
  }

 private:
  bool take(char* at, uint64_t n) {
    if (n > left_) return false;
    in_.read(at, static_cast<std::streamsize>(n));
    if (static_cast<uint64_t>(in_.gcount()) != n) return false;
    left_ -= n;
    return true;
  }
  bool unsigned_le(uint32_t& v, int bytes) {
    unsigned char b[4] = {};
    if (!take(reinterpret_cast<char*>(b), static_cast<uint64_t>(bytes))) return false;
    v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[i];
    return true;
  }

  std::istream& in_;
  uint64_t left_;
};

// One field order for both directions.
template <class Archive, class Config>
bool exchange(Archive& a, Config& c) {
  bool ok = a.text(c.book) && a.text(c.source) && a.text(c.destination) && a.text(c.confirmation) &&
            a.integer(c.number) && a.text(c.name);
  for (auto& p : c.parameters) ok = ok && a.text(p);
  return ok && a.text(c.log) && a.text(c.engine);
}

}  // namespace

std::string text_prefix(uint32_t length) {
  std::string p;
  if (length < 0xFF) {
    put_le(p, length, 1);
  } else if (length < 0xFFFE) {
    put_le(p, 0xFF, 1);
    put_le(p, length, 2);
  } else {
    put_le(p, 0xFF, 1);
    put_le(p, 0xFFFF, 2);
    put_le(p, length, 4);
  }
  return p;
}

bool save_config(const std::string& path, const PanelConfig& config) {
  // Its log may hold a record's keys (Copiar Claves a Log): a new file is
  // its owner's alone. An existing one keeps its mode.
  const std::filesystem::path file = file_path(path);
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) qvx::files::create_private(file);
  std::ofstream f(file, std::ios::binary | std::ios::trunc);
  if (!f.is_open()) return false;
  ArchiveWriter w(f);
  if (!exchange(w, config)) return false;
  f.close();
  return !f.fail();
}

std::optional<PanelConfig> load_config(const std::string& path) {
  std::ifstream f(file_path(path), std::ios::binary | std::ios::ate);
  if (!f.is_open()) return std::nullopt;
  std::streamoff size = f.tellg();
  if (size < 0) return std::nullopt;
  f.seekg(0);
  ArchiveReader r(f, static_cast<uint64_t>(size));
  PanelConfig c;
  if (!exchange(r, c)) return std::nullopt;
  return c;
}

}  // namespace qvxpanel
