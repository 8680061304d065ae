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

// The folder a name lies in, spelt in full, for messages and comparisons.
fs::path folder_of(const std::string& name) {
  std::error_code ec;
  const fs::path folder = fs::absolute(fs_path(name), ec).parent_path();
  const fs::path canonical = fs::weakly_canonical(folder, ec);
  return ec ? folder : canonical;
}

// For names that may not exist yet; a link at the name is the name itself.
bool same_path(const std::string& a, const std::string& b) {
  return folder_of(a) / fs_path(a).filename() == folder_of(b) / fs_path(b).filename();
}

void report_unsafe(const std::string& name) {
  con::line("Error el fichero temporal " + name +
            " no es un fichero propio (enlace, directorio, fifo, dispositivo o de otro usuario), no se procesa");
}

void report_waiting(const std::string& name) {
  con::line("Esperando a que termine otro proceso que usa el fichero temporal " + name);
}

void report_not_made(const std::string& name) {
  con::line("Error no se puede crear el fichero temporal " + name + " en la carpeta " + fs_name(folder_of(name)) +
            ", no se procesa");
}

}  // namespace

RunGuard::RunGuard(const coder& c, const WorkFiles& work, const RunFiles& others, Output output,
                   const std::function<bool()>& first)
    : stops_(con::progress::erase), c_(c) {
  work_[0].name = work.first;
  work_[1].name = work.second;
  if (first && !first()) {
    ready_ = false;
  } else if (output != Output::file) {
    // Standard output: no file to check, none to put in place.
    ready_ = claim_work_files() &&
             output_.make_standard(output == Output::standard_held, fs_name(fs_path(work.first).parent_path()));
  } else {
    // A link at the destination is replaced itself: what it points to may be
    // any file of the user's.
    target_ = c_.destino;
    // The destination is checked again once the work files are ours: one
    // of them may have been planted under the destination's name meanwhile.
    ready_ = destination_allowed(work, others) && claim_work_files() && destination_allowed(work, others) &&
             make_output();
  }
  if (!ready_) {
    for (HeldFile& f : work_) {
      held::wipe_quietly(f);
      held::release(f);
    }
    output_.drop();
  }
}

// Writing over the key book, the confirmation file or a work file would
// destroy what the run needs; a work file as source would be overwritten
// before it is read. (The source itself may be the destination: it is read
// before the output takes its name.) A destination that is not a regular
// file or a link, or that we may not write, is refused as a pass refuses a
// file that does not open; one that another user owns, with a message of
// its own.
bool RunGuard::destination_allowed(const WorkFiles& work, const RunFiles& others) {
  files::Identity dest;
  const bool exists = files::identity_of_name(target_.c_str(), dest);
  bool clash = same_path(target_, work.first) || same_path(target_, work.second);
  if (exists) {
    clash = clash || files::same_file(others.book, dest) || files::same_file(others.confirmation, dest) ||
            files::same_file(work.first.c_str(), dest) || files::same_file(work.second.c_str(), dest);
  }
  files::Identity source;
  if (files::identity(c_.porigen(), source))
    clash = clash || files::same_file(work.first.c_str(), source) || files::same_file(work.second.c_str(), source);
  if (clash) {
    con::line(kSameFiles);
    return false;
  }
  if (!exists) return true;
  std::error_code ec;
  const fs::file_status st = fs::symlink_status(fs_path(target_), ec);
  if (fs::is_symlink(st)) return true;
  if (files::owned_by_another(target_)) {
    con::line("Error el fichero de Destino " + target_ + " es de otro usuario, no se reescribe");
    return false;
  }
  if (!fs::is_regular_file(st) || files::write_protected(target_)) {
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
    if (got == Claim::failed) report_not_made(f.name);
    if (got != Claim::ok) return false;
    if (!held::add(f)) {
      // No room left to have it wiped on a stop: not a run to start.
      c_.report_open_failure(c_.dir == Direction::decode);
      return false;
    }
  }
  return true;
}

// The output is made beside the destination, or the run does not start:
// writing over the old destination in place would destroy it when the run
// failed midway, and two runs onto it would mix their data.
bool RunGuard::make_output() {
  if (output_.make(target_)) return true;
  con::line("Error no se puede crear el fichero temporal del Destino en la carpeta " + fs_name(folder_of(target_)) +
            ", no se procesa");
  return false;
}

void RunGuard::wipe(int which, const char* shown_name) {
  if (!ready_) return;
  const eraser::Erased e = eraser::erase_held(work_[which]);
  if (!e.wiped) con::line(std::string("Error no se ha borrado el fichero ") + shown_name + ", !Queda Un Rastro!");
  if (!e.wiped || !e.removed) wipes_failed_ = true;
}

RunGuard::~RunGuard() {
  stops::Held held;
  output_.drop();  // a run that never got to placing leaves nothing behind
  for (HeldFile& f : work_) held::release(f);
}

}  // namespace qvx
