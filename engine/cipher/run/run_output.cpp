#include "cipher/run/run_output.h"

#include "console/console.h"
#include "platform/path.h"
#include "platform/standard.h"
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

bool RunOutput::make_standard(bool held, const std::string& dir) {
  where_ = held ? Output::standard_held : Output::standard;
  standard::set_binary(standard::kOutput);
  if (held) return make(fs_name(fs_path(dir) / "-"));
  made_ = true;
  return true;
}

bool RunOutput::open(OutFile& out) {
  if (!made_ || done_) return false;
  return where_ == Output::standard ? out.open_stream(standard::kOutput) : out.open(out_);
}

// The held output, complete and checked, out to standard output.
bool RunOutput::copy_to_standard_output() {
  InFile in;
  OutFile to;
  const bool opened = in.open(out_) && to.open_stream(standard::kOutput);
  const uint64_t copied = opened ? copy_bytes(in, to, in.size()) : 0;
  return to.close() && opened && in.ok() && copied == in.size();
}

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

bool RunOutput::place(const RunVerdict& verdict, const std::string& shown, bool wanted) {
  if (done_ || !made_) return false;
  done_ = true;
  stops::Held held;
  bool placed = wanted && verdict.complete();
  if (placed && where_ == Output::standard_held) placed = copy_to_standard_output();
  else if (placed && where_ == Output::file) placed = rename_into_place();
  if (placed && where_ == Output::file) {
    held::release(out_);
  } else {
    held::wipe_quietly(out_);
    held::release(out_);
  }
  if (!placed && wanted && where_ == Output::standard)
    con::error_line("Error la salida estandar no ha recibido el resultado entero, el proceso no ha terminado bien");
  else if (!placed && wanted)
    con::error_line("Error no se ha escrito el Destino " + shown + ", el proceso no ha terminado bien");
  return placed;
}

bool put_beside(const std::string& name, const unsigned char* data, std::size_t n) {
  HeldFile f;
  const std::string folder = parent_of(name);
  if (!held::create_temporary(f, folder)) return false;
  if (!held::add(f)) {
    held::wipe_quietly(f);
    held::release(f);
    return false;
  }
  bool ok = files::write_at(f.fd, data, n, 0) == n && files::sync(f.fd);
  {
    stops::Held hold;
    ok = ok && held::give_name(f, folder) && files::same_file(f.name.c_str(), f.id) && held::rename_over(f, name);
    if (!ok) held::wipe_quietly(f);
  }
  held::release(f);
  return ok;
}

void RunOutput::drop() {
  if (!made_ || done_) return;
  done_ = true;
  held::wipe_quietly(out_);
  held::release(out_);
}

}  // namespace qvx
