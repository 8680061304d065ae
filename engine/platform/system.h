// What the layers above need to know of the system they run on, beyond
// files: the program's own file, the terminals, the code pages.
#pragma once

#include <cstdint>
#include <string>

namespace qvx::sys {

// The running program's own file, whatever name it was started by (empty
// when the system will not say).
std::string own_executable();

// True where the program runs with UTF-8 as its code page over a system
// whose own code page is another (the Windows build's manifest).
bool utf8_over_system_code_page();
// `utf8` in the system's own code page (as it comes where that fails, or
// where utf8_over_system_code_page() is false).
std::string in_system_code_page(const char* utf8);

bool stdout_is_terminal();
// Clears the console that standard output is, through the system's own
// calls (Windows: an older console shows the ANSI sequence as text); false
// where that is not how it is done, and the sequence is written instead.
bool clear_console();
// The progress line's terminal. Always false on Windows, whose build draws
// no progress line.
bool stderr_is_terminal();
// Writes straight to the standard error descriptor, unbuffered; gives up
// quietly (a line nobody sees is not worth failing a run for).
void write_stderr(const std::string& text);
// The size of `path` when it names a regular file (links followed), else 0.
uint64_t regular_size(const char* path);

// How many processors this process may run on (at least 1).
unsigned processors();

// The keys and the data of a run are in memory from the first prompt to
// the end: no core file is written for this process, and (Linux) no other
// process of the same user may read its memory through /proc or a debugger.
void keep_memory_private();

}  // namespace qvx::sys
