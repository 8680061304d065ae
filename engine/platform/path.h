// File names for std::filesystem. The engine's names are the bytes it was
// given: on Windows those are UTF-8 (qvx4.exe runs with UTF-8 as its code
// page), which the C runtime's file calls read as such but std::filesystem
// does not; names go through these two there. Elsewhere they change nothing.
#pragma once

#include <filesystem>
#include <string>

namespace qvx {

inline std::filesystem::path fs_path(const std::string& name) {
#if defined(_WIN32)
  try {
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
  } catch (...) {
    // Not UTF-8 (typed into a console of another code page): as it comes.
    return std::filesystem::path(name);
  }
#else
  return std::filesystem::path(name);
#endif
}

inline std::string fs_name(const std::filesystem::path& p) {
#if defined(_WIN32)
  const std::u8string name = p.u8string();
  return std::string(name.begin(), name.end());
#else
  return p.string();
#endif
}

}  // namespace qvx
