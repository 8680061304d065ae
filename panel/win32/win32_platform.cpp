#include "win32_platform.h"

#include <windows.h>
#include <commdlg.h>
#include <direct.h>
#include <shellapi.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

#include "command_line.h"
#include "dialogs.h"
#include "file_dialog.h"
#include "path_text.h"
#include "platform/files.h"
#include "wine_launch.h"

namespace qvxpanel::win32 {
namespace {

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
// A name of the panel's own in the temporary folder; empty when there is none.
std::wstring temporary_name(const wchar_t* suffix) {
  wchar_t temp[MAX_PATH + 1] = {};
  if (!GetTempPathW(MAX_PATH, temp)) return {};
  static unsigned serial = 0;
  return std::wstring(temp) + L"qvxpanel-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(++serial) + suffix;
}

EngineResult start_through_shell(const std::string& program, const std::string& parameters, bool in_terminal) {
  const std::wstring marker = temporary_name(L".status");
  if (marker.empty()) return {};
  const std::wstring pid_file = marker + L".pid";
  std::string marker_unix = unix_name(marker);
  if (marker_unix.empty()) return {};
  DeleteFileW(marker.c_str());
  DeleteFileW(pid_file.c_str());
  // Found through its Windows name, whatever drive the working directory is on.
  std::wstring shell = dos_name("/bin/sh");
  if (shell.empty()) shell = L"/bin/sh";
  HANDLE process = nullptr;
  if (!shell_execute(shell,
                     path_wide(shell_wrapper_parameters(marker_unix, linux_program(program), parameters, in_terminal)),
                     false, process))
    return {};
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
  // The shell ran, but ended before it could tell: started, status unknown.
  if (status.empty()) return {pid != 0, std::nullopt, {}};
  if (wrapper_found_no_terminal(status))
    return {false, std::nullopt,
            "No se puede abrir una consola para un programa de Linux: no se ha encontrado ni "
            "x-terminal-emulator ni xterm."};
  return {wrapper_started(status), wrapper_status(status), {}};
}

// A name without a folder, or relative to one: the file in the folder the
// panel started in, when it is there. File dialogs move the working folder,
// so it cannot tell which engine was meant.
std::string resolved_program(const std::string& program, const std::wstring& start_folder) {
  const bool rooted = !program.empty() && (program[0] == '\\' || program[0] == '/');
  const bool drive = program.size() >= 2 && program[1] == ':';
  if (rooted || drive || start_folder.empty()) return program;
  std::wstring in_start = start_folder;
  if (in_start.back() != L'\\') in_start += L'\\';
  in_start += path_wide(program);
  if (GetFileAttributesW(in_start.c_str()) == INVALID_FILE_ATTRIBUTES) return program;
  return path_text(in_start);
}

// A path for the Linux engine: a drive other than Z: (whose paths the
// conversion already made Linux ones) goes through Wine's own mapping.
std::optional<std::string> linux_path(const std::string& path) {
  const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
                     (path[2] == '/' || path[2] == '\\');
  if (!drive) return path;
  std::string name = unix_name(path_wide(path));
  if (name.empty()) return std::nullopt;
  return name;
}

// The engine's texts in a private file of the temporary folder, its own
// name for the engine beside it; overwritten and removed when it goes.
struct TextsFile {
  std::wstring windows_name;
  std::string engine_name;

  TextsFile() = default;
  TextsFile(const TextsFile&) = delete;
  TextsFile& operator=(const TextsFile&) = delete;
  ~TextsFile() { remove(); }

  bool write(const std::string& contents, bool for_linux) {
    const std::wstring name = temporary_name(L".texts");
    if (name.empty() || !qvx::files::create_private(name)) return false;
    windows_name = name;
    HANDLE f = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool ok = f != INVALID_HANDLE_VALUE &&
                    WriteFile(f, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr) &&
                    written == contents.size();
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    engine_name = for_linux ? unix_name(name) : path_text(name);
    return ok && !engine_name.empty();
  }

