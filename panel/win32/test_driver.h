// The test build's driver: it plays a script of steps against the real
// windows from a thread timer, which keeps firing inside every modal loop
// (message boxes, file dialogs, the panel's own dialogs), and writes what it
// saw to a results file.
//
// Steps, one per line ('#' starts a comment; texts take \n, \\ and \xHH):
//   dialog N            wait until dialog N is the active window of the panel
//   set ID TEXT         type TEXT into control ID of that dialog
//   click ID            press button ID
//   select ID N         choose entry N of combo box ID
//   read ID             record "read ID = TEXT"
//   items ID            record "items ID = a | b | ..."
//   enabled ID          record "enabled ID = 0|1"
//   menu                record "menu = TEXT", the window menu's last entry
//   system N            choose entry N of the window menu
//   box ok|cancel       wait for a message box, record "box [TITLE] TEXT", answer it
//   file PATH           wait for a file dialog and choose PATH in it
//   shot FILE           save a screenshot of the screen as FILE (a Linux path)
//   pause MS            let the windows settle and paint
// Every step waits for its window; a message box that no step expects is
// recorded as "unexpected box [TITLE] TEXT" and ends the run.
#pragma once

namespace qvxpanel::win32::testing {

// Starts the driver when QVXPANEL_SCRIPT names a script; the results go to
// QVXPANEL_RESULTS.
void start_driver_from_environment();
// Records whether the panel closed after the script's last step.
void finish_driver();

}  // namespace qvxpanel::win32::testing
