// The engine's command line as the panel builds it, and the conversion of
// Windows paths for an engine that runs on the Linux side (drive Z: is the
// Linux root there).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "contract/command_layout.h"
#include "platform.h"

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

// One argument quoted for a Windows command line, so that the splitting
// rules of CommandLineToArgvW and the C runtime (which Wine also applies
// when it starts a Linux program) give it back whole: any byte but NUL.
std::string quote_argument(std::string_view argument);

// What the engine gets of a field: the path conversion, after dropping the
// backslash that stands before a double quote (escape_quotes puts it there
// to mean "this quote is the text's own", not to be sent).
std::string engine_text(std::string_view field);

// The engine's parameters 1 to 20 in the order of
// contract/command_layout.h, each through engine_text; "0" for an
// empty text. Texts 11 and 14 always go as "0"
// (cmdline::panel_keeps_absent): passes 9 and 10 stay out of every run the
// panel starts.
std::vector<EngineArgument> engine_arguments(const EngineRun& run);

// The arguments separated by single blanks, each quoted (quote_argument)
// but the record number and the operation letter: the line the panel shows,
// logs and hands to a Windows engine. For texts without a double quote it
// is the line the panel has always built.
std::string engine_command_line(const std::vector<EngineArgument>& arguments);
std::string engine_command_line(const EngineRun& run);

// Whether the texts (arguments 7 to 20) go to the engine in a file (--texts)
// rather than on its command line: only when one holds a byte beyond ASCII.
// Such a byte reaches qvx4.exe in the system's code page and a Linux engine
// under Wine as UTF-8, so the two would encode one form differently; in the
// file it is the Latin-1 byte that key books and files use, for both. Texts
// in plain ASCII reach every engine alike, so those runs stay as they were,
// also with an engine that has no --texts. A text with a line break cannot
// go in the file and stays on the command line.
bool texts_go_by_file(const std::vector<EngineArgument>& arguments);
// The file's contents: one text per line.
std::string texts_file_contents(const std::vector<EngineArgument>& arguments);

// Whether `text` holds a character beyond Latin-1 (path_text.h), which no
// engine can take as a personalization text.
bool beyond_latin1(std::string_view text);

}  // namespace qvxpanel
