#include "platform/system.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include <algorithm>

namespace qvx::sys {

std::string own_executable() { return "/proc/self/exe"; }

bool utf8_over_system_code_page() { return false; }
std::string in_system_code_page(const char* utf8) { return utf8; }

bool stdout_is_terminal() { return ::isatty(STDOUT_FILENO) != 0; }
bool clear_console() { return false; }
bool stderr_is_terminal() { return ::isatty(STDERR_FILENO) != 0; }

void write_stderr(const std::string& text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(STDERR_FILENO, p, left);
    if (n <= 0) return;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

unsigned processors() {
#if defined(__linux__)
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(std::max(CPU_COUNT(&set), 1));
#endif
  return static_cast<unsigned>(std::max(sysconf(_SC_NPROCESSORS_ONLN), 1L));
}

uint64_t regular_size(const char* path) {
  struct stat st {};
  if (path && ::stat(path, &st) == 0 && S_ISREG(st.st_mode)) return static_cast<uint64_t>(st.st_size);
  return 0;
}

void keep_memory_private() {
  struct rlimit none = {0, 0};
  ::setrlimit(RLIMIT_CORE, &none);
#if defined(__linux__)
  ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

}  // namespace qvx::sys
