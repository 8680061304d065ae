#include "file_dialog.h"

#include <windows.h>
#include <commdlg.h>

#include <vector>

#include "dialogs.h"
#include "path_text.h"

namespace qvxpanel::win32 {
namespace {

// Wine's dialogs copy the chosen name into buffers of MAX_PATH characters
// and crash on a longer one. A name near that length is taken here, before
// the dialog's own handling sees it.
constexpr std::size_t kLongName = MAX_PATH - 20;
constexpr int kNameBoxes[] = {cmb13, edt1};  // the name box of the two dialog styles

struct Choice {
  bool save = false;
  bool watched = false;  // its window goes through dialog_proc
  std::optional<std::wstring> chosen;
};
Choice* g_choice = nullptr;        // the one dialog open (one thread, modal)
WNDPROC g_dialog_proc = nullptr;   // the dialog window's own procedure

std::wstring text_of(HWND w) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(w)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(w, text.data(), static_cast<int>(text.size()))));
  return text;
}

// The full path typed into the name box, when it is one of those.
std::optional<std::wstring> long_name(HWND dialog) {
  HWND box = nullptr;
  for (int id : kNameBoxes)
    if (!box) box = GetDlgItem(dialog, id);
  if (!box) return std::nullopt;
  const std::wstring name = text_of(box);
  if (name.empty() || name.find_first_of(L"*?\"") != std::wstring::npos) return std::nullopt;
  const bool absolute = (name.size() >= 3 && name[1] == L':' && (name[2] == L'\\' || name[2] == L'/')) ||
                        (name.size() >= 2 && name[0] == L'\\' && name[1] == L'\\');
  std::wstring full = name;
  if (!absolute) {
    std::vector<wchar_t> folder(32768, L'\0');
    if (SendMessageW(dialog, CDM_GETFOLDERPATH, folder.size(), reinterpret_cast<LPARAM>(folder.data())) <= 0)
      return std::nullopt;
    full = folder.data();
    if (!full.empty() && full.back() != L'\\') full += L'\\';
    full += name;
  }
  if (full.size() < kLongName) return std::nullopt;
  return full;
}

LRESULT CALLBACK dialog_proc(HWND w, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND && LOWORD(wparam) == IDOK && g_choice) {
    if (auto full = long_name(w)) {
      const DWORD attributes = GetFileAttributesW(full->c_str());
      const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
      if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;  // no folder is a file
      if (g_choice->save && exists &&
          MessageBoxW(w, (*full + L" ya existe.\n\u00BFDesea reemplazarlo?").c_str(), text_of(w).c_str(),
                      MB_YESNO | MB_ICONWARNING) != IDYES)
        return 0;
      g_choice->chosen = *full;
      // Closed as cancelled, so that the dialog's own code never copies it.
      PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
      return 0;
    }
  }
  return CallWindowProcW(g_dialog_proc, w, message, wparam, lparam);
}

UINT_PTR CALLBACK hook(HWND child, UINT message, WPARAM, LPARAM lparam) {
  if (message == WM_NOTIFY && reinterpret_cast<OFNOTIFYW*>(lparam)->hdr.code == CDN_INITDONE && g_choice &&
      !g_choice->watched) {
    g_choice->watched = true;
    g_dialog_proc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(GetParent(child), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(dialog_proc)));
  }
  return 0;
}

}  // namespace

std::optional<std::string> file_dialog(std::string_view proposed, bool save) {
  std::vector<wchar_t> name(32768, L'\0');
  const std::wstring wide = path_wide(proposed);
  wide.copy(name.data(), std::min(wide.size(), name.size() - 1));
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = active_owner();
  ofn.lpstrFile = name.data();
  ofn.nMaxFile = static_cast<DWORD>(name.size());
  ofn.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING;
  ofn.lpfnHook = hook;
  Choice choice;
  choice.save = save;
  g_choice = &choice;
  const BOOL chosen = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
  g_choice = nullptr;
  if (choice.chosen) return path_text(*choice.chosen);
  if (chosen) return path_text(name.data());
  if (const DWORD error = CommDlgExtendedError(); error != 0)
    MessageBoxW(active_owner(),
                (L"No se ha podido usar el di\u00E1logo de ficheros (error " + std::to_wstring(error) + L").").c_str(),
                L"ERROR", MB_OK | MB_ICONEXCLAMATION);
  return std::nullopt;
}

}  // namespace qvxpanel::win32
