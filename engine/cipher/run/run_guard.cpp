#include "cipher/run/run_guard.h"

#include <filesystem>
#include <system_error>

#include "console/console.h"
#include "console/progress.h"
#include "eraser/overwrite.h"
#include "platform/path.h"

namespace qvx {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSameFiles = " no se pueden llamar los dos ficheros igual, Cambie uno de los ficheros";

// The file the output should finally replace: through a symbolic link to
// its target, so the link stays.
std::string final_target(const std::string& destination) {
  std::error_code ec;
  const fs::path p = fs_path(destination);
  if (fs::is_symlink(fs::symlink_status(p, ec))) {
    const fs::path resolved = fs::weakly_canonical(p, ec);
    if (!ec) return fs_name(resolved);
  }
  return destination;
}

// For names that may not exist yet.
bool same_path(const std::string& a, const std::string& b) {
  std::error_code ec1, ec2;
  const fs::path x = fs::weakly_canonical(fs_path(a), ec1);
  const fs::path y = fs::weakly_canonical(fs_path(b), ec2);
  return !ec1 && !ec2 && x == y;
}

void report_unsafe(const std::string& name) {
  con::line("Error el fichero temporal " + name +
            " no es un fichero propio (enlace, directorio, fifo, dispositivo o de otro usuario), no se procesa");
}

void report_waiting(const std::string& name) {
  con::line("Esperando a que termine otro proceso que usa el fichero temporal " + name);
}

}  // namespace

RunGuard::RunGuard(const coder& c, const WorkFiles& work, const RunFiles& others)
    : stops_(con::progress::erase), c_(c) {
  work_[0].name = work.first;
  work_[1].name = work.second;
  target_ = final_target(c_.destino);
  // The destination is checked again once the work files are ours: one
  // of them may have been planted under the destination's name meanwhile.
  ready_ = destination_allowed(work, others) && claim_work_files() && destination_allowed(work, others) &&
           make_output();
  if (!ready_) {
    for (HeldFile& f : work_) {
      held::wipe_quietly(f);
      held::release(f);
    }
    output_.drop();
  }
}

// Decoding onto its own source, or writing over the key book, the
// confirmation file or a work file, would destroy what the run needs;
// a work file as source would be overwritten before it is read. A
// destination that is not a regular file, or that we may not write, is
// refused as a pass refuses a file that does not open.
bool RunGuard::destination_allowed(const WorkFiles& work, const RunFiles& others) {
  files::Identity dest;
  const bool exists = files::identity(target_.c_str(), dest);
  bool clash = same_path(target_, work.first) || same_path(target_, work.second);
  if (exists) {
    clash = clash || (c_.dir == Direction::decode && files::same_file(c_.porigen(), dest)) || files::same_file(others.book, dest) ||
            files::same_file(others.confirmation, dest) || files::same_file(work.first.c_str(), dest) ||
            files::same_file(work.second.c_str(), dest);
  }
  files::Identity source;
  if (files::identity(c_.porigen(), source))
    clash = clash || files::same_file(work.first.c_str(), source) || files::same_file(work.second.c_str(), source);
  if (clash) {
    con::line(kSameFiles);
    return false;
  }
  std::error_code ec;
  if (exists && (!fs::is_regular_file(fs_path(target_), ec) || files::write_protected(target_))) {
    c_.report_open_failure(c_.dir == Direction::decode);
    return false;
  }
  return true;
}

bool RunGuard::claim_work_files() {
  for (HeldFile& f : work_) {
    if (f.fd >= 0) continue;
    const Claim got = held::claim_work_file(f, [&] { report_waiting(f.name); });
    if (got == Claim::unsafe) report_unsafe(f.name);
    if (got == Claim::failed) c_.report_open_failure(c_.dir == Direction::decode);
    if (got != Claim::ok) return false;
    if (!held::add(f)) {
      // No room left to have it wiped on a stop: not a run to start.
      c_.report_open_failure(c_.dir == Direction::decode);
      return false;
    }
  }
  return true;
}

bool RunGuard::make_output() {
  if (output_.make(target_, fs_name(fs_path(work_[0].name).parent_path()))) return true;
  c_.report_open_failure(c_.dir == Direction::decode);
  return false;
}

void RunGuard::wipe(int which, const char* shown_name) {
  // Decoding wipes the first work file twice: once wiped and removed, it
  // holds only the "0" of its cut, and wiping that again would only sync.
  if (!ready_ || !work_[which].named || eraser::erase_held(work_[which])) return;
  con::line(std::string("Error no se ha borrado el fichero ") + shown_name + ", !Queda Un Rastro!");
}

RunGuard::~RunGuard() {
  stops::Held held;
  output_.drop();  // a run that never got to placing leaves nothing behind
  for (HeldFile& f : work_) held::release(f);
}

}  // namespace qvx
