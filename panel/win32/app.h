// The panel's start-up, shared by the program and its test build.
#pragma once

#include <windows.h>

namespace qvxpanel::win32 {

// Shows the main window modally; returns when it closes.
int run_panel(HINSTANCE instance);

}  // namespace qvxpanel::win32
