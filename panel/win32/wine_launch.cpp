#include "wine_launch.h"

#include <cstdlib>

namespace qvxpanel::win32 {

namespace {

// Says which process runs the engine, runs it, leaves its status.
constexpr std::string_view kAnnounce =
    "m=$1; shift; echo $$ >\"$m.pid.part\"; mv -f \"$m.pid.part\" \"$m.pid\"; ";
constexpr std::string_view kFindTerminal =
    "t=$(command -v x-terminal-emulator || command -v xterm) || "
    "{ echo noterminal >\"$m.part\"; mv -f \"$m.part\" \"$m\"; exit; }; \"$t\" -e ";
constexpr std::string_view kRunAndTell = "\"$@\"; echo $? >\"$m.part\"; mv -f \"$m.part\" \"$m\"";
constexpr std::string_view kNoTerminal = "noterminal";

std::string_view first_line(std::string_view status) { return status.substr(0, status.find_first_of("\r\n")); }

}  // namespace

std::string shell_wrapper_parameters(std::string_view marker, std::string_view program,
                                     std::string_view parameters, bool in_terminal) {
  std::string script(kAnnounce);
  if (in_terminal) script += kFindTerminal;
  script += kRunAndTell;
  std::string line = "-c " + quote_argument(script) + " qvxpanel " + quote_argument(marker) + " " +
                     quote_argument(program);
  if (parameters.find_first_not_of(' ') != std::string_view::npos) {
    line += ' ';
    line += parameters;
  }
  return line;
}

bool wrapper_started(std::string_view status) {
  status = first_line(status);
  return status != "126" && status != "127" && status != kNoTerminal;
}

std::optional<int> wrapper_status(std::string_view status) {
  const std::string line(first_line(status));
  if (line.empty() || line.find_first_not_of("0123456789") != std::string::npos || line.size() > 3) return std::nullopt;
  return std::atoi(line.c_str());
}

bool wrapper_found_no_terminal(std::string_view status) { return first_line(status) == kNoTerminal; }

bool process_running(std::string_view stat) {
  // The state follows the command name, which may itself hold ") ".
  const std::size_t close = stat.rfind(") ");
  if (close == std::string_view::npos || close + 2 >= stat.size()) return false;
  const char state = stat[close + 2];
  return state != 'Z' && state != 'X' && state != 'x';
}

bool is_linux_program(std::string_view head) {
  return head.substr(0, 4) == "\x7F" "ELF" || head.substr(0, 2) == "#!";
}

}  // namespace qvxpanel::win32
