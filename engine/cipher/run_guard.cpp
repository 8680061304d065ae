#include "cipher/run_guard.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include "console/console.h"
#include "console/progress.h"
#include "eraser/overwrite.h"
#include "io/path.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <io.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qvx {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSameFiles = " no se pueden llamar los dos ficheros igual, Cambie uno de los ficheros";

#if !defined(_WIN32)
// Every catchable signal whose default action ends the program.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP,  SIGQUIT,  SIGALRM,
                                SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF};
constexpr int kStops = sizeof kStopSignals / sizeof kStopSignals[0];
// Signals that must become failed writes instead of a silent end.
constexpr int kIgnored[] = {SIGPIPE, SIGXFSZ};
struct sigaction g_previous[kStops];
struct sigaction g_previous_ignored[2];

void on_stop_signal(int sig) {
  held::wipe_all_quietly();
  con::progress::erase();
  // End the way the signal would have ended us, so the caller can tell.
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

// Only signals that would end us are taken: one ignored since we started
// (nohup) or handled by a host program (a fuzzer's timer) is left as it is.
void arm() {
  struct sigaction sa {};
  sa.sa_handler = on_stop_signal;
  sigemptyset(&sa.sa_mask);
  for (int s : kStopSignals) sigaddset(&sa.sa_mask, s);
  for (int i = 0; i < kStops; ++i) {
    ::sigaction(kStopSignals[i], nullptr, &g_previous[i]);
    if (!(g_previous[i].sa_flags & SA_SIGINFO) && g_previous[i].sa_handler == SIG_DFL)
      ::sigaction(kStopSignals[i], &sa, nullptr);
  }
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (int i = 0; i < 2; ++i) ::sigaction(kIgnored[i], &ignore, &g_previous_ignored[i]);
}

void disarm() {
  for (int i = 0; i < kStops; ++i) ::sigaction(kStopSignals[i], &g_previous[i], nullptr);
  for (int i = 0; i < 2; ++i) ::sigaction(kIgnored[i], &g_previous_ignored[i], nullptr);
}

// Holds the stop signals off while a file and its name change together.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kStopSignals) sigaddset(&set, s);
    ::sigprocmask(SIG_BLOCK, &set, &old_);
  }
  ~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
};

