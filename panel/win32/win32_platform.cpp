#include "win32_platform.h"

#include <windows.h>
#include <commdlg.h>
#include <direct.h>
#include <shellapi.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

#include "dialogs.h"
#include "path_text.h"
#include "wine_launch.h"

namespace qvxpanel::win32 {
namespace {

std::optional<std::string> file_dialog(std::string_view proposed, bool save) {
  std::vector<wchar_t> name(32768, L'\0');
  const std::wstring wide = path_wide(proposed);
  wide.copy(name.data(), std::min(wide.size(), name.size() - 1));
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = active_owner();
  ofn.lpstrFile = name.data();
  ofn.nMaxFile = static_cast<DWORD>(name.size());
  ofn.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER;
  BOOL chosen = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
  if (!chosen) return std::nullopt;
  return path_text(name.data());
}

// Linux names are UTF-8 bytes; the panel's texts are path texts.
std::string from_linux_name(const char* name) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, name, -1, nullptr, 0);
  if (n <= 1) return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, name, -1, wide.data(), n);
  wide.resize(static_cast<std::size_t>(n - 1));
  return path_text(wide);
}

std::string to_linux_name(const std::string& text) {
  const std::wstring wide = path_wide(text);
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string name(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, name.data(), n, nullptr, nullptr);
  name.resize(static_cast<std::size_t>(n - 1));
  return name;
}

using WineUnixName = char*(CDECL*)(LPCWSTR);

// The Linux name of a Windows path, as Wine maps it.
std::string unix_name(const std::wstring& windows_path) {
  auto convert = reinterpret_cast<WineUnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!convert) return {};
  char* name = convert(windows_path.c_str());
  if (!name) return {};
  std::string result = from_linux_name(name);
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

using WineDosName = WCHAR*(CDECL*)(const char*);

// The Windows name under which Wine shows a Linux path; empty when unknown.
std::wstring dos_name(const std::string& unix_path) {
  auto convert = reinterpret_cast<WineDosName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  WCHAR* dos = convert ? convert(to_linux_name(unix_path).c_str()) : nullptr;
  if (!dos) return {};
  std::wstring result(dos);
  HeapFree(GetProcessHeap(), 0, dos);
  return result;
}

// The first `n` bytes of a file; empty when it does not open.
std::string file_head(const std::wstring& path, DWORD n) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return {};
  std::string head(n, '\0');
  DWORD got = 0;
  if (!ReadFile(f, head.data(), n, &got, nullptr)) got = 0;
  CloseHandle(f);
  head.resize(got);
  return head;
}

// The program's Windows name: found the way Windows finds it or, for a
// Linux path, the way Wine maps it.
std::wstring program_file(const std::string& program) {
  if (!program.empty() && program[0] == '/') {
    if (std::wstring dos = dos_name(program); !dos.empty()) return dos;
  }
  return path_wide(program);
}

// The Linux name of the file the panel looked at: a bare or relative name
// is the file in the working directory, as Windows would find it, not one
// that the shell would look up along its PATH.
std::string linux_program(const std::string& program) {
  if (!program.empty() && program[0] == '/') return program;
  std::vector<wchar_t> full(32768, L'\0');
  const DWORD n = GetFullPathNameW(path_wide(program).c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n == 0 || n >= full.size()) return program;
  std::string name = unix_name(full.data());
  return name.empty() ? program : name;
}

bool shell_execute(const std::wstring& file, const std::wstring& parameters, bool visible, HANDLE& process) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // The panel reports a failed start itself, once.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.hwnd = active_owner();
  info.lpFile = file.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = visible ? SW_SHOWNORMAL : SW_HIDE;
  if (!ShellExecuteExW(&info)) return false;
  process = info.hProcess;
  return true;
}

constexpr DWORD kPollMs = 50;
// How long a shell that Wine reported started may take to say it runs.
constexpr DWORD kShellStartMs = 15000;

// Waits for `process` (when there is one) or until `finished` says so,
// looked at every kPollMs, while the panel's windows keep painting. They
// take no input meanwhile (the owner is disabled, as under a message box),
// so nothing is started twice.
void wait_painting(HANDLE process, const std::function<bool()>& finished) {
  HWND owner = active_owner();
  const bool disabled = owner && IsWindowEnabled(owner);
  if (disabled) EnableWindow(owner, FALSE);
  bool quit = false;
  WPARAM quit_code = 0;
  while (!(finished && finished())) {
    const DWORD r = MsgWaitForMultipleObjects(process ? 1 : 0, &process, FALSE, finished ? kPollMs : INFINITE,
                                              QS_ALLINPUT);
    if ((process && r == WAIT_OBJECT_0) || r == WAIT_FAILED) break;
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) {
        quit = true;
        quit_code = m.wParam;
        continue;
      }
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }
  if (disabled) EnableWindow(owner, TRUE);
  if (quit) PostQuitMessage(static_cast<int>(quit_code));
}

