// The run's output and its verdict.
//
// The last pass never writes the destination itself: it writes a private
// temporary file (created 0600 beside the destination, or beside the work
// files where no file can be made there), held by descriptor for the whole
// run. Once the last stage has run, the pipeline calls `place` once with the
// verdict folded from every pass's report: a complete run is renamed (or,
// from beside the work files, copied) over the destination; any other is
// wiped and the destination stays as it was.
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

class RunOutput {
 public:
  RunOutput() = default;
  ~RunOutput() { drop(); }
  RunOutput(const RunOutput&) = delete;
  RunOutput& operator=(const RunOutput&) = delete;

  // Creates the held temporary output for `target` (the file it will
  // replace) and registers it with the stop handler. False when no private
  // file could be made beside the target nor in `fallback_dir`.
  bool make(const std::string& target, const std::string& fallback_dir);

  // Opens the last stage's file on the held descriptor, emptied (never by
  // name, so a name swapped meanwhile leads our data nowhere else).
  // REQUIRES: make() succeeded and place() was not called yet.
  bool open(OutFile& out);

  // Called once, by the pipeline, after the last stage: puts the output in
  // place when `verdict` is complete, else wipes it; says so when it did
  // not land ("Error no se ha escrito el Destino <shown>..."). True when
  // the destination now holds the run's complete output.
  // REQUIRES: make() succeeded.
  bool place(const RunVerdict& verdict, const std::string& shown);

  // Wipes and releases the output unless it was placed. Idempotent.
  void drop();

  const HeldFile& file() const { return out_; }

 private:
  bool rename_into_place();
  bool copy_onto_target();

  HeldFile out_;
  std::string target_;
  bool copy_over_ = false;  // out_ lies beside the work files
  bool made_ = false;
  bool done_ = false;
};

}  // namespace qvx
