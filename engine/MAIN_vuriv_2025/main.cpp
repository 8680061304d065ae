#include <iostream>
#include <string>
#include <vector>

#include "MAIN_vuriv_2025/cli.h"
#include "console/terminal.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {

// The Windows build runs with UTF-8 as its code page (its manifest), so that
// a path with any character reaches the file calls whole. The
// personalization texts (parameters 7 to 20) are key material: they keep
// the bytes of the system's own code page, as every earlier build read
// them, so that files encoded before still decode.
std::string in_system_code_page(const char* utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (n <= 1) return utf8;
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), n);
  UINT system = CP_ACP;
  GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                 reinterpret_cast<LPWSTR>(&system), sizeof system / sizeof(wchar_t));
  const int m = WideCharToMultiByte(system, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (m <= 0) return utf8;
  std::string text(static_cast<std::size_t>(m), '\0');
  WideCharToMultiByte(system, 0, wide.c_str(), -1, text.data(), m, nullptr, nullptr);
  text.resize(static_cast<std::size_t>(m - 1));
  return text;
}

}  // namespace
#else
#include <sys/resource.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace {

// The keys and the data of a run are in memory from the first prompt to
// the end: no signal may write them into a core file, and no other
// process of the same user may read them through /proc or a debugger.
void keep_memory_private() {
  struct rlimit none = {0, 0};
  ::setrlimit(RLIMIT_CORE, &none);
#if defined(__linux__)
  ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

}  // namespace
#endif

int main(int argc, char** argv) {
#if !defined(_WIN32)
  keep_memory_private();
#endif
  std::ios::sync_with_stdio(false);
  con::attach_terminal();
#if defined(_WIN32)
  if (GetACP() == CP_UTF8) {
    std::vector<std::string> texts(static_cast<std::size_t>(argc));
    std::vector<char*> args(argv, argv + argc);
    for (int k = 7; k < argc && k <= 20; ++k) {
      texts[k] = in_system_code_page(argv[k]);
      args[k] = texts[k].data();
    }
    return qvx::run_engine(argc, args.data());
  }
#endif
  return qvx::run_engine(argc, argv);
}
