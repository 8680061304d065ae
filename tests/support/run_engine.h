// Runs the built engine the way a user or the panel does: in a directory of
// its own, with given parameters and standard input, and hands back exactly
// what it printed, its exit status and the files it left.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "testutil.h"

namespace qvx::testing {

struct RunResult {
  std::string out;            // stdout bytes
  std::string err;            // stderr bytes
  int status = -1;            // exit status, or -1 when it did not exit normally
  int signal = 0;             // the signal that ended it, if one did
  bool timed_out = false;
  std::set<std::string> files;  // names left in the working directory
};

inline std::set<std::string> list_dir(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// How to start the engine beyond its directory and arguments.
struct Launch {
  rlim_t size_limit = RLIM_INFINITY;  // file-size limit
  uid_t user = 0;                     // run as this user (from root); 0: as we are
  int out_fd = -1;                    // stdout to this descriptor instead of the file
  std::string exe = {};               // this copy of the engine instead of the built one
  std::vector<std::string> env = {};  // NAME=value added to the environment
  std::string err_path = {};          // stderr to this file; empty: inherited
};

// The engine started in `cwd` with stdin and stdout from and to files.
inline pid_t start_engine(const std::filesystem::path& cwd, const std::vector<std::string>& args,
                          const std::string& in_path, const std::string& out_path, const Launch& how) {
  pid_t pid = ::fork();
  if (pid == 0) {
    int in = ::open(in_path.c_str(), O_RDONLY);
    int out = how.out_fd >= 0 ? how.out_fd : ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    ::dup2(in, 0);
    ::dup2(out, 1);
    if (!how.err_path.empty()) ::dup2(::open(how.err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666), 2);
    if (how.user != 0 && (::setgid(how.user) != 0 || ::setuid(how.user) != 0)) ::_exit(126);
    if (::chdir(cwd.c_str()) != 0) ::_exit(127);
    for (const auto& e : how.env) ::putenv(const_cast<char*>(e.c_str()));
    if (how.size_limit != RLIM_INFINITY) {
      struct rlimit lim = {how.size_limit, how.size_limit};
      ::setrlimit(RLIMIT_FSIZE, &lim);
    }
    std::vector<char*> argv;
    std::string exe = how.exe.empty() ? std::string(QVX7_PATH) : how.exe;
    argv.push_back(exe.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(exe.c_str(), argv.data());
    ::_exit(127);
  }
  return pid;
}

inline pid_t start_engine(const std::filesystem::path& cwd, const std::vector<std::string>& args,
                          const std::string& in_path, const std::string& out_path,
                          rlim_t size_limit = RLIM_INFINITY) {
  Launch how;
  how.size_limit = size_limit;
  return start_engine(cwd, args, in_path, out_path, how);
}

// True when `user` may enter `dir` (checked as that user, from root).
inline bool can_enter(const std::filesystem::path& dir, uid_t user) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgid(user) != 0 || ::setuid(user) != 0) ::_exit(2);
    ::_exit(::access(dir.c_str(), X_OK) == 0 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A copy of the built engine that `user` can run wherever the checkout
// lives (a build folder under /root cannot be entered by others). Empty
// when even the temporary folder is closed to that user.
inline std::string engine_for(uid_t user, const TempDir& scratch) {
  std::error_code ec;
  std::filesystem::permissions(scratch.path(), std::filesystem::perms(0755), ec);
  const std::filesystem::path copy = scratch.path() / "qvx7";
  std::filesystem::copy_file(QVX7_PATH, copy, std::filesystem::copy_options::overwrite_existing, ec);
  if (ec || !can_enter(scratch.path(), user)) return "";
  return copy.string();
}

inline RunResult run_engine_in(const std::filesystem::path& cwd, const std::vector<std::string>& args,
                               const std::string& input = "", int timeout_seconds = 120, const Launch& how = {}) {
  TempDir io;
  write_file(io.file("stdin"), input);
  const std::string out_path = io.file("stdout");
  Launch with_err = how;
  with_err.err_path = io.file("stderr");
  pid_t pid = start_engine(cwd, args, io.file("stdin"), out_path, with_err);
  RunResult r;
  int wstatus = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  for (;;) {
    pid_t done = ::waitpid(pid, &wstatus, WNOHANG);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &wstatus, 0);
      r.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (!r.timed_out && WIFEXITED(wstatus)) r.status = WEXITSTATUS(wstatus);
  if (!r.timed_out && WIFSIGNALED(wstatus)) r.signal = WTERMSIG(wstatus);
  r.out = as_string(read_file(out_path));
  r.err = as_string(read_file(with_err.err_path));
  r.files = list_dir(cwd);
  return r;
}

}  // namespace qvx::testing
