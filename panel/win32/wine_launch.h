// How the panel waits for a Linux engine under Wine, as pure text work so
// that it is tested on any platform.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "command_line.h"

namespace qvxpanel::win32 {

using qvxpanel::quote_argument;

// Parameters for /bin/sh that run `program` with the engine's command line
// `parameters`. The shell leaves its process id in `marker` + ".pid" before
// it starts the engine, and the engine's exit status in `marker` after it;
// both are renamed into place, so that a half-written file is never seen.
// A Linux process started from Wine has no handle to wait on: the panel
// waits until the status is there or that process is gone. The user's
// texts reach the engine as arguments and are never read as shell code.
// `in_terminal`: the engine gets a terminal window of its own
// (x-terminal-emulator or xterm, the first found), for its console menus;
// when there is none the status says "noterminal".
std::string shell_wrapper_parameters(std::string_view marker, std::string_view program,
                                     std::string_view parameters, bool in_terminal = false);

// Whether the engine was started, from the status the wrapper left: the
// shell's 126 (found but not executable) and 127 (not found) say it was
// not. The engine's own statuses are not read, nor is a status that never
// came (the shell killed while the engine ran).
bool wrapper_started(std::string_view status);
// The engine's exit status in what the wrapper left, when it is one.
std::optional<int> wrapper_status(std::string_view status);
// No terminal could be found for an engine that needs one.
bool wrapper_found_no_terminal(std::string_view status);

// Whether a process whose /proc/<pid>/stat reads `stat` still runs: a
// zombie has ended, whether or not anybody reaps it.
bool process_running(std::string_view stat);

// A program's first bytes: an ELF image or a script is for the Linux side.
bool is_linux_program(std::string_view head);

}  // namespace qvxpanel::win32
