// The engine's command line as the panel builds it, and the conversion of
// Windows paths for an engine that runs on the Linux side (drive Z: is the
// Linux root there).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "contract/command_layout.h"

namespace qvxpanel {

// Drops every "Z:" and turns backslashes into slashes.
std::string convert_path(std::string_view text);

// Puts a backslash before every double quote that has none; `inserted`
// counts them.
std::string escape_quotes(std::string_view text, int& inserted);

struct EngineRun {
  std::string book;
  int32_t number = 0;
  char operation = 'c';  // 'c' encode, 'd' decode
  std::string source;
  std::string destination;
  std::string confirmation;
  std::array<std::string, qvx::cmdline::kTexts> parameters;  // engine parameters 7 to 20 (cmdline::kTexts)
};

// Parameters separated by single blanks, texts quoted, "0" for an empty
// text, in the order of contract/command_layout.h. Texts 11 and 14
// always go as "0" (cmdline::panel_keeps_absent): passes 9 and 10 stay out
// of every run the panel starts.
std::string engine_command_line(const EngineRun& run);

}  // namespace qvxpanel
