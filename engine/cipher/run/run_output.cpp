#include "cipher/run/run_output.h"

#include "console/console.h"
#include "platform/path.h"
#include "platform/stop_signals.h"

namespace qvx {
namespace {

std::string parent_of(const std::string& name) { return fs_name(fs_path(name).parent_path()); }

}  // namespace

bool RunOutput::make(const std::string& target) {
  target_ = target;
  beside_ = parent_of(target);
  held::wipe_stale_temporaries(beside_);
  if (!held::create_temporary(out_, beside_)) return false;
  if (!held::add(out_)) {
    held::wipe_quietly(out_);
    held::release(out_);
    return false;
  }
  made_ = true;
  return true;
}

bool RunOutput::open(OutFile& out) { return made_ && !done_ && out.open(out_); }

// Puts the output in place: on the disk first, then its final mode and a
// name, then the last close of what we wrote (which may be the first to
// report a lost write), then the rename, once its name still leads to the
// file we wrote. A spare descriptor keeps the lock and serves the wipe
// should a step fail.
bool RunOutput::rename_into_place() {
  if (!files::sync(out_.fd)) return false;
  files::give_mode_of(out_.fd, target_);
  if (!held::give_name(out_, beside_) || !files::same_file(out_.name.c_str(), out_.id)) return false;
  const int spare = files::duplicate(out_.fd);
  if (spare < 0) return false;
  const bool closed = files::close(out_.fd);
  out_.fd = spare;
  return closed && held::rename_over(out_, target_);
}

bool RunOutput::place(const RunVerdict& verdict, const std::string& shown) {
  if (done_ || !made_) return false;
  done_ = true;
  stops::Held held;
  const bool placed = verdict.complete() && rename_into_place();
  if (placed) {
    held::release(out_);
  } else {
    held::wipe_quietly(out_);
    held::release(out_);
  }
  if (!placed) con::line("Error no se ha escrito el Destino " + shown + ", el proceso no ha terminado bien");
  return placed;
}

void RunOutput::drop() {
  if (!made_ || done_) return;
  done_ = true;
  held::wipe_quietly(out_);
  held::release(out_);
}

}  // namespace qvx
