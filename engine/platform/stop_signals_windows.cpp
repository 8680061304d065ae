#include "platform/stop_signals.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/files.h"

namespace qvx::stops {
namespace {

// Ctrl-C, Ctrl-Break, closing the console window, logging off and shutting
// down reach a console program as calls on a thread of their own. The
// run's thread is stopped first, so that it writes nothing after the wipe,
// but never while it changes a file and its name together (hold).
SRWLOCK g_changing = SRWLOCK_INIT;
HANDLE g_run_thread = nullptr;

BOOL WINAPI on_console_stop(DWORD) {
  ::AcquireSRWLockExclusive(&g_changing);
  if (g_run_thread) ::SuspendThread(g_run_thread);
  held::wipe_all_quietly();
  // Ended as Ctrl-C ends a console program. Nothing else runs: the stopped
  // thread may hold a lock the C runtime's exit would wait for.
  ::TerminateProcess(::GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return TRUE;
}

}  // namespace

StopGuard::StopGuard(void (*)()) {
  ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &g_run_thread,
                    THREAD_SUSPEND_RESUME, FALSE, 0);
  ::SetConsoleCtrlHandler(on_console_stop, TRUE);
}

StopGuard::~StopGuard() {
  ::SetConsoleCtrlHandler(on_console_stop, FALSE);
  if (g_run_thread) ::CloseHandle(g_run_thread);
  g_run_thread = nullptr;
}

// The run's one thread is suspended before the wipe.
void write_begins() {}
void write_ends() {}

void hold() { ::AcquireSRWLockExclusive(&g_changing); }
void release() { ::ReleaseSRWLockExclusive(&g_changing); }

}  // namespace qvx::stops
