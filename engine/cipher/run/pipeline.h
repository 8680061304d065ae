// The encoding and decoding runs: 23 passes through two work files, then the
// work files are wiped.
#pragma once

#include <string>

#include "cipher/passes/coder.h"
#include "keybook/base.h"

namespace qvx {

struct WorkFiles {
  std::string first = "qvx01.qvx";
  std::string second = "qvx02.qvx";
};

// What the command line hands to the passes. A null text means "no
// parameter": the pass uses its built-in text.
struct RunParameters {
  const char* confirmation = nullptr;  // pass 23
  const char* text[8] = {};            // passes 1 to 8
  const char* abc9[3] = {};            // pass 9, texts A, B, C
  const char* abc10[3] = {};           // pass 10
  bool run9 = true;                    // false: left out on both sides
  bool run10 = true;
};

// Command-line runs (source and destination given). True when the run
// completed and its output is in place.
// REQUIRES: `book`'s active record was really read (base::activar returned
// its number). A record only named, as base(path, n) names it, has empty
// keys: every pass then copies, and the "encoded" file is the plain text.
bool encode_from_command_line(const base& book, const char* source, const char* destination,
                              const RunParameters& params, const WorkFiles& work);
bool decode_from_command_line(const base& book, const char* source, const char* destination,
                              const RunParameters& params, const WorkFiles& work);

// The sweeps a command-line run with `record` and `params` makes for a
// source of `size` bytes, one line each (for notes and the benchmark).
std::string describe_run(const KeyRecord& record, Direction d, uint64_t size, const RunParameters& params = {});

// Menu runs: the coder asks for the names, every text is built in, and pass
// 23 asks whether to use a confirmation file.
// REQUIRES: as above, a record that was read.
void encode_interactive(const base& book, const WorkFiles& work);
void decode_interactive(const base& book, const WorkFiles& work);

}  // namespace qvx
