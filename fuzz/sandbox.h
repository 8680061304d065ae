// A private working directory for fuzz targets that touch files: every
// name the engine makes lands in it, and it is emptied between inputs.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace qvxfuzz {

class Sandbox {
 public:
  Sandbox() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                     ? std::filesystem::path("/dev/shm")
                                     : std::filesystem::temp_directory_path();
    std::string tmpl = (base / "qvxfuzz-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data())) std::abort();
    dir_ = buf.data();
    if (::chdir(dir_.c_str()) != 0) std::abort();
  }

  ~Sandbox() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  // Removes whatever the last input left.
  void clear() const {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir_, ec)) std::filesystem::remove_all(e.path(), ec);
  }

  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

inline void put_file(const char* name, const void* data, std::size_t n) {
  std::FILE* f = std::fopen(name, "wb");
  if (!f) std::abort();
  if (n) std::fwrite(data, 1, n, f);
  std::fclose(f);
}

inline std::vector<unsigned char> get_file(const char* name) {
  std::vector<unsigned char> bytes;
  std::FILE* f = std::fopen(name, "rb");
  if (!f) return bytes;
  unsigned char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  std::fclose(f);
  return bytes;
}

// Typed or passed names must stay inside the sandbox: no directory parts.
inline void confine(std::string& s) {
  for (char& c : s)
    if (c == '/') c = '_';
}

}  // namespace qvxfuzz
