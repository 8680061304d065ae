// The panel with its test driver: built for the end-to-end test only.
#include <windows.h>

#include "app.h"
#include "test_driver.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  qvxpanel::win32::testing::start_driver_from_environment();
  int status = qvxpanel::win32::run_panel(instance);
  qvxpanel::win32::testing::finish_driver();
  return status;
}
