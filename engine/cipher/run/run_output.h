// The run's output and its verdict.
//
// The last pass never writes the destination itself: it writes a private
// temporary file beside the destination (0600, on Linux without a name
// until it is complete), held by descriptor for the whole run. Once the
// last stage has run, the pipeline calls `place` once with the verdict
// folded from every pass's report: a complete run is synced, given its
// final mode and a name, closed (a close that fails is a write that may
// be lost) and renamed over the destination (synced first with --sync); any other is wiped and the
// destination stays as it was. There is no other way into place: writing
// over the old destination would destroy it when a run failed midway.
#pragma once

#include <string>

#include "cipher/passes/stage.h"
#include "platform/bytestream.h"
#include "platform/files.h"

namespace qvx {

// Folded from what each pass's report returned: complete only when every
// pass reported its output whole.
class RunVerdict {
 public:
  void add(Outcome o) {
    if (o != Outcome::complete) complete_ = false;
  }
  bool complete() const { return complete_; }

 private:
  bool complete_ = true;
};

// Where the output goes: a file put in place at the end; standard output
// as it is made ("-": nothing can be put in place, what was written stays
// written); or standard output only once the run is over and its check
// has passed (held in a private temporary file until then).
enum class Output { file, standard, standard_held };

class RunOutput {
 public:
  RunOutput() = default;
  ~RunOutput() { drop(); }
  RunOutput(const RunOutput&) = delete;
  RunOutput& operator=(const RunOutput&) = delete;

  // Creates the held temporary output for `target` (the file it will
  // replace) and registers it with the stop handler, after wiping what
  // runs that are gone left there. False when no private file could be
  // made beside the target.
  bool make(const std::string& target);
  // The output on standard output: written there as it comes, or (`held`)
  // held in a private file in `dir` and copied out when placed.
  bool make_standard(bool held, const std::string& dir);

  // Opens the last stage's file on the held descriptor, emptied (never by
  // name, so a name swapped meanwhile leads our data nowhere else).
  // REQUIRES: make() succeeded and place() was not called yet.
  bool open(OutFile& out);

  // Called once, by the pipeline, after the last stage: puts the output in
  // place when `verdict` is complete, else wipes it; says so when it did
  // not land ("Error no se ha escrito el Destino <shown>..."). True when
  // the destination now holds the run's complete output.
  // REQUIRES: make() succeeded.
  // `wanted` false (a failed check) wipes it without a word of its own.
  bool place(const RunVerdict& verdict, const std::string& shown, bool wanted = true);

  // Wipes and releases the output unless it was placed. Idempotent.
  void drop();

  const HeldFile& file() const { return out_; }
  // Written in order only (standard output as it is made).
  bool streams() const { return where_ == Output::standard; }

 private:
  bool make_in(const std::string& dir);
  bool rename_into_place();
  bool copy_to_standard_output();

  HeldFile out_;
  Output where_ = Output::file;
  std::string target_;
  std::string beside_;  // the folder the output is made in
  bool made_ = false;
  bool done_ = false;
};

// Whether a run's output and check file reach the disk before the run
// reports them done (--sync): each is synced before its rename, and the
// folder after it. Off by default, as with the tools a user compares the
// engine with: the system writes the output back when it will (ext4 still
// writes a file that replaces another before the rename is committed).
void set_sync_output(bool on);

// `n` bytes written as `name`, private (0600), through a temporary file
// beside it that is renamed into place (a check file beside the output).
bool put_beside(const std::string& name, const unsigned char* data, std::size_t n);

}  // namespace qvx
