// The panel's main window: the form that collects one engine run, the log,
// the configuration file and the way into the key-book dialogs.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "contract/command_layout.h"
#include "config_file.h"
#include "ids.h"
#include "keybook_access.h"
#include "platform.h"

namespace qvxpanel {

// The C runtime's asctime text of `t` ("Thu Jan  1 00:00:00 1970\n" with
// glibc), or question marks when the runtime refuses the time.
std::string asctime_text(const std::tm& t);

struct RunTexts;

class CQvxpanelDlg {
 public:
  std::string engine_path;
  std::string book_path;
  std::vector<NameEntry> master_keys;  // the list of combo box 1050
  int master_key_selection = -1;      // index into `master_keys`
  int32_t number = 0;
  std::string name;
  std::string source;
  std::string destination;
  std::string confirmation;
  std::array<std::string, qvx::cmdline::kTexts> parameters;
  std::string log;
  std::string config_path;
  RecordTexts key_copy;         // the record `number` as last read
  int32_t records_scanned = 0;  // slots the last read went through
  int focus = 0;                // control to focus after a handler

  explicit CQvxpanelDlg(Platform& platform);

  void on_init_dialog();
  void on_engine_browse();
  void on_run_console();
  void on_book_browse();
  // For changes made outside the handlers below, which refill the list
  // themselves: calling it after them would only repeat their messages.
  void on_book_path_changed();
  void on_master_key_selected(int index);
  void on_key_book();
  void on_confirmation_browse();
  void on_confirmation_clear();
  void on_source_browse();
  void on_destination_browse();
  void on_encode();
  void on_decode();
  void on_copy_keys();
  void on_clear_log();
  void on_edit_log();
  void on_save_config();
  void on_load_config();
  // Always ends with the window closing.
  void on_exit();

  PanelConfig form() const;

 private:
  void run(const RunTexts& t);
  void report_launch(const RunTexts& t, bool started, const std::string& engine,
                     const std::string& date, bool console);
  void refill_master_keys(std::string_view open_error_title, std::string_view empty_message);
  bool read_key_copy();
  void message(std::string_view text, std::string_view title, Icon icon = Icon::none);

  Platform& platform_;
};

}  // namespace qvxpanel
