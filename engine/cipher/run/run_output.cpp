#include "cipher/run/run_output.h"

#include "console/console.h"
#include "platform/path.h"
#include "platform/standard.h"
#include "platform/stop_signals.h"

namespace qvx {
namespace {

std::string parent_of(const std::string& name) { return fs_name(fs_path(name).parent_path()); }

bool g_sync_output = false;

}  // namespace

bool RunOutput::make(const std::string& target) {
  target_ = target;
  return make_in(parent_of(target));
}

bool RunOutput::make_in(const std::string& dir) {
  beside_ = dir;
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
  if (held) return make_in(dir);
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

namespace {

// Puts a complete held file over `target`: on the disk first (--sync), then
// (with `final_mode`) the mode the target should have and a name in `dir`,
// then the last close of what we wrote (which may be the first to report a
// lost write), then the rename, once its name still leads to the file we
// wrote. A spare descriptor keeps the lock and serves the wipe should a step
// fail. Once renamed the file is in place, whatever the folder's sync says:
// that is only warned of.
bool settle_over(HeldFile& f, const std::string& dir, const std::string& target, bool final_mode) {
  if (g_sync_output && !files::sync(f.fd)) return false;
  if (final_mode) files::give_mode_of(f.fd, target);
  if (!held::give_name(f, dir) || !files::same_file(f.name.c_str(), f.id)) return false;
  const int spare = files::duplicate(f.fd);
  if (spare < 0) return false;
  const bool closed = files::close(f.fd);
  f.fd = spare;
  if (!closed || !held::rename_over(f, target)) return false;
  if (g_sync_output && !files::sync_folder(dir))
    con::warning("Aviso: no se ha podido llevar al disco la carpeta de " + target);
  return true;
}

}  // namespace

bool RunOutput::rename_into_place() { return settle_over(out_, beside_, target_, true); }

bool RunOutput::place(const RunVerdict& verdict, const std::string& shown, bool wanted) {
  if (done_ || !made_) return false;
  done_ = true;
  stops::Held held;
  bool placed = wanted && verdict.complete();
  if (placed && where_ == Output::standard_held) placed = copy_to_standard_output();
  else if (placed && where_ == Output::file) placed = rename_into_place();
  // A held copy for standard output has served once it was copied out.
  if (placed && where_ != Output::standard_held) {
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

void set_sync_output(bool on) { g_sync_output = on; }

bool put_beside(const std::string& name, const unsigned char* data, std::size_t n) {
  const std::string dir = parent_of(name);
  HeldFile f;
  if (!held::create_temporary(f, dir)) return false;
  if (!held::add(f)) {
    held::wipe_quietly(f);
    held::release(f);
    return false;
  }
  bool ok = files::write_at(f.fd, data, n, 0) == n;
  {
    stops::Held hold;
    ok = ok && settle_over(f, dir, name, false);
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
