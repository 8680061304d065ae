#include <iostream>
#include <string>
#include <vector>

#include "MAIN_vuriv_2025/cli.h"
#include "MAIN_vuriv_2025/options.h"
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
#endif

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  con::attach_terminal();
#if defined(_WIN32)
  if (GetACP() == CP_UTF8) {
    std::vector<std::string> texts(static_cast<std::size_t>(argc));
    std::vector<char*> args(argv, argv + argc);
    // Options in front shift the parameters; texts read from a file are
    // Latin-1 bytes already.
    const int shift = qvx::option_words(argc, argv);
    for (int k = 7 + shift; k < argc && k <= 20 + shift; ++k) {
      texts[k] = in_system_code_page(argv[k]);
      args[k] = texts[k].data();
    }
    return qvx::run_engine(argc, args.data());
  }
#endif
  return qvx::run_engine(argc, argv);
}
