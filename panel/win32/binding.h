// The thin layer between a dialog's controls and the core's state: each
// control id is bound to one field, and values are copied one way or the
// other at the moments the windows ask for (the dialog framework's data
// exchange, without the framework).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace qvxpanel::win32 {

struct Binding {
  int id;
  // Latin-1 texts (key material: a character beyond Latin-1 becomes '?'),
  // whole numbers, multi-line texts (rich edits) and paths. The last two
  // are path texts (path_text.h): a log names paths too.
  struct Lines {
    std::string* text;
  };
  struct Path {
    std::string* text;
  };
  std::variant<std::string*, int32_t*, Lines, Path> field;
};

using Bindings = std::vector<Binding>;

// State into controls. The caller suppresses the change notifications this
// provokes (see Dialog::updating).
void to_controls(HWND dialog, const Bindings& bindings);
// Controls into state; `only` limits it to one control (0: all of them).
void from_controls(HWND dialog, const Bindings& bindings, int only = 0);

// Control texts as Latin-1 bytes, or as path texts.
std::string control_text(HWND dialog, int id, bool path = false);
void set_control_text(HWND dialog, int id, const std::string& text, bool path = false);

// A combo box's list; refilled only when it differs, so that the user's
// scrolling and the edit text survive a refresh that changes nothing.
void set_combo(HWND dialog, int id, const std::vector<std::string>& items, int selection);

}  // namespace qvxpanel::win32
