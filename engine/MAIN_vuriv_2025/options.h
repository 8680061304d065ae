// Options written before the positional parameters:
//   qvx7 [--script] [--check] [--sync] [--texts FILE] book n c|d source destination ...
// They are taken off before the parameters are counted, so the dispatch on
// the count is that of the same command line without them. Only these
// exact words are options, and only in front: every other first word is a
// key book's name, as it always was.
#pragma once

#include <string>
#include <vector>

namespace qvx {

struct Options {
  bool script = false;          // --script: quiet, errors on stderr, shell statuses
  bool check = false;           // --check: write, or require, the check file
  bool sync = false;            // --sync: the output on the disk before the run ends
  const char* texts = nullptr;  // --texts FILE: parameters 7 to 20 from FILE
  bool any() const { return script || check || sync || texts; }
};

// The command line with its options taken off and, with --texts, the
// file's lines in place of parameters 7 on (parameter 6 given as "0" when
// the command line has none).
struct OptionLine {
  OptionLine() = default;
  OptionLine(const OptionLine&) = delete;  // argv points into texts
  OptionLine& operator=(const OptionLine&) = delete;
  OptionLine(OptionLine&&) = default;
  Options options;
  std::vector<std::string> texts;  // the file's lines, owned here
  std::vector<char*> argv;         // element 0 and the parameters, then null
  int argc() const { return static_cast<int>(argv.size()) - 1; }
  std::string error;               // not empty: the line is refused, for this reason
};

// How many argument words the options in front take (element 0 not
// counted): the parameters start at element 1 + this.
int option_words(int argc, char** argv);

// Takes the options off and reads the texts file. A texts file that others
// may read gets a warning on standard error.
OptionLine take_options(int argc, char** argv);

// The lines of a texts file: a line break ends a line (CR LF too), the last
// one needs none. False, with the reason in `error`, for a line holding a
// NUL byte (no parameter can) or more lines than parameters 7 to 20.
bool split_texts(const std::string& bytes, std::vector<std::string>& lines, std::string& error);

}  // namespace qvx
