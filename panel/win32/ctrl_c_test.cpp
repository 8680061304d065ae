// Stops qvx4.exe with Ctrl-C in the middle of an encoding and checks that
// it left neither a work file nor its temporary output behind. Run under
// Wine by the end-to-end test:
//   qvx_ctrl_c_test QVX4 DIR     (DIR holds book.kb and big.bin)
// Exit status 0 when nothing was left.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Every name in `dir` that matches `pattern`.
std::string leftovers(const std::string& dir, const char* pattern) {
  std::string found;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((dir + "\\" + pattern).c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return found;
  do found += std::string(" ") + entry.cFileName;
  while (FindNextFileA(search, &entry));
  FindClose(search);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("usage: qvx_ctrl_c_test QVX4 DIR\n");
    return 2;
  }
  const std::string engine = argv[1], dir = argv[2];
  // The engine must share a console with us to get its Ctrl-C: a console
  // of our own (Wine's stand-in for a terminal delivers no Ctrl-C events).
  FreeConsole();
  if (!AllocConsole()) {
    std::printf("FAIL: no console (%lu)\n", GetLastError());
    return 1;
  }
  // We let the Ctrl-C pass us by; not SetConsoleCtrlHandler(nullptr, TRUE),
  // which the engine would inherit.
  SetConsoleCtrlHandler([](DWORD) -> BOOL { return TRUE; }, TRUE);

  std::string line = "\"" + engine + "\" book.kb 2 c big.bin big.qvx 0";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(engine.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi)) {
    std::printf("FAIL: qvx4.exe did not start (%lu)\n", GetLastError());
    return 1;
  }
  CloseHandle(pi.hThread);
  // Midway: the passes have begun writing the work files.
  const std::string work = dir + "\\big.binqvx01.qvx";
  for (int i = 0; i < 20000 && !exists(work) && WaitForSingleObject(pi.hProcess, 1) == WAIT_TIMEOUT; ++i) {
  }
  Sleep(150);
  if (WaitForSingleObject(pi.hProcess, 0) != WAIT_TIMEOUT) {
    std::printf("FAIL: the run ended before it could be stopped; give it a larger file\n");
    return 1;
  }
  if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
    std::printf("FAIL: no Ctrl-C sent (%lu)\n", GetLastError());
    TerminateProcess(pi.hProcess, 1);
    return 1;
  }
  if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) {
    std::printf("FAIL: qvx4.exe did not stop on Ctrl-C\n");
    TerminateProcess(pi.hProcess, 1);
    return 1;
  }
  DWORD status = 0;
  GetExitCodeProcess(pi.hProcess, &status);
  CloseHandle(pi.hProcess);
  const std::string left = leftovers(dir, "big.binqvx0*") + leftovers(dir, "qvx03-*") + leftovers(dir, "big.qvx");
  std::printf("qvx4.exe ended with 0x%lX after Ctrl-C; left behind:%s\n", status, left.empty() ? " nothing" : left.c_str());
  return status == STATUS_CONTROL_C_EXIT && left.empty() ? 0 : 1;
}
