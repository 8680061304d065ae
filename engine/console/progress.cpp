#include "console/progress.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "platform/bytestream.h"
#include "platform/system.h"

namespace con::progress {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPasses = 23;
constexpr auto kFirstDraw = std::chrono::milliseconds(200);
constexpr auto kRedraw = std::chrono::milliseconds(250);

struct Run {
  bool active = false;
  bool shown = false;
  bool decoding = false;
  uint64_t size = 0;     // the source's
  uint64_t in_pass = 0;  // written by the running pass
  int pass = 0;
  Clock::time_point start, last;
};

Run g_run;

void to_stderr(const std::string& text) { qvx::sys::write_stderr(text); }

std::string clock_text(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char buf[32];
  if (s >= 3600)
    std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
  return buf;
}

void draw(Clock::time_point now) {
  // Pass k of the run's order is step k: decoding runs 23 first.
  const int step = g_run.decoding ? kPasses + 1 - g_run.pass : g_run.pass;
  const double in_pass = std::min(1.0, static_cast<double>(g_run.in_pass) / static_cast<double>(g_run.size));
  const double done = std::clamp((std::max(step, 1) - 1 + in_pass) / kPasses, 0.0, 1.0);
  const double seconds = std::chrono::duration<double>(now - g_run.start).count();
  // The source's bytes per second: the share done of the source, not the
  // bytes every pass wrote.
  const double mib_s = seconds > 0 ? done * static_cast<double>(g_run.size) / (1024.0 * 1024.0) / seconds : 0.0;
  const std::string left = done > 0.01 ? clock_text(seconds * (1 - done) / done) : "--:--";
  char text[160];
  std::snprintf(text, sizeof text, "%s CLAVE %d  %3d%%  %.1f MiB/s  quedan %s",
                g_run.decoding ? "DECODIFICANDO" : "CODIFICANDO", g_run.pass, static_cast<int>(done * 100),
                mib_s, left.c_str());
  to_stderr(std::string("\r") + text + "\x1b[K");
  g_run.shown = true;
  g_run.last = now;
}

uint64_t source_size(const char* source) { return qvx::sys::regular_size(source); }

bool stderr_is_terminal() { return qvx::sys::stderr_is_terminal(); }

}  // namespace

void run_start(const char* source, bool decoding) {
  erase();
  g_run = Run{};
  g_run.size = source_size(source);
  g_run.active = g_run.size > kShownFrom && stderr_is_terminal();
  g_run.decoding = decoding;
  g_run.start = Clock::now();
  qvx::set_write_meter(&moved);
}

void pass(int n) {
  g_run.pass = n;
  g_run.in_pass = 0;
}

void moved(uint64_t bytes) {
  if (!g_run.active) return;
  g_run.in_pass += bytes;
  const Clock::time_point now = Clock::now();
  if (now - g_run.start < kFirstDraw || now - g_run.last < kRedraw) return;
  draw(now);
}

void run_end() {
  erase();
  g_run.active = false;
}

void erase() {
  if (!g_run.shown) return;
  to_stderr("\r\x1b[K");
  g_run.shown = false;
}

}  // namespace con::progress
