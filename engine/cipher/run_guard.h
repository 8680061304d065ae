// What keeps a run safe from its start to its end, whoever else uses the
// machine and however the run ends.
//
// - Before any pass, the files the run must never overwrite are compared
//   with the destination by identity (device and inode), not by spelling.
// - Both work files are claimed once (private, locked, see files.h) and
//   every pass, wipe and stop uses the held descriptors; a second run in
//   the same place waits for the first.
// - The last pass writes a private temporary file beside the destination,
//   which `finish` renames into place only when no pass reported a fault.
//   Where no file can be made beside it, the temporary file lies beside
//   the work files and is copied onto the destination at the end.
// - While a guard lives, every catchable signal that would end the program
//   wipes the held files and then ends the program by that same signal;
//   SIGPIPE and SIGXFSZ are ignored so that they show up as failed writes,
//   which the passes report.
#pragma once

#include <functional>
#include <string>

#include "cipher/coder.h"
#include "io/files.h"
#include "cipher/pipeline.h"

namespace qvx {

// Files besides the source that the destination must never be.
struct RunFiles {
  const char* book = nullptr;          // the key book in use
  const char* confirmation = nullptr;  // the confirmation file, when named
};

// Where the output goes: a file put in place at the end; standard output
// as it is made ("-": nothing can be put in place, what was written stays
// written); or standard output only once the run is over and its check
// has passed (held in a private temporary file until then).
enum class Output { file, standard, standard_held };

class RunGuard {
 public:
  // `first`, when given, runs once the stop signals are caught and before
  // the work files are claimed (reading standard input to its end: another
  // run in the same place, the one that writes it, may hold them until it
  // has been read); false stops the run there.
  RunGuard(coder& c, const WorkFiles& work, const RunFiles& others, Output output = Output::file,
           const std::function<bool()>& first = {});
  ~RunGuard();
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;

  // False when the run must not start; the reason has been shown.
  bool ready() const { return ready_; }

  // The erase of work file 0 (first) or 1 (second) between and after the
  // passes; `shown_name` is the name its failure message gives.
  void wipe(int which, const char* shown_name);

  // After the last pass: puts the output in place, or wipes it and says
  // so. True when the destination now holds the run's complete output.
  // `wanted` false (a failed check) wipes it without a word of its own.
  bool finish(bool wanted = true);

  // After `finish` placed the output: `n` bytes written as `name` beside
  // it, private (0600), through a temporary file renamed into place.
  bool put_beside(const std::string& name, const unsigned char* data, std::size_t n);

 private:
  bool destination_allowed(const WorkFiles& work, const RunFiles& others);
  bool claim_work_files();
  bool make_output();
  bool place();
  bool copy_onto_target();
  bool copy_to_standard_output();
  void drop(HeldFile& f);

  coder& c_;
  HeldFile work_[2];
  HeldFile out_;
  std::string target_;      // what the output finally replaces
  bool copy_over_ = false;  // out_ lies beside the work files
  Output output_;
  bool ready_ = false;
  bool done_ = false;
};

}  // namespace qvx
