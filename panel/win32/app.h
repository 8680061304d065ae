// The panel's start-up, shared by the program and its test build.
#pragma once

#include <windows.h>

namespace qvxpanel::win32 {

// Shows the main window modally; returns 0 when it closes, or 1 after
// showing the system error when it could not be made.
int run_panel(HINSTANCE instance);

}  // namespace qvxpanel::win32
