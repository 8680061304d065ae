// The configuration file: the whole main-window form in the dialog
// framework's archive format, so files saved by earlier panels still load.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace qvxpanel {

struct PanelConfig {
  std::string book;
  std::string source;
  std::string destination;
  std::string confirmation;
  int32_t number = 0;
  std::string name;
  std::array<std::string, 14> parameters;
  std::string log;
  std::string engine;

  bool operator==(const PanelConfig&) const = default;
};

// The archive's length prefix: one byte below 255, 0xFF and 16 bits below
// 65534, else 0xFF, 0xFFFF and 32 bits (little-endian).
std::string text_prefix(uint32_t length);

// False when the file cannot be created or written completely.
bool save_config(const std::string& path, const PanelConfig& config);
// Nothing when the file cannot be opened or is truncated or corrupt.
std::optional<PanelConfig> load_config(const std::string& path);

}  // namespace qvxpanel