  void remove() {
    if (windows_name.empty()) return;
    HANDLE f = CreateFileW(windows_name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER size{};
    if (f != INVALID_HANDLE_VALUE && GetFileSizeEx(f, &size)) {
      const std::string zeros(static_cast<std::size_t>(size.QuadPart), '\0');
      DWORD written = 0;
      WriteFile(f, zeros.data(), static_cast<DWORD>(zeros.size()), &written, nullptr);
      FlushFileBuffers(f);
    }
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    DeleteFileW(windows_name.c_str());
    windows_name.clear();
  }
};

}  // namespace

bool running_under_wine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

EngineResult start_and_wait(const std::string& program, const std::string& parameters, bool visible) {
  if (is_linux_engine(program)) return start_through_shell(program, parameters, visible);
  HANDLE process = nullptr;
  if (!shell_execute(path_wide(program), path_wide(parameters), visible, process)) return {};
  // Started by some other service (no handle): nothing to wait on.
  if (!process) return {true, std::nullopt, {}};
  wait_painting(process, nullptr);
  DWORD code = 0;
  std::optional<int> status;
  if (GetExitCodeProcess(process, &code) && code != STILL_ACTIVE) status = static_cast<int>(code);
  CloseHandle(process);
  return {true, status, {}};
}

bool is_linux_engine(const std::string& program) {
  return running_under_wine() && is_linux_program(file_head(program_file(program), 4));
}

// A message box grows with its text and would pass the screen's bottom (a
// loaded log): only the last lines that fit are shown, after a line "...".
std::wstring fit_to_screen(const std::wstring& text) {
  RECT area{};
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0) ||
      !SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    return text;
  HDC dc = GetDC(nullptr);
  HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW tm{};
  const bool measured = GetTextMetricsW(dc, &tm);
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);
  const long line = tm.tmHeight + tm.tmExternalLeading;
  // Room for the caption, the margins and the buttons.
  const long room = (area.bottom - area.top) - 160;
  if (!measured || line <= 0 || room <= line) return text;
  const std::size_t fit = static_cast<std::size_t>(room / line);
  std::size_t lines = 1, start = text.size();
  while (start > 0) {
    if (text[start - 1] == L'\n' && ++lines > fit) break;
    --start;
  }
  if (start == 0) return text;
  return L"...\n" + text.substr(start);
}

Answer Win32Platform::message_box(std::string_view text, std::string_view title, Icon icon, Buttons buttons) {
  UINT style = (buttons == Buttons::ok_cancel ? MB_OKCANCEL : MB_OK) | (icon == Icon::exclamation ? MB_ICONEXCLAMATION : 0);
  int pressed = MessageBoxW(active_owner(), fit_to_screen(path_wide(text)).c_str(), path_wide(title).c_str(), style);
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

// Under Wine a new private file is made 0600 on the Linux side.
static void private_on_linux(const std::filesystem::path& path) {
  const std::string name = unix_name(path.wstring());
  if (!name.empty()) start_through_shell("/bin/chmod", "600 " + quote_argument(name), false);
}

Win32Platform::Win32Platform() {
  if (wchar_t* dir = _wgetcwd(nullptr, 0)) {
    start_folder_ = dir;
    std::free(dir);
  }
  if (running_under_wine()) qvx::files::set_private_file_finish(private_on_linux);
}

// An engine started without arguments opens its console menus: hidden,
// nobody could answer them and the panel would wait for ever.
EngineResult Win32Platform::run_engine(const std::string& program, const EngineCall& call) {
  const std::string engine = resolved_program(program, start_folder_);
  const bool for_linux = is_linux_engine(engine);
  std::vector<EngineArgument> arguments = call.arguments;
  if (for_linux) {
    for (EngineArgument& a : arguments) {
      if (!a.path) continue;
      auto mapped = linux_path(a.text);
      if (!mapped)
        return {false, std::nullopt,
                "No se puede pasar al programa de Linux la ruta " + a.text + ": Wine no la puede traducir."};
      a.text = *mapped;
    }
  }
  std::string parameters;
  TextsFile texts;
  if (call.texts_file) {
    if (!texts.write(*call.texts_file, for_linux))
      return {false, std::nullopt, "No se ha podido escribir el fichero temporal de los parametros."};
    parameters = "--texts " + quote_argument(texts.engine_name) + " ";
  }
  parameters += engine_command_line(arguments);
  return start_and_wait(engine, parameters, arguments.empty());
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
