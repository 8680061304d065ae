// The engine's command line: up to twenty positional parameters. The engine
// parses it (cli.cpp, CommandLine) and the panel builds it
// (panel/core/command_line.cpp); both take the positions and the rule for
// absent parameters from here. Header only: the panel links no engine code.
#pragma once

#include <string_view>

namespace qvx::cmdline {

// Parameter k is argument vector element k.
enum Position : int {
  kBook = 1,          // key book to open
  kRecord = 2,        // record number (atoi)
  kOperation = 3,     // first character c/C encode, d/D decode
  kSource = 4,
  kDestination = 5,
  kConfirmation = 6,  // confirmation file of pass 23
  kText1 = 7,         // personalization texts of passes 1 to 8: 7 to 14
  kText9A = 15,       // pass 9 takes the triple 15, 16, 17
  kText10A = 18,      // pass 10 the triple 18, 19, 20
  kLast = 20,         // later parameters are ignored
};

// Parameters 7 to 20 are the fourteen personalization texts; text i (from
// 1) is parameter kConfirmation + i.
constexpr int kTexts = kLast - kConfirmation;
constexpr int text_position(int i) { return kConfirmation + i; }

// A parameter given as exactly this text counts as absent: its pass uses
// its built-in text. A triple whose last given member is "0" leaves its
// pass out of the run.
inline constexpr std::string_view kAbsent = "0";

// The panel always sends the C texts of passes 9 and 10 (its texts 11 and
// 14) as "0", so every run it starts leaves passes 9 and 10 out.
constexpr bool panel_keeps_absent(int i) {
  return text_position(i) == kText9A + 2 || text_position(i) == kText10A + 2;
}

}  // namespace qvx::cmdline
