// Helpers shared by the unit and end-to-end tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>


namespace qvx::testing {

using Bytes = std::vector<unsigned char>;

// A fresh directory under the system's temporary folder, removed afterwards.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "qvxtest-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    char* made = ::mkdtemp(buf.data());
    if (!made) throw std::runtime_error("mkdtemp failed");
    path_ = made;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline Bytes read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string& path, const Bytes& data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline void write_file(const std::string& path, const std::string& data) {
  write_file(path, Bytes(data.begin(), data.end()));
}

inline Bytes random_bytes(std::size_t n, uint64_t seed) {
  std::mt19937_64 g(seed);
  Bytes b(n);
  for (auto& c : b) c = static_cast<unsigned char>(g());
  return b;
}

inline Bytes from_hex(const std::string& hex) {
  Bytes b;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    b.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return b;
}

inline std::string as_string(const Bytes& b) { return std::string(b.begin(), b.end()); }

// The test-vector files: entries of "key: value" lines separated by blank lines.
using Entry = std::vector<std::pair<std::string, std::string>>;

// A file that is missing or empty fails the calling test: a check over no
// vectors would pass having checked nothing.
inline std::vector<Entry> load_vectors(const std::string& file) {
  const std::string path = std::string(QVX_VECTORS_DIR) + "/" + file;
  std::ifstream f(path);
  std::vector<Entry> all;
  Entry cur;
  std::string line;
  while (std::getline(f, line)) {
    if (line.empty()) {
      if (!cur.empty()) all.push_back(std::move(cur));
      cur.clear();
      continue;
    }
    auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string value = line.substr(colon + 1);
    if (!value.empty() && value[0] == ' ') value.erase(0, 1);
    cur.emplace_back(line.substr(0, colon), value);
  }
  if (!cur.empty()) all.push_back(std::move(cur));
  if (all.empty()) ADD_FAILURE() << "no test vectors loaded from " << path;
  return all;
}

inline const std::string* find(const Entry& e, const std::string& key) {
  for (const auto& kv : e)
    if (kv.first == key) return &kv.second;
  return nullptr;
}

inline std::string get(const Entry& e, const std::string& key) {
  const std::string* v = find(e, key);
  return v ? *v : std::string();
}

}  // namespace qvx::testing
