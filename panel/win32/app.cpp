#include "app.h"

#include <string>

#include "dialogs.h"
#include "main_window.h"
#include "win32_platform.h"

namespace qvxpanel::win32 {

int run_panel(HINSTANCE instance) {
  set_instance(instance);
  // The rich-edit window classes exist only once their library is loaded.
  LoadLibraryW(L"riched20.dll");
  Win32Platform platform;
  CQvxpanelDlg state(platform);
  MainWindow window(state);
  if (window.run(nullptr) == -1) {
    // The main window could not be made: say why instead of ending unseen.
    const DWORD error = GetLastError();
    std::wstring shown = L"qvxpanel: no se ha podido crear la ventana principal.";
    wchar_t* text = nullptr;
    if (error != 0 &&
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr))
      shown += L"\n" + std::wstring(text) + L"(" + std::to_wstring(error) + L")";
    if (text) LocalFree(text);
    MessageBoxW(nullptr, shown.c_str(), L"ERROR", MB_OK | MB_ICONERROR);
    return 1;
  }
  return 0;
}

}  // namespace qvxpanel::win32
