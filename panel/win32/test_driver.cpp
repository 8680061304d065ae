#include "test_driver.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "binding.h"
#include "dialogs.h"
#include "path_text.h"
#include "text.h"
#include "win32_platform.h"
#include "wine_launch.h"

namespace qvxpanel::win32::testing {
namespace {

constexpr UINT kTickMs = 60;
constexpr DWORD kStepTimeoutMs = 60000;
constexpr int kMessageBoxText = 0xFFFF;
constexpr int kFileNameBoxes[] = {1148, 1152};  // the name box of the two file-dialog styles

struct Step {
  int line = 0;
  std::string verb;
  std::string argument;  // first word after the verb
  std::string rest;      // the rest of the line, unescaped
  std::string source;
};

std::string unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      out += text[i];
      continue;
    }
    char c = text[++i];
    if (c == 'n') out += '\n';
    else if (c == 't') out += '\t';
    else if (c == 'x' && i + 2 < text.size()) {
      out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else out += c;
  }
  return out;
}

std::string escape(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\\') out += "\\\\";
    else if (c >= 0x20 && c < 0x7F) out += static_cast<char>(c);
    else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

std::string window_text(HWND w) {
  int length = GetWindowTextLengthW(w);
  std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
  int got = GetWindowTextW(w, buffer.data(), length + 1);
  buffer.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return path_text(buffer);
}

bool is_ours(HWND w) {
  for (Dialog* d : open_dialogs())
    if (d->hwnd == w) return true;
  return false;
}

// The enabled dialog window of this thread that is not one of the panel's:
// a message box or a file dialog (a file dialog is disabled while its own
// overwrite question is up).
HWND foreign_window() {
  struct Search {
    HWND found = nullptr;
  } search;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND w, LPARAM p) -> BOOL {
        wchar_t cls[32] = {};
        GetClassNameW(w, cls, 32);
        if (IsWindowVisible(w) && IsWindowEnabled(w) && std::wstring(cls) == L"#32770" && !is_ours(w)) {
          reinterpret_cast<Search*>(p)->found = w;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND file_name_box(HWND dialog) {
  for (int id : kFileNameBoxes)
    if (HWND box = GetDlgItem(dialog, id)) return box;
  return nullptr;
}

void press(HWND window, int id) {
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

class Driver {
 public:
  Driver(std::vector<Step> steps, const std::string& results)
      : steps_(std::move(steps)), out_(results, std::ios::binary | std::ios::trunc) {}

  void tick() {
    if (busy_) return;  // a step that waits (a screenshot) is still running
    if (next_ >= steps_.size()) return;
    if (started_ == 0) started_ = GetTickCount();
    if (GetTickCount() - started_ > kStepTimeoutMs) fail("timeout");
    const std::size_t current = next_;
    if (attempt(steps_[current]) && next_ == current) advance();
  }

  void finish() { record(next_ >= steps_.size() ? "closed after the last step" : "closed early"); }

 private:
  // True when the step is done; false to try again at the next tick.
  bool attempt(const Step& s) {
    if (s.verb == "pause") {
      return GetTickCount() - started_ >= static_cast<DWORD>(std::atoi(s.argument.c_str()));
    }
    if (s.verb == "shot") {
      shoot(s.rest);
      return true;
    }
    HWND foreign = foreign_window();
    if (s.verb == "box") {
      if (!foreign || !GetDlgItem(foreign, kMessageBoxText) || file_name_box(foreign)) return false;
      record("box [" + window_text(foreign) + "] " + control_text(foreign, kMessageBoxText, true));
      press(foreign, s.argument == "cancel" ? IDCANCEL : IDOK);
      return true;
    }
    if (s.verb == "file") {
      if (!foreign) return false;
      HWND name = file_name_box(foreign);
      if (!name) {
        if (GetDlgItem(foreign, kMessageBoxText)) unexpected(foreign);
        return false;
      }
      SetWindowTextW(name, path_wide(s.rest).c_str());
      press(foreign, IDOK);
      return true;
    }
    if (foreign) {
      // Only the panel's own dialogs take the remaining steps.
      if (GetDlgItem(foreign, kMessageBoxText) && !file_name_box(foreign)) unexpected(foreign);
      return false;
    }
    if (open_dialogs().empty()) return false;
    Dialog* top = open_dialogs().back();
    HWND d = top->hwnd;
    if (!d || !IsWindowVisible(d) || !IsWindowEnabled(d)) return false;
    const int id = std::atoi(s.argument.c_str());
    if (s.verb == "dialog") return top->template_id == id;
    if (s.verb == "set") {
      // Typing may raise a message box whose modal loop runs the next steps.
      advance();
      SetDlgItemTextW(d, id, path_wide(s.rest).c_str());
    } else if (s.verb == "click") {
      press(d, id);
    } else if (s.verb == "select") {
      SendDlgItemMessageW(d, id, CB_SETCURSEL, static_cast<WPARAM>(std::atoi(s.rest.c_str())), 0);
      PostMessageW(d, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(d, id)));
    } else if (s.verb == "read") {
      record("read " + s.argument + " = " + control_text(d, id, true));
    } else if (s.verb == "items") {
      std::string items;
      const auto n = SendDlgItemMessageW(d, id, CB_GETCOUNT, 0, 0);
      for (LRESULT i = 0; i < n; ++i) {
        wchar_t item[512] = {};
        SendDlgItemMessageW(d, id, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
        items += (i ? " | " : "") + narrow(item);
      }
      record("items " + s.argument + " = " + items);
    } else if (s.verb == "menu") {
      HMENU menu = GetSystemMenu(d, FALSE);
      wchar_t item[256] = {};
      GetMenuStringW(menu, static_cast<UINT>(GetMenuItemCount(menu) - 1), item, 256, MF_BYPOSITION);
      record("menu = " + narrow(item));
    } else if (s.verb == "system") {
      PostMessageW(d, WM_SYSCOMMAND, static_cast<WPARAM>(id), 0);
    } else if (s.verb == "enabled") {
      record("enabled " + s.argument + " = " + (IsWindowEnabled(GetDlgItem(d, id)) ? "1" : "0"));
    } else {
      fail("unknown step");
    }
    return true;
  }

  // The whole screen: the panel's windows and whatever box is over them.
  void shoot(const std::string& file) {
    for (Dialog* open : open_dialogs())
      RedrawWindow(open->hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    GdiFlush();
    busy_ = true;
    bool taken = start_and_wait("/usr/bin/import", "-window root " + quote_argument(file), false).started;
    busy_ = false;
    record(std::string("shot ") + (taken ? "saved" : "failed"));
  }

  void advance() {
    ++next_;
    started_ = 0;
  }

  void unexpected(HWND box) {
    record("unexpected box [" + window_text(box) + "] " + control_text(box, kMessageBoxText, true));
    fail("stopped");
  }

  void fail(const std::string& why) {
    const Step& s = steps_[next_];
    record(why + " at line " + std::to_string(s.line) + ": " + s.source);
    ExitProcess(3);
  }

  void record(const std::string& line) {
    out_ << escape(line) << '\n';
    out_.flush();
  }

  std::vector<Step> steps_;
  std::ofstream out_;
  std::size_t next_ = 0;
  DWORD started_ = 0;
  bool busy_ = false;
};

Driver* g_driver = nullptr;

void CALLBACK on_tick(HWND, UINT, UINT_PTR, DWORD) {
  if (g_driver) g_driver->tick();
}

std::vector<Step> read_script(const char* path) {
  std::vector<Step> steps;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    Step s;
    s.line = number;
    s.source = line.substr(start);
    std::istringstream words(s.source);
    words >> s.verb >> s.argument;
    std::string rest;
    std::getline(words, rest);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    // For the one-argument steps the argument is the whole text.
    s.rest = unescape(s.verb == "file" || s.verb == "shot" ? s.argument + (rest.empty() ? "" : " " + rest) : rest);
    steps.push_back(s);
  }
  return steps;
}

}  // namespace

void finish_driver() {
  if (g_driver) g_driver->finish();
}

void start_driver_from_environment() {
  const char* script = std::getenv("QVXPANEL_SCRIPT");
  const char* results = std::getenv("QVXPANEL_RESULTS");
  if (!script || !results) return;
  g_driver = new Driver(read_script(script), results);
  SetTimer(nullptr, 0, kTickMs, on_tick);
}

}  // namespace qvxpanel::win32::testing
