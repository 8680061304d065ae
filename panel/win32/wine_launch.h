// How the panel waits for a Linux engine under Wine, as pure text work so
// that it is tested on any platform.
#pragma once

#include <string>
#include <string_view>

namespace qvxpanel::win32 {

// One argument quoted for a Windows command line (the splitting rules of
// CommandLineToArgvW, which Wine also applies when it starts a Linux program).
std::string quote_argument(std::string_view argument);

// Parameters for /bin/sh that run `program` with the engine's command line
// `parameters` and then write its exit status into `marker` (renamed into
// place, so that a half-written marker is never seen). The user's texts
// reach the engine as arguments and are never read as shell code.
std::string shell_wrapper_parameters(std::string_view marker, std::string_view program,
                                     std::string_view parameters);

// A program's first bytes: an ELF image or a script is for the Linux side.
bool is_linux_program(std::string_view head);

}  // namespace qvxpanel::win32
