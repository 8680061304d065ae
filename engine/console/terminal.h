// The console on a real terminal. The engine speaks Latin-1; a terminal in a
// UTF-8 locale shows those bytes as garbage and sends typed accents as two
// bytes. When (and only when) standard output or input is such a terminal,
// the standard streams are wrapped so that output is shown in UTF-8 and
// typed text arrives in Latin-1. Pipes and files see exactly the bytes they
// always did.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace con {

// Wraps std::cout / std::cin where they are terminals. Call once, before
// any console output. QVX_CHARSET=latin1 (or a locale that is not UTF-8,
// such as LC_ALL=C) keeps the Latin-1 bytes; a terminal on standard output
// is wrapped all the same, so that a progress line on it is taken off
// before any text is shown.
void attach_terminal();

// True when the environment's locale uses UTF-8 and QVX_CHARSET does not
// ask for Latin-1. Leaves the program in the "C" locale.
bool terminal_wants_utf8();

// Latin-1 text for a UTF-8 terminal. Bytes that already form a well-made
// UTF-8 character (names taken from a UTF-8 command line) are kept as they
// are; every other byte is one Latin-1 character. When `final` is false an
// unfinished UTF-8 character at the end is left unconverted; returns how
// many bytes of `in` were used.
std::size_t latin1_for_terminal(std::string_view in, std::string& out, bool final);

}  // namespace con
