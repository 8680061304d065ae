// The engine's entry: dispatch on the number of parameters, the command-line
// run and its exit statuses.
#pragma once

#include "cipher/pipeline.h"

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

// Parameter k (1 to 20) when it is present and not the text "0"; else null.
const char* parameter(int argc, char** argv, int k);

// Work-file names: beside the source when six or more parameters name one.
WorkFiles work_files_for(int argc, char** argv);

// What the passes get from parameters 6 to 20, with the rule for the
// triples of passes 9 and 10.
RunParameters run_parameters(int argc, char** argv);

// The whole program; returns the exit status.
int run_engine(int argc, char** argv);

}  // namespace qvx
