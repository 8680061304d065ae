#include "binding.h"

#include <cstdlib>

#include "text.h"

namespace qvxpanel::win32 {

std::string control_text(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  if (!control) return {};
  int length = GetWindowTextLengthW(control);
  std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
  int got = GetWindowTextW(control, buffer.data(), length + 1);
  buffer.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return narrow(buffer);
}

void set_control_text(HWND dialog, int id, const std::string& text) {
  // Writing an unchanged text would still raise a change notification.
  if (control_text(dialog, id) == text) return;
  SetDlgItemTextW(dialog, id, widen(text).c_str());
}

void to_controls(HWND dialog, const Bindings& bindings) {
  for (const Binding& b : bindings) {
    if (auto text = std::get_if<std::string*>(&b.field)) {
      set_control_text(dialog, b.id, **text);
    } else if (auto number = std::get_if<int32_t*>(&b.field)) {
      set_control_text(dialog, b.id, std::to_string(**number));
    } else {
      const std::string shown = to_control_lines(*std::get<Binding::Lines>(b.field).text);
      set_control_text(dialog, b.id, shown);
    }
  }
}

void from_controls(HWND dialog, const Bindings& bindings, int only) {
  for (const Binding& b : bindings) {
    if (only != 0 && b.id != only) continue;
    const std::string text = control_text(dialog, b.id);
    if (auto field = std::get_if<std::string*>(&b.field)) {
      **field = text;
    } else if (auto number = std::get_if<int32_t*>(&b.field)) {
      **number = static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10));
    } else {
      *std::get<Binding::Lines>(b.field).text = from_control_lines(text);
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
