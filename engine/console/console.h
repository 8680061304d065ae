// The one place that talks to the terminal: every byte shown to the user
// and every word read from the keyboard goes through here.
//
// Texts are single-byte Latin-1; write them with escapes ("\xBF" for the
// inverted question mark, "\xB7" for the middle dot). "End of line" means a
// newline followed by a flush, so that a program driving us through a pipe
// sees each message as soon as it is complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

namespace con {

// What an input request found.
enum class Got { ok, bad, eof };

// Point the console at other streams (tests); `restore` returns to stdin/stdout.
void bind(std::istream& in, std::ostream& out);
void restore();

// The output stream. Use it with << for texts and numbers.
std::ostream& out();

// Where the console's text goes: standard output (as always), standard
// error (when standard output carries a run's data), or nowhere (a run for
// a script, which sees only errors). `restore` goes back to `shown`.
enum class Text { shown, to_stderr, dropped };
void send_text(Text where);
Text text_goes();

// An error or warning message. It is written as `line` (error_text: an end
// of line, then the text, with no end of line after it) writes text; when
// the text is dropped it is still shown, as one line on standard error.
void error_line(std::string_view text);
void error_text(std::string_view text);
// A warning that goes to standard error in any case, as one line.
void warning(std::string_view text);
// Lines written to standard error by the three above so far.
std::size_t lines_on_stderr();

// Newline + flush.
void eol();
// The engine's usual message shape: end of line, text, end of line.
void line(std::string_view text);
// `count` copies of one byte (runs of 0xB7, padding, rules).
void repeat(char c, std::size_t count);

// True once standard input has ended; every loop that reads must stop then.
bool at_eof();

// One whitespace-delimited word, leading blanks skipped. At most `max`
// characters are kept; the rest of an over-long word is read and dropped,
// so it never turns into the next answer.
Got word(std::string& w, std::size_t max);
// One non-blank character.
Got ch(char& c);
// A decimal signed 32-bit number, read as one word. Text that is not a
// number, or one out of range, gives Got::bad and leaves `n` untouched.
Got number(int32_t& n);
// A decimal number with optional sign and fraction (finite values only).
Got real(double& d);
// Drop what is left of the current input line, its newline included, reading
// at most `max` characters.
void discard_line(std::size_t max = SIZE_MAX);
// Wait for the Enter key: read one input line and drop it.
void wait_enter();

// Clear the screen: the ANSI sequence, and only when stdout is a terminal.
void cls();

}  // namespace con
