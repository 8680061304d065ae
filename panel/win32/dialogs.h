// The panel's windows: each modal dialog template bound to the core object
// that holds its state. A window copies its controls into that state before
// a handler runs and shows the state again afterwards.
#pragma once

#include <windows.h>

#include <vector>

#include "binding.h"
#include "keybook_dialogs.h"
#include "main_window.h"

namespace qvxpanel::win32 {

class Dialog {
 public:
  explicit Dialog(int template_id) : template_id(template_id) {}
  virtual ~Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  const int template_id;
  HWND hwnd = nullptr;

  // Modal; the result is the id of the button that closed it.
  INT_PTR run(HWND owner);
  // State into controls; the notifications this raises are not user edits.
  void show();
  // Controls into state (one control, or all when `only` is 0).
  void take(int only = 0);

 protected:
  virtual Bindings bindings() = 0;
  virtual void on_init() {}
  // Whatever is more than field copies: lists, enabled states, focus.
  virtual void show_extra() {}
  virtual void on_command(int id, int code) = 0;
  virtual void on_system_command(WPARAM) {}
  void end(int result) { EndDialog(hwnd, result); }
  void focus(int& id);

 private:
  static INT_PTR CALLBACK procedure(HWND, UINT, WPARAM, LPARAM);
  bool updating_ = false;

 protected:
  bool updating() const { return updating_; }
};

// Open dialogs, innermost last: message boxes and file dialogs belong to it.
std::vector<Dialog*>& open_dialogs();
HWND active_owner();

HINSTANCE instance();
void set_instance(HINSTANCE);

class MainWindow : public Dialog {
 public:
  explicit MainWindow(CQvxpanelDlg& state) : Dialog(ids::main_window::kDialog), state_(state) {}

 protected:
  Bindings bindings() override;
  void on_init() override;
  void show_extra() override;
  void on_command(int id, int code) override;
  void on_system_command(WPARAM command) override;

 private:
  CQvxpanelDlg& state_;
};

// Runs the dialogs the core asks for (Platform::run and show_about).
bool run_dialog(ModalDialog& dialog);
void run_about();

}  // namespace qvxpanel::win32
