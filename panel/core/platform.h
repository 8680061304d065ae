// Everything the panel needs from the window system and the C runtime.
// The Windows build implements it with message boxes, common file dialogs,
// a console window and the shell's execute service; the tests script it.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvxpanel {

enum class Icon { none, exclamation };
enum class Buttons { ok, ok_cancel };
enum class Answer { ok, cancel };

// The state of a modal dialog. The window system shows dialog template
// `template_id` bound to it; a new dialog is a new state class and one entry
// in the Windows layer's table of windows.
class ModalDialog {
 public:
  explicit ModalDialog(int template_id) : template_id(template_id) {}
  virtual ~ModalDialog() = default;
  // Runs as the dialog opens.
  virtual void on_init_dialog() {}

  const int template_id;
};

// One argument of the engine's command line.
struct EngineArgument {
  std::string text;
  bool path = false;  // a file name: a Linux engine under Wine may need it mapped
};

// What one engine run gets.
struct EngineCall {
  std::vector<EngineArgument> arguments;
  // When set: the engine's texts (parameters 7 to 20, one per line, Latin-1)
  // for a private file that the platform writes, names with "--texts FILE"
  // before the arguments and removes after the run.
  std::optional<std::string> texts_file;
};

struct EngineResult {
  bool started = false;
  std::optional<int> status;  // the engine's exit status, when the platform learns it
  std::string refusal;        // why it was not started, when the platform can say
};

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

  // Starts `program` and waits until it ends. No arguments: the engine's
  // console menus, in a console of their own.
  virtual EngineResult run_engine(const std::string& program, const EngineCall& call) = 0;

  // Nothing when the working directory cannot be determined.
  virtual std::optional<std::string> working_directory() = 0;
  virtual std::tm local_time() = 0;

  // The C runtime's last error number.
  virtual int last_error() = 0;
  virtual void clear_last_error() = 0;

  // Copy the state of the active window into its controls now, so that
  // changes show behind a message box that follows.
  virtual void refresh() = 0;

  // A modal dialog bound to its state; true when closed with OK. The
  // dialog's buttons call the state's handlers while it runs, and its
  // on_init_dialog runs as it opens.
  virtual bool run(ModalDialog& dialog) = 0;
  virtual void show_about() = 0;
};

}  // namespace qvxpanel
