// The core's platform on Windows (and on Wine): message boxes, the common
// file dialogs, a console window, the shell's execute service.
#pragma once

#include <string>

#include "platform.h"

namespace qvxpanel::win32 {

class Win32Platform : public Platform {
 public:
  // Remembers the folder it starts in: the one a bare engine name means.
  Win32Platform();
  Answer message_box(std::string_view text, std::string_view title, Icon icon, Buttons buttons) override;
  std::optional<std::string> open_file(std::string_view proposed) override;
  std::optional<std::string> save_file(std::string_view proposed) override;
  void console_open(std::string_view title) override;
  void console_write(std::string_view text) override;
  void console_close() override;
  void standard_output(std::string_view text) override;
  EngineResult run_engine(const std::string& program, const EngineCall& call) override;
  std::optional<std::string> working_directory() override;
  std::tm local_time() override;
  int last_error() override;
  void clear_last_error() override;
  void refresh() override;
  bool run(ModalDialog& dialog) override;
  void show_about() override;

 private:
  bool console_allocated_ = false;
  std::wstring start_folder_;
};

// Starts `program` with a Windows command line and waits for it to end,
// the panel's windows painting meanwhile. Under Wine a Linux program is
// started through /bin/sh (see shell_wrapper_parameters), in a terminal of
// its own when `visible`; its shell's 126 and 127 count as not started.
EngineResult start_and_wait(const std::string& program, const std::string& parameters, bool visible);

// Under Wine, a program for the Linux side (an ELF image or a script).
bool is_linux_engine(const std::string& program);

bool running_under_wine();

}  // namespace qvxpanel::win32
