#include "cipher/run_guard.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "console/console.h"
#include "eraser/overwrite.h"
#include "port/path.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qvx {
namespace {

namespace fs = std::filesystem;

// What the handler wipes: the two work files and the unfinished output.
// Plain pointers into strings the guard owns, read lock-free by the handler.
std::atomic<const char*> g_wiped[3] = {nullptr, nullptr, nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free);

#if !defined(_WIN32)
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[3];
struct sigaction g_previous_xfsz;

void on_stop_signal(int sig) {
  for (auto& p : g_wiped) {
    if (const char* path = p.load()) eraser::wipe_quietly(path);
  }
  // End the way the signal would have ended us, so the caller can tell.
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

void arm() {
  struct sigaction sa {};
  sa.sa_handler = on_stop_signal;
  sigemptyset(&sa.sa_mask);
  for (int s : kStopSignals) sigaddset(&sa.sa_mask, s);
  for (int i = 0; i < 3; ++i) ::sigaction(kStopSignals[i], &sa, &g_previous[i]);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGXFSZ, &ignore, &g_previous_xfsz);
}

void disarm() {
  for (int i = 0; i < 3; ++i) ::sigaction(kStopSignals[i], &g_previous[i], nullptr);
  ::sigaction(SIGXFSZ, &g_previous_xfsz, nullptr);
}

// Holds the stop signals off while a file and its entry change together.
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

// A new, empty file only we can read: a partly decoded output is plaintext.
bool create_private(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

// The finished file gets the mode the destination had, or the one a plain
// new file would get.
void give_mode(const std::string& path, const std::string& target) {
  struct stat st;
  mode_t mode;
  if (::stat(target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::chmod(path.c_str(), mode);
}

long process_id() { return static_cast<long>(::getpid()); }
#else
void arm() {}
void disarm() {}
struct SignalsHeld {
  SignalsHeld() {}  // nothing to hold off where there are no such signals
};
bool create_private(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wbx");
  if (!f) return false;
  std::fclose(f);
  return true;
}
void give_mode(const std::string&, const std::string&) {}
long process_id() { return 0; }
#endif

// The file the output should finally replace: through a symbolic link to
// its target, so the link stays. Empty when the output cannot go through a
// temporary file (not a plain file, e.g. a device or a directory): then the
// destination is written directly, as it always was.
std::string final_target(const char* destination) {
  std::error_code ec;
  fs::path p = fs_path(destination);
  fs::file_status st = fs::symlink_status(p, ec);
  // A name the system rejects (too long, a file used as a directory) fails
  // to open in the pass, with the usual message.
  if (ec && ec != std::errc::no_such_file_or_directory) return {};
  if (fs::is_symlink(st)) {
    p = fs::canonical(p, ec);
    if (ec) return {};
    st = fs::symlink_status(p, ec);
  }
  if (fs::exists(st) && !fs::is_regular_file(st)) return {};
  if (p.empty() || !p.has_filename()) return {};
  return fs_name(p);
}

}  // namespace


std::string RunGuard::temporary_name(const std::string& destination, long pid) {
  const fs::path beside = fs_path(destination).parent_path();
  return fs_name(beside / ("qvx03-" + std::to_string(pid) + ".qvx"));
}

RunGuard::RunGuard(coder& c, const WorkFiles& work) : c_(c) {
  c_.fallo = false;
  g_wiped[0] = work.first.c_str();
  g_wiped[1] = work.second.c_str();
  arm();
  if (!c_.pdestino()) return;
  target_ = final_target(c_.pdestino());
  if (target_.empty()) return;
  SignalsHeld held;
  const std::string name = temporary_name(target_, process_id());
  if (!create_private(name)) return;  // e.g. a directory we may not create in
  temporary_ = name;
  g_wiped[2] = temporary_.c_str();
  c_.escritura = temporary_;
  c_.escritura_set = true;
}

void RunGuard::finish() {
  if (done_ || temporary_.empty()) return;
  done_ = true;
  SignalsHeld held;
  bool placed = false;
  if (!c_.fallo) {
    give_mode(temporary_, target_);
    std::error_code ec;
    fs::rename(fs_path(temporary_), fs_path(target_), ec);
    placed = !ec;
  }
  if (!placed) eraser::wipe_quietly(temporary_.c_str());
  g_wiped[2] = nullptr;
  c_.escritura_set = false;
  if (!placed)
    con::line(std::string("Error no se ha escrito el Destino ") + c_.destino + ", el proceso no ha terminado bien");
}

RunGuard::~RunGuard() {
  if (!done_ && !temporary_.empty()) {
    SignalsHeld held;
    eraser::wipe_quietly(temporary_.c_str());
    g_wiped[2] = nullptr;
  }
  disarm();
  g_wiped[0] = nullptr;
  g_wiped[1] = nullptr;
}

}  // namespace qvx
