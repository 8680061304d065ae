#include "binding.h"

#include <cstdlib>

#include "path_text.h"
#include "text.h"

namespace qvxpanel::win32 {

std::string control_text(HWND dialog, int id, bool path) {
  HWND control = GetDlgItem(dialog, id);
  if (!control) return {};
  int length = GetWindowTextLengthW(control);
  std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
  int got = GetWindowTextW(control, buffer.data(), length + 1);
  buffer.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return path ? path_text(buffer) : narrow(buffer);
}

void set_control_text(HWND dialog, int id, const std::string& text, bool path) {
  // Writing an unchanged text would still raise a change notification.
  if (control_text(dialog, id, path) == text) return;
  SetDlgItemTextW(dialog, id, (path ? path_wide(text) : widen(text)).c_str());
}

void to_controls(HWND dialog, const Bindings& bindings) {
  for (const Binding& b : bindings) {
    if (auto text = std::get_if<std::string*>(&b.field)) {
      set_control_text(dialog, b.id, **text);
    } else if (auto number = std::get_if<int32_t*>(&b.field)) {
      set_control_text(dialog, b.id, std::to_string(**number));
    } else if (auto lines = std::get_if<Binding::Lines>(&b.field)) {
      set_control_text(dialog, b.id, to_control_lines(*lines->text), true);
    } else {
      set_control_text(dialog, b.id, *std::get<Binding::Path>(b.field).text, true);
    }
  }
}

void from_controls(HWND dialog, const Bindings& bindings, int only) {
  for (const Binding& b : bindings) {
    if (only != 0 && b.id != only) continue;
    const bool path = std::holds_alternative<Binding::Lines>(b.field) || std::holds_alternative<Binding::Path>(b.field);
    const std::string text = control_text(dialog, b.id, path);
    if (auto field = std::get_if<std::string*>(&b.field)) {
      **field = text;
    } else if (auto number = std::get_if<int32_t*>(&b.field)) {
      **number = static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10));
    } else if (auto lines = std::get_if<Binding::Lines>(&b.field)) {
      *lines->text = from_control_lines(text);
    } else {
      *std::get<Binding::Path>(b.field).text = text;
    }
  }
}

void set_combo(HWND dialog, int id, const std::vector<std::string>& items, int selection) {
  HWND combo = GetDlgItem(dialog, id);
  if (!combo) return;
  const auto count = static_cast<std::size_t>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  bool same = count == items.size();
  for (std::size_t i = 0; same && i < count; ++i) {
    const auto length = SendMessageW(combo, CB_GETLBTEXTLEN, i, 0);
    std::wstring item(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
    item.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    same = narrow(item) == items[i];
  }
  if (!same) {
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : items)
      SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(item).c_str()));
  }
  if (SendMessageW(combo, CB_GETCURSEL, 0, 0) != selection || !same)
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
}

}  // namespace qvxpanel::win32
