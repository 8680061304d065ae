#include "cipher/run/run_output.h"

#include <memory>

#include "console/console.h"
#include "platform/path.h"
#include "platform/stop_signals.h"

namespace qvx {
namespace {

std::string parent_of(const std::string& name) { return fs_name(fs_path(name).parent_path()); }

}  // namespace

bool RunOutput::make(const std::string& target, const std::string& fallback_dir) {
  target_ = target;
  if (!held::create_temporary(out_, parent_of(target))) {
    copy_over_ = true;
    if (!held::create_temporary(out_, fallback_dir)) return false;
  }
  if (!held::add(out_)) {
    held::wipe_quietly(out_);
    held::release(out_);
    return false;
  }
  made_ = true;
  return true;
}

bool RunOutput::open(OutFile& out) { return made_ && !done_ && out.open(out_); }

// Renames the output into place, after checking that its name still
// leads to the file we wrote.
bool RunOutput::rename_into_place() {
  if (!files::same_file(out_.name.c_str(), out_.id)) return false;
  files::give_mode_of(out_.fd, target_);
  return held::rename_over(out_, target_);
}

// Only where no file could be made beside the destination: it is written
// in place, from the complete output, once every pass has succeeded.
bool RunOutput::copy_onto_target() {
  uint64_t size = 0;
  if (!files::size_of(out_.fd, size)) return false;
  const int fd = files::open_target(target_);
  if (fd < 0) return false;
  static constexpr std::size_t kChunk = 256 * 1024;
  auto chunk = std::make_unique_for_overwrite<unsigned char[]>(kChunk);
  bool ok = true;
  for (uint64_t at = 0; ok && at < size;) {
    bool failed = false;
    const std::size_t n = files::read_at(out_.fd, chunk.get(), kChunk, at, failed);
    ok = !failed && n > 0 && files::write_at(fd, chunk.get(), n, at) == n;
    at += n;
  }
  ok = ok && files::truncate(fd, size) && files::sync(fd);
  files::close(fd);
  return ok;
}

bool RunOutput::place(const RunVerdict& verdict, const std::string& shown) {
  if (done_ || !made_) return false;
  done_ = true;
  stops::Held held;
  const bool placed = verdict.complete() && (copy_over_ ? copy_onto_target() : rename_into_place());
  if (placed && !copy_over_) {
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
