// Everything the panel needs from the window system and the C runtime.
// The Windows build implements it with message boxes, common file dialogs,
// a console window and the shell's execute service; the tests script it.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace qvxpanel {

class KeyBookDialog;
class AddDialog;
class ChangeDialog;
class SearchDialog;
class LogDialog;

enum class Icon { none, exclamation };
enum class Buttons { ok, ok_cancel };
enum class Answer { ok, cancel };

class Platform {
 public:
  virtual ~Platform() = default;

  // A modal message box. `title` empty means no caption. Texts are Latin-1.
  virtual Answer message_box(std::string_view text, std::string_view title, Icon icon,
                             Buttons buttons) = 0;

  // Common file dialogs proposing `proposed` as the file name; nothing when
  // the user cancels.
  virtual std::optional<std::string> open_file(std::string_view proposed) = 0;
  virtual std::optional<std::string> save_file(std::string_view proposed) = 0;

  // The progress console shown while the engine runs.
  virtual void console_open(std::string_view title) = 0;
  virtual void console_write(std::string_view text) = 0;
  virtual void console_close() = 0;

  // The process's standard output, where the key-book primitives leave their
  // traces; a windowed program normally shows none of it.
  virtual void standard_output(std::string_view text) = 0;

  // Starts `program` with `parameters` and waits until it ends; false when
  // it could not be started.
  virtual bool run_engine(const std::string& program, const std::string& parameters) = 0;

  // Nothing when the working directory cannot be determined.
  virtual std::optional<std::string> working_directory() = 0;
  virtual std::tm local_time() = 0;

  // The C runtime's last error number.
  virtual int last_error() = 0;
  virtual void clear_last_error() = 0;

  // Copy the state of the active window into its controls now, so that
  // changes show behind a message box that follows.
  virtual void refresh() = 0;

  // Modal dialogs bound to their state; true when closed with OK. The
  // dialog's buttons call the state's handlers while it runs, and the
  // key-book dialog's on_init_dialog runs as it opens.
  virtual bool run(KeyBookDialog& dialog) = 0;
  virtual bool run(AddDialog& dialog) = 0;
  virtual bool run(ChangeDialog& dialog) = 0;
  virtual bool run(SearchDialog& dialog) = 0;
  virtual bool run(LogDialog& dialog) = 0;
  virtual void show_about() = 0;
};

}  // namespace qvxpanel
