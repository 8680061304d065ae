#include "wine_launch.h"

namespace qvxpanel::win32 {

std::string shell_wrapper_parameters(std::string_view marker, std::string_view program,
                                     std::string_view parameters) {
  static constexpr std::string_view kScript =
      "m=$1; shift; echo $$ >\"$m.pid.part\"; mv -f \"$m.pid.part\" \"$m.pid\"; "
      "\"$@\"; echo $? >\"$m.part\"; mv -f \"$m.part\" \"$m\"";
  std::string line = "-c " + quote_argument(kScript) + " qvxpanel " + quote_argument(marker) + " " +
                     quote_argument(program);
  if (parameters.find_first_not_of(' ') != std::string_view::npos) {
    line += ' ';
    line += parameters;
  }
  return line;
}

bool wrapper_started(std::string_view status) {
  status = status.substr(0, status.find_first_of("\r\n"));
  return status != "126" && status != "127";
}

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
