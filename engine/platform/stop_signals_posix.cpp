#include "platform/stop_signals.h"

#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "platform/files.h"

namespace qvx::stops {
namespace {

// Every catchable signal whose default action ends the program.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP,  SIGQUIT,  SIGALRM,
                                SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF};
constexpr int kStops = sizeof kStopSignals / sizeof kStopSignals[0];
// Signals that must become failed writes instead of a silent end.
constexpr int kIgnored[] = {SIGPIPE, SIGXFSZ};
struct sigaction g_previous[kStops];
struct sigaction g_previous_ignored[2];
void (*g_on_stop)() = nullptr;
sigset_t g_held_mask;

// Writes in flight, on all threads and on this one; set once a stop began.
std::atomic<int> g_writing{0};
thread_local int t_writing = 0;
std::atomic<bool> g_stopping{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the stop handler counts on lock-free atomics");

void on_stop_signal(int sig) {
  g_stopping = true;
  // The other threads' writes end soon; this thread's, cut by the signal, never.
  while (g_writing.load() > t_writing) ::sched_yield();
  held::wipe_all_quietly();
  if (g_on_stop) g_on_stop();
  // End the way the signal would have ended us, so the caller can tell.
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

}  // namespace

// Only signals that would end us are taken: one ignored since we started
// (nohup) or handled by a host program (a fuzzer's timer) is left as it is.
StopGuard::StopGuard(void (*on_stop)()) {
  g_on_stop = on_stop;
  struct sigaction sa {};
  sa.sa_handler = on_stop_signal;
  sigemptyset(&sa.sa_mask);
  for (int s : kStopSignals) sigaddset(&sa.sa_mask, s);
  for (int i = 0; i < kStops; ++i) {
    ::sigaction(kStopSignals[i], nullptr, &g_previous[i]);
    if (!(g_previous[i].sa_flags & SA_SIGINFO) && g_previous[i].sa_handler == SIG_DFL)
      ::sigaction(kStopSignals[i], &sa, nullptr);
  }
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (int i = 0; i < 2; ++i) ::sigaction(kIgnored[i], &ignore, &g_previous_ignored[i]);
}

StopGuard::~StopGuard() {
  for (int i = 0; i < kStops; ++i) ::sigaction(kStopSignals[i], &g_previous[i], nullptr);
  for (int i = 0; i < 2; ++i) ::sigaction(kIgnored[i], &g_previous_ignored[i], nullptr);
  g_on_stop = nullptr;
}

void write_begins() {
  ++t_writing;
  ++g_writing;
  if (!g_stopping) return;
  // A stop is wiping the files: this thread writes nothing more.
  --g_writing;
  for (;;) ::pause();
}

void write_ends() {
  --g_writing;
  --t_writing;
}

void hold() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kStopSignals) sigaddset(&set, s);
  ::sigprocmask(SIG_BLOCK, &set, &g_held_mask);
}

void release() { ::sigprocmask(SIG_SETMASK, &g_held_mask, nullptr); }

}  // namespace qvx::stops
