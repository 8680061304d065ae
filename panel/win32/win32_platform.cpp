#include "win32_platform.h"

#include <windows.h>
#include <commdlg.h>
#include <direct.h>
#include <shellapi.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "dialogs.h"
#include "text.h"
#include "wine_launch.h"

namespace qvxpanel::win32 {
namespace {

std::optional<std::string> file_dialog(std::string_view proposed, bool save) {
  std::vector<char> name(32768, '\0');
  proposed.copy(name.data(), std::min(proposed.size(), name.size() - 1));
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = active_owner();
  ofn.lpstrFile = name.data();
  ofn.nMaxFile = static_cast<DWORD>(name.size());
  ofn.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER;
  BOOL chosen = save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
  if (!chosen) return std::nullopt;
  return std::string(name.data());
}

using WineUnixName = char*(CDECL*)(LPCWSTR);

// The Linux name of a Windows path, as Wine maps it.
std::string unix_name(const std::wstring& windows_path) {
  auto convert = reinterpret_cast<WineUnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!convert) return {};
  char* name = convert(windows_path.c_str());
  if (!name) return {};
  std::string result(name);
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

using WineDosName = WCHAR*(CDECL*)(const char*);

// The Windows name under which Wine shows a Linux path; empty when unknown.
std::wstring dos_name(const std::string& unix_path) {
  auto convert = reinterpret_cast<WineDosName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  WCHAR* dos = convert ? convert(unix_path.c_str()) : nullptr;
  if (!dos) return {};
  std::wstring result(dos);
  HeapFree(GetProcessHeap(), 0, dos);
  return result;
}

// Reads the first bytes of the program, found the way Windows finds it or,
// for a Linux path, the way Wine maps it.
std::string program_head(const std::string& program) {
  std::wstring path = widen(program);
  if (!program.empty() && program[0] == '/') {
    if (std::wstring dos = dos_name(program); !dos.empty()) path = dos;
  }
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return {};
  char head[4] = {};
  DWORD got = 0;
  ReadFile(f, head, sizeof head, &got, nullptr);
  CloseHandle(f);
  return std::string(head, got);
}

bool shell_execute(const std::string& file, const std::string& parameters, bool visible, HANDLE& process) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  // The panel reports a failed start itself, once.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.hwnd = active_owner();
  info.lpFile = file.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = visible ? SW_SHOWNORMAL : SW_HIDE;
  if (!ShellExecuteExA(&info)) return false;
  process = info.hProcess;
  return true;
}

// The wait for a Linux program under Wine: /bin/sh runs it and leaves its
// exit status in a marker file; the user's texts stay arguments, never
// shell code.
bool start_through_shell(const std::string& program, const std::string& parameters) {
  wchar_t temp[MAX_PATH + 1] = {};
  if (!GetTempPathW(MAX_PATH, temp)) return false;
  static unsigned serial = 0;
  const std::wstring marker = std::wstring(temp) + L"qvxpanel-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++serial) + L".status";
  std::string marker_unix = unix_name(marker);
  if (marker_unix.empty()) return false;
  DeleteFileW(marker.c_str());
  // Found through its Windows name, whatever drive the working directory is on.
  std::string shell = narrow(dos_name("/bin/sh"));
  if (shell.empty()) shell = "/bin/sh";
  HANDLE process = nullptr;
  if (!shell_execute(shell, shell_wrapper_parameters(marker_unix, program, parameters), false, process))
    return false;
  if (process) {
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
  }
  while (GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(50);
  DeleteFileW(marker.c_str());
  return true;
}

}  // namespace

bool running_under_wine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

bool start_and_wait(const std::string& program, const std::string& parameters, bool visible) {
  if (running_under_wine() && is_linux_program(program_head(program)))
    return start_through_shell(program, parameters);
  HANDLE process = nullptr;
  if (!shell_execute(program, parameters, visible, process)) return false;
  // Started by some other service (no handle): nothing to wait on.
  if (process) {
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
  }
  return true;
}

Answer Win32Platform::message_box(std::string_view text, std::string_view title, Icon icon, Buttons buttons) {
  UINT style = (buttons == Buttons::ok_cancel ? MB_OKCANCEL : MB_OK) | (icon == Icon::exclamation ? MB_ICONEXCLAMATION : 0);
  int pressed = MessageBoxW(active_owner(), widen(text).c_str(), widen(title).c_str(), style);
  return pressed == IDOK ? Answer::ok : Answer::cancel;
}

std::optional<std::string> Win32Platform::open_file(std::string_view proposed) { return file_dialog(proposed, false); }

std::optional<std::string> Win32Platform::save_file(std::string_view proposed) { return file_dialog(proposed, true); }

void Win32Platform::console_open(std::string_view title) {
  console_allocated_ = AllocConsole() != 0;
  SetConsoleTitleA(std::string(title).c_str());
}

void Win32Platform::console_write(std::string_view text) {
  HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteConsoleA(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(out);
}

void Win32Platform::console_close() {
  if (console_allocated_) FreeConsole();
  console_allocated_ = false;
}

// Whoever started the panel with a standard output gets the key-book traces.
void Win32Platform::standard_output(std::string_view text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// An engine started without parameters opens its console menus: hidden,
// nobody could answer them and the panel would wait for ever.
bool Win32Platform::run_engine(const std::string& program, const std::string& parameters) {
  const bool interactive = parameters.find_first_not_of(' ') == std::string::npos;
  return start_and_wait(program, parameters, interactive);
}

std::optional<std::string> Win32Platform::working_directory() {
  char* dir = _getcwd(nullptr, 0);
  if (!dir) return std::nullopt;
  std::string result(dir);
  std::free(dir);
  return result;
}

std::tm Win32Platform::local_time() {
  std::time_t now = std::time(nullptr);
  std::tm* t = std::localtime(&now);
  return t ? *t : std::tm{};
}

int Win32Platform::last_error() { return errno; }
void Win32Platform::clear_last_error() { errno = 0; }

void Win32Platform::refresh() {
  if (!open_dialogs().empty()) open_dialogs().back()->show();
}

bool Win32Platform::run(KeyBookDialog& dialog) { return run_dialog(dialog); }
bool Win32Platform::run(AddDialog& dialog) { return run_dialog(dialog); }
bool Win32Platform::run(ChangeDialog& dialog) { return run_dialog(dialog); }
bool Win32Platform::run(SearchDialog& dialog) { return run_dialog(dialog); }
bool Win32Platform::run(LogDialog& dialog) { return run_dialog(dialog); }
void Win32Platform::show_about() { run_about(); }

}  // namespace qvxpanel::win32
