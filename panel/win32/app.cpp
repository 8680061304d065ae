#include "app.h"

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
  window.run(nullptr);
  return 0;
}

}  // namespace qvxpanel::win32
