#include "platform/system.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <io.h>

namespace qvx::sys {

std::string own_executable() {
  char name[32768];
  const DWORD n = GetModuleFileNameA(nullptr, name, sizeof name);
  return n > 0 && n < sizeof name ? std::string(name, n) : std::string();
}

bool utf8_over_system_code_page() { return GetACP() == CP_UTF8; }

// The Windows build runs with UTF-8 as its code page (its manifest), so that
// a path with any character reaches the file calls whole. The
// personalization texts are key material: they keep the bytes of the
// system's own code page, as every earlier build read them, so that files
// encoded before still decode.
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

bool stdout_is_terminal() { return ::_isatty(1) != 0; }

bool clear_console() {
  HANDLE h = ::GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (h == INVALID_HANDLE_VALUE || !::GetConsoleScreenBufferInfo(h, &info)) return false;
  const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
  const COORD home{0, 0};
  DWORD done = 0;
  ::FillConsoleOutputCharacterW(h, L' ', cells, home, &done);
  ::FillConsoleOutputAttribute(h, info.wAttributes, cells, home, &done);
  ::SetConsoleCursorPosition(h, home);
  return true;
}
bool stderr_is_terminal() { return false; }
void write_stderr(const std::string&) {}
uint64_t regular_size(const char*) { return 0; }

unsigned processors() {
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

// Windows writes no core files of its own accord.
void keep_memory_private() {}

}  // namespace qvx::sys