// A Linux process still running, as its /proc entry tells.
bool linux_process_running(long pid) {
  const std::wstring stat = dos_name("/proc/" + std::to_string(pid) + "/stat");
  return !stat.empty() && process_running(file_head(stat, 512));
}

// The launch of a Linux program under Wine, which gives no process handle:
// /bin/sh runs it, says which process it is and leaves the exit status; the
// wait ends with the status or with that process, however it ends. The
// user's texts stay arguments, never shell code.
bool start_through_shell(const std::string& program, const std::string& parameters) {
  wchar_t temp[MAX_PATH + 1] = {};
  if (!GetTempPathW(MAX_PATH, temp)) return false;
  static unsigned serial = 0;
  const std::wstring marker = std::wstring(temp) + L"qvxpanel-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++serial) + L".status";
  const std::wstring pid_file = marker + L".pid";
  std::string marker_unix = unix_name(marker);
  if (marker_unix.empty()) return false;
  DeleteFileW(marker.c_str());
  DeleteFileW(pid_file.c_str());
  // Found through its Windows name, whatever drive the working directory is on.
  std::wstring shell = dos_name("/bin/sh");
  if (shell.empty()) shell = L"/bin/sh";
  HANDLE process = nullptr;
  if (!shell_execute(shell, path_wide(shell_wrapper_parameters(marker_unix, linux_program(program), parameters)),
                     false, process))
    return false;
  const DWORD started = GetTickCount();
  long pid = 0;
  wait_painting(process, [&] {
    if (GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    if (pid == 0) pid = std::atol(file_head(pid_file, 32).c_str());
    if (pid == 0) return GetTickCount() - started > kShellStartMs;
    return !linux_process_running(pid);
  });
  if (process) CloseHandle(process);
  const std::string status = file_head(marker, 32);
  DeleteFileW(marker.c_str());
  DeleteFileW(pid_file.c_str());
  if (status.empty()) return pid != 0;  // the shell ran, but ended before it could tell
  return wrapper_started(status);
}

}  // namespace

bool running_under_wine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

bool start_and_wait(const std::string& program, const std::string& parameters, bool visible) {
  if (running_under_wine() && is_linux_program(file_head(program_file(program), 4)))
    return start_through_shell(program, parameters);
  HANDLE process = nullptr;
  if (!shell_execute(path_wide(program), path_wide(parameters), visible, process)) return false;
  // Started by some other service (no handle): nothing to wait on.
  if (process) {
    wait_painting(process, nullptr);
    CloseHandle(process);
  }
  return true;
}

Answer Win32Platform::message_box(std::string_view text, std::string_view title, Icon icon, Buttons buttons) {
  UINT style = (buttons == Buttons::ok_cancel ? MB_OKCANCEL : MB_OK) | (icon == Icon::exclamation ? MB_ICONEXCLAMATION : 0);
  int pressed = MessageBoxW(active_owner(), path_wide(text).c_str(), path_wide(title).c_str(), style);
  return pressed == IDOK ? Answer::ok : Answer::cancel;
}

std::optional<std::string> Win32Platform::open_file(std::string_view proposed) { return file_dialog(proposed, false); }

std::optional<std::string> Win32Platform::save_file(std::string_view proposed) { return file_dialog(proposed, true); }

void Win32Platform::console_open(std::string_view title) {
  console_allocated_ = AllocConsole() != 0;
  SetConsoleTitleW(path_wide(title).c_str());
}

void Win32Platform::console_write(std::string_view text) {
  HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return;
  const std::wstring wide = path_wide(text);
  DWORD written = 0;
  WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
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
  wchar_t* dir = _wgetcwd(nullptr, 0);
  if (!dir) return std::nullopt;
  std::string result = path_text(dir);
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

bool Win32Platform::run(ModalDialog& dialog) { return run_dialog(dialog); }
void Win32Platform::show_about() { run_about(); }

}  // namespace qvxpanel::win32