// The finished file gets the mode the destination had, or the one a plain
// new file would get.
void give_mode(int fd, const std::string& target) {
  struct stat st;
  mode_t mode;
  if (::stat(target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd, mode);
}

// Would opening it for writing be refused to us? (Never for root.)
bool write_protected(const std::string& path) { return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0; }

int open_target(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  struct stat st;
  if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool rename_over(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }
#else
// Ctrl-C, Ctrl-Break, closing the console window, logging off and shutting
// down reach a console program as calls on a thread of their own. The
// run's thread is stopped first, so that it writes nothing after the wipe,
// but never while it changes a file and its name together (SignalsHeld).
SRWLOCK g_changing = SRWLOCK_INIT;
HANDLE g_run_thread = nullptr;

BOOL WINAPI on_console_stop(DWORD) {
  ::AcquireSRWLockExclusive(&g_changing);
  if (g_run_thread) ::SuspendThread(g_run_thread);
  held::wipe_all_quietly();
  // Ended as Ctrl-C ends a console program. Nothing else runs: the stopped
  // thread may hold a lock the C runtime's exit would wait for.
  ::TerminateProcess(::GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return TRUE;
}

void arm() {
  ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &g_run_thread,
                    THREAD_SUSPEND_RESUME, FALSE, 0);
  ::SetConsoleCtrlHandler(on_console_stop, TRUE);
}

void disarm() {
  ::SetConsoleCtrlHandler(on_console_stop, FALSE);
  if (g_run_thread) ::CloseHandle(g_run_thread);
  g_run_thread = nullptr;
}

class SignalsHeld {
 public:
  SignalsHeld() { ::AcquireSRWLockExclusive(&g_changing); }
  ~SignalsHeld() { ::ReleaseSRWLockExclusive(&g_changing); }
};

void give_mode(int, const std::string&) {}
bool write_protected(const std::string& path) { return ::_access(path.c_str(), 2) != 0; }
int open_target(const std::string& path) { return files::open_output(path.c_str()); }
bool rename_over(const std::string& from, const std::string& to) {
  HeldFile* f = held::find(from.c_str());
  return f && held::rename_to(*f, to);
}
#endif

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

bool same_file(const char* a, const files::Identity& b) {
  files::Identity id;
  return a && files::identity(a, id) && id == b;
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

RunGuard::RunGuard(coder& c, const WorkFiles& work, const RunFiles& others) : c_(c) {
  c_.fallo = false;
  work_[0].name = work.first;
  work_[1].name = work.second;
  arm();
  target_ = final_target(c_.destino);
  ready_ = destination_allowed(work, others) && claim_work_files() && destination_allowed(work, others) &&
           make_output();
  if (!ready_) {
    c_.fallo = true;
    for (HeldFile* f : {&work_[0], &work_[1], &out_}) drop(*f);
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
    clash = clash || (c_.dir == Direction::decode && same_file(c_.porigen(), dest)) || same_file(others.book, dest) ||
            same_file(others.confirmation, dest) || same_file(work.first.c_str(), dest) ||
            same_file(work.second.c_str(), dest);
  }
  files::Identity source;
  if (files::identity(c_.porigen(), source))
    clash = clash || same_file(work.first.c_str(), source) || same_file(work.second.c_str(), source);
  if (clash) {
    con::line(kSameFiles);
    return false;
  }
  std::error_code ec;
  if (exists && (!fs::is_regular_file(fs_path(target_), ec) || write_protected(target_))) {
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
    held::add(f);
  }
  return true;
}

bool RunGuard::make_output() {
  const std::string beside = fs_name(fs_path(target_).parent_path());
  if (!held::create_temporary(out_, beside)) {
    copy_over_ = true;
    if (!held::create_temporary(out_, fs_name(fs_path(work_[0].name).parent_path()))) {
      c_.report_open_failure(c_.dir == Direction::decode);
      return false;
    }
  }
  held::add(out_);
  c_.escritura = out_.name;
  c_.escritura_set = true;
  return true;
}

void RunGuard::wipe(int which, const char* shown_name) {
  // Decoding wipes the first work file twice: once wiped and removed, it
  // holds only the "0" of its cut, and wiping that again would only sync.
  if (!ready_ || !work_[which].named || eraser::erase_held(work_[which])) return;
  con::line(std::string("Error no se ha borrado el fichero ") + shown_name + ", !Queda Un Rastro!");
}

// Renames the output into place, after checking that its name still
// leads to the file we wrote.
bool RunGuard::place() {
  if (copy_over_) return copy_onto_target();
  if (!same_file(out_.name.c_str(), out_.id)) return false;
  give_mode(out_.fd, target_);
  if (!rename_over(out_.name, target_)) return false;
  out_.named = false;  // the name is the destination's now: never to be wiped
  return true;
}

// Only where no file could be made beside the destination: it is written
// in place, from the complete output, once every pass has succeeded.
bool RunGuard::copy_onto_target() {
  uint64_t size = 0;
  if (!files::size_of(out_.fd, size)) return false;
  const int fd = open_target(target_);
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

// Overwrites, cuts and removes one of our files, silently.
void RunGuard::drop(HeldFile& f) {
  held::wipe_quietly(f);
  held::release(f);
}

bool RunGuard::finish() {
  if (done_ || !ready_) return false;
  done_ = true;
  SignalsHeld held;
  const bool placed = !c_.fallo && place();
  if (placed && !copy_over_) {
    held::release(out_);
  } else {
    drop(out_);
  }
  c_.escritura_set = false;
  if (!placed)
    con::line(std::string("Error no se ha escrito el Destino ") + c_.destino + ", el proceso no ha terminado bien");
  return placed;
}

RunGuard::~RunGuard() {
  {
    SignalsHeld held;
    if (ready_ && !done_) drop(out_);
    for (HeldFile& f : work_) held::release(f);
  }
  disarm();
}

}  // namespace qvx
