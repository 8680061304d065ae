// The engine's entry: dispatch on the number of parameters, the command-line
// run and its exit statuses.
#pragma once

#include "contract/command_layout.h"
#include "cipher/run/pipeline.h"

namespace qvx {

// Exit statuses of a run.
enum Status : int {
  kNothingDone = 0,
  kUnknownOperation = 2,
  kDecoded = 3,
  kEncoded = 4,
  kMainMenuLeft = 5,
  kBookMenuLeft = 6,
  kBookMenuWithRecordLeft = 7,
  kRunFailed = 8,  // a run was entered but its output was not put in place
};

// The command line, read once at the start.
struct CommandLine {
  int count = 0;                               // parameters given, the ignored ones included
  const char* given[cmdline::kLast + 1] = {};  // parameter k as given; null when absent

  // Parameter k (1 to 20) when it is given and is not the text "0"; else null.
  const char* set(int k) const;
};
CommandLine parse_command_line(int argc, char** argv);

// Work-file names: beside the source when six or more parameters name one.
WorkFiles work_files_for(const CommandLine& line);

// What the passes get from parameters 6 to 20, with the rule for the
// triples of passes 9 and 10.
RunParameters run_parameters(const CommandLine& line);

// The same straight from the argument vector.
inline WorkFiles work_files_for(int argc, char** argv) { return work_files_for(parse_command_line(argc, argv)); }
inline RunParameters run_parameters(int argc, char** argv) { return run_parameters(parse_command_line(argc, argv)); }

// The whole program; returns the exit status.
int run_engine(int argc, char** argv);

}  // namespace qvx
