#include "dialogs.h"

#include <richedit.h>

#include <utility>

#include "bookformat/slot.h"
#include "text.h"

namespace qvxpanel::win32 {
namespace {

HINSTANCE g_instance = nullptr;
constexpr UINT kAboutCommand = 0x0010;  // system-menu ids stay below 0xF000

template <class State>
using Handlers = std::vector<std::pair<int, void (State::*)()>>;

// Calls the handler bound to `id`; false when there is none.
template <class State>
bool dispatch(State& state, const Handlers<State>& handlers, int id) {
  for (const auto& [button, handler] : handlers) {
    if (button == id) {
      (state.*handler)();
      return true;
    }
  }
  return false;
}

// The ten key fields of a form, in the order of the record's keys.
void bind_record(Bindings& b, RecordTexts& r, const std::array<int, 10>& keys, int engorde, int desorden) {
  for (std::size_t k = 0; k < keys.size(); ++k) b.push_back({keys[k], &r.claves[k]});
  b.push_back({engorde, &r.engorde});
  b.push_back({desorden, &r.desorden});
}

std::vector<std::string> names_of(const std::vector<NameEntry>& entries) {
  std::vector<std::string> names;
  for (const NameEntry& e : entries) names.push_back(e.name);
  return names;
}

void limit_text(HWND dialog, int id, std::size_t characters) {
  HWND control = GetDlgItem(dialog, id);
  wchar_t cls[16] = {};
  GetClassNameW(control, cls, 16);
  SendMessageW(control, lstrcmpiW(cls, L"ComboBox") == 0 ? CB_LIMITTEXT : EM_SETLIMITTEXT, characters, 0);
}

int combo_selection(HWND dialog, int id) {
  return static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0));
}

}  // namespace

HINSTANCE instance() { return g_instance; }
void set_instance(HINSTANCE h) { g_instance = h; }

std::vector<Dialog*>& open_dialogs() {
  static std::vector<Dialog*> dialogs;
  return dialogs;
}

HWND active_owner() { return open_dialogs().empty() ? nullptr : open_dialogs().back()->hwnd; }

INT_PTR Dialog::run(HWND owner) {
  return DialogBoxParamW(g_instance, MAKEINTRESOURCEW(template_id), owner, procedure,
                         reinterpret_cast<LPARAM>(this));
}

void Dialog::show() {
  if (!hwnd) return;
  updating_ = true;
  to_controls(hwnd, bindings());
  show_extra();
  updating_ = false;
}

void Dialog::take(int only) {
  if (hwnd) from_controls(hwnd, bindings(), only);
}

void Dialog::focus(int& id) {
  if (id == 0) return;
  if (HWND control = GetDlgItem(hwnd, id)) {
    SendMessageW(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    // A focused log shows its last lines, not all of it selected.
    if (GetWindowLongW(control, GWL_STYLE) & ES_MULTILINE) {
      SendMessageW(control, EM_SETSEL, static_cast<WPARAM>(-1), -1);
      SendMessageW(control, WM_VSCROLL, SB_BOTTOM, 0);
    }
  }
  id = 0;
}

INT_PTR CALLBACK Dialog::procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  Dialog* self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      self = reinterpret_cast<Dialog*>(lparam);
      SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
      self->hwnd = hwnd;
      open_dialogs().push_back(self);
      self->on_init();
      self->show();
      return TRUE;
    case WM_COMMAND:
      if (!self) return FALSE;
      self->on_command(LOWORD(wparam), HIWORD(wparam));
      return TRUE;
    case WM_SYSCOMMAND:
      if (!self) return FALSE;
      self->on_system_command(wparam);
      return FALSE;  // the default handling still runs for the rest
    case WM_CLOSE:
      if (!self) return FALSE;
      self->on_command(IDCANCEL, BN_CLICKED);
      return TRUE;
    case WM_DESTROY:
      if (self) {
        auto& dialogs = open_dialogs();
        if (!dialogs.empty() && dialogs.back() == self) dialogs.pop_back();
        self->hwnd = nullptr;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// ---- main window ----------------------------------------------------------

Bindings MainWindow::bindings() {
  namespace m = ids::main_window;
  CQvxpanelDlg& s = state_;
  using P = Binding::Path;
  Bindings b = {{m::kEnginePath, P{&s.engine_path}}, {m::kBookPath, P{&s.book_path}},
                {m::kNumber, &s.number},             {m::kName, &s.name},
                {m::kSource, P{&s.source}},          {m::kDestination, P{&s.destination}},
                {m::kConfirmation, P{&s.confirmation}}};
  // Path texts, so that a character beyond Latin-1 is seen and refused
  // rather than turned into '?' unseen.
  for (int k = 1; k <= 14; ++k) b.push_back({m::parameter(k), P{&s.parameters[static_cast<std::size_t>(k - 1)]}});
  b.push_back({m::kLog, Binding::Lines{&s.log}});
  return b;
}

void MainWindow::on_init() {
  state_.on_init_dialog();
  HMENU menu = GetSystemMenu(hwnd, FALSE);
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, kAboutCommand, L"Acerca de qvxpanel");
  // A log far beyond the rich edit's default 32 KiB must not be cut.
  SendDlgItemMessageW(hwnd, ids::main_window::kLog, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
}

void MainWindow::show_extra() {
  set_combo(hwnd, ids::main_window::kMasterKeys, names_of(state_.master_keys), state_.master_key_selection);
}

void MainWindow::on_system_command(WPARAM command) {
  if ((command & 0xFFF0) == kAboutCommand) run_about();
}

void MainWindow::on_command(int id, int code) {
  namespace m = ids::main_window;
  if (code == EN_CHANGE) {
    if (updating()) return;
    take(id);
    if (id == m::kBookPath) {
      state_.on_book_path_changed();
      show();
      focus(state_.focus);
    }
    return;
  }
  if (id == m::kMasterKeys) {
    if (code == CBN_SELCHANGE && !updating()) {
      state_.on_master_key_selected(combo_selection(hwnd, id));
      show();
    }
    return;
  }
  if (code != BN_CLICKED) return;
  static const Handlers<CQvxpanelDlg> kButtons = {
      {m::kEngineBrowse, &CQvxpanelDlg::on_engine_browse},
      {m::kRunConsole, &CQvxpanelDlg::on_run_console},
      {m::kBookBrowse, &CQvxpanelDlg::on_book_browse},
      {m::kKeyBook, &CQvxpanelDlg::on_key_book},
      {m::kConfirmationBrowse, &CQvxpanelDlg::on_confirmation_browse},
      {m::kConfirmationClear, &CQvxpanelDlg::on_confirmation_clear},
      {m::kSourceBrowse, &CQvxpanelDlg::on_source_browse},
      {m::kDestinationBrowse, &CQvxpanelDlg::on_destination_browse},
      {m::kEncode, &CQvxpanelDlg::on_encode},
      {m::kDecode, &CQvxpanelDlg::on_decode},
      {m::kCopyKeys, &CQvxpanelDlg::on_copy_keys},
      {m::kClearLog, &CQvxpanelDlg::on_clear_log},
      {m::kEditLog, &CQvxpanelDlg::on_edit_log},
      {m::kSaveConfig, &CQvxpanelDlg::on_save_config},
      {m::kLoadConfig, &CQvxpanelDlg::on_load_config},
      {m::kExit, &CQvxpanelDlg::on_exit},
  };
  take();
  if (!dispatch(state_, kButtons, id)) return;
  if (id == m::kExit) {
    end(IDCANCEL);
    return;
  }
  show();
  focus(state_.focus);
}

// ---- key-book dialog --------------------------------------------------------

namespace {

class KeyBookWindow : public Dialog {
 public:
  explicit KeyBookWindow(KeyBookDialog& state) : Dialog(ids::keybook_dialog::kDialog), state_(state) {}

 protected:
  Bindings bindings() override {
    namespace k = ids::keybook_dialog;
    Bindings b = {{k::kPath, Binding::Path{&state_.path}}, {k::kNumber, &state_.number}};
    bind_record(b, state_.record, k::kKeys, k::kEngorde, k::kDesorden);
    return b;
  }
  void on_init() override { state_.on_init_dialog(); }
  void show_extra() override {
    namespace k = ids::keybook_dialog;
    set_combo(hwnd, k::kNames, names_of(state_.names), state_.selection);
    for (int id : {ids::kOk, k::kSearch, k::kChange, k::kAdd, k::kDelete})
      EnableWindow(GetDlgItem(hwnd, id), state_.operations_enabled);
    focus(state_.focus);
  }
  void on_command(int id, int code) override {
    namespace k = ids::keybook_dialog;
    if (id == k::kPath && code == EN_CHANGE) {
      if (updating()) return;
      take(id);
      state_.on_path_changed();
      show();
      return;
    }
    if (id == k::kNames) {
      if (code == CBN_SELCHANGE && !updating()) {
        state_.on_name_selected(combo_selection(hwnd, id));
        show();
      }
      return;
    }
    if (code != BN_CLICKED) return;
    if (id == ids::kOk || id == ids::kCancel) {
      if (id == ids::kOk) take();
      end(id);
      return;
    }
    static const Handlers<KeyBookDialog> kButtons = {
        {k::kBrowse, &KeyBookDialog::on_browse}, {k::kCreate, &KeyBookDialog::on_create},
        {k::kSearch, &KeyBookDialog::on_search}, {k::kAdd, &KeyBookDialog::on_add},
        {k::kDelete, &KeyBookDialog::on_delete}, {k::kChange, &KeyBookDialog::on_change},
    };
    take();
    if (dispatch(state_, kButtons, id)) show();
  }

 private:
  KeyBookDialog& state_;
};

// The add and change forms: the record's fields, the checks on the two
// numbers as they are typed, and OK writing the record.
template <class Form>
class RecordWindow : public Dialog {
 public:
  RecordWindow(Form& state, const ids::RecordFormIds& form) : Dialog(form.dialog), state_(state), ids_(form) {}

 protected:
  Bindings bindings() override {
    Bindings b = {{ids_.path, Binding::Path{&state_.path}}, {ids_.name, &state_.record.nombre},
                  {ids_.number, &state_.number}};
    bind_record(b, state_.record, ids_.keys, ids_.engorde, ids_.desorden);
    return b;
  }
  // A longer name or key would be cut unseen when the record is written:
  // the fields take no more than the slot holds.
  void on_init() override {
    limit_text(hwnd, ids_.name, qvx::kNameWidth - 1);
    for (int id : ids_.keys) limit_text(hwnd, id, qvx::kKeyWidth - 1);
  }
  void on_command(int id, int code) override {
    if (code == EN_CHANGE || code == CBN_EDITCHANGE) {
      if (updating()) return;
      take(id);
      if (id == ids_.engorde) state_.on_engorde_changed();
      if (id == ids_.desorden) state_.on_desorden_changed();
      return;
    }
    if (code != BN_CLICKED) return;
    if (id == ids::kOk) {
      take();
      if (state_.on_ok()) end(IDOK);
      else show();
    } else if (id == ids::kCancel) {
      end(IDCANCEL);
    }
  }

  Form& state_;

 private:
  const ids::RecordFormIds& ids_;
};

class AddWindow : public RecordWindow<AddDialog> {
 public:
  explicit AddWindow(AddDialog& state) : RecordWindow(state, ids::add_dialog::kForm) {}
};

class ChangeWindow : public RecordWindow<ChangeDialog> {
 public:
  explicit ChangeWindow(ChangeDialog& state)
      : RecordWindow(state, ids::change_dialog::kForm) {}

 protected:
  void show_extra() override {
    // The name box lists the book's names; its edit text is the name itself.
    int selection = -1;
    for (std::size_t i = 0; i < state_.names.size(); ++i)
      if (state_.names[i] == state_.record.nombre) selection = static_cast<int>(i);
    set_combo(hwnd, ids::change_dialog::kName, state_.names, selection);
    set_control_text(hwnd, ids::change_dialog::kName, state_.record.nombre);
  }
  void on_command(int id, int code) override {
    if (id == ids::change_dialog::kName && code == CBN_SELCHANGE && !updating()) {
      int index = combo_selection(hwnd, id);
      if (index >= 0 && static_cast<std::size_t>(index) < state_.names.size())
        state_.record.nombre = state_.names[static_cast<std::size_t>(index)];
      return;
    }
    RecordWindow::on_command(id, code);
  }
};

// A form with one text and OK / Cancel: the search and the log dialogs.
class TextWindow : public Dialog {
 public:
  TextWindow(int template_id, int id, std::string& text, bool lines)
      : Dialog(template_id), id_(id), text_(text), lines_(lines) {}

 protected:
  Bindings bindings() override {
    if (lines_) return {{id_, Binding::Lines{&text_}}};
    return {{id_, &text_}};
  }
  void on_init() override {
    if (lines_) SendDlgItemMessageW(hwnd, id_, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
  }
  void on_command(int id, int code) override {
    if (code != BN_CLICKED || (id != ids::kOk && id != ids::kCancel)) return;
    if (id == ids::kOk) take();
    end(id);
  }

 private:
  int id_;
  std::string& text_;
  bool lines_;
};

class SearchWindow : public TextWindow {
 public:
  explicit SearchWindow(SearchDialog& state)
      : TextWindow(ids::search_dialog::kDialog, ids::search_dialog::kText, state.text, false) {}
};

class LogWindow : public TextWindow {
 public:
  explicit LogWindow(LogDialog& state) : TextWindow(ids::log_dialog::kDialog, ids::log_dialog::kText, state.text, true) {}
};

class AboutWindow : public Dialog {
 public:
  AboutWindow() : Dialog(ids::kAboutDialog) {}

 protected:
  Bindings bindings() override { return {}; }
  void on_command(int id, int code) override {
    if (code == BN_CLICKED && (id == ids::kOk || id == ids::kCancel)) end(id);
  }
};

bool closed_with_ok(Dialog& window) { return window.run(active_owner()) == IDOK; }

template <class State, class Window>
bool run_window(ModalDialog& dialog) {
  Window window(static_cast<State&>(dialog));
  return closed_with_ok(window);
}

// The window of each dialog state, by its template.
struct WindowFor {
  int template_id;
  bool (*run)(ModalDialog& dialog);
};

constexpr WindowFor kWindows[] = {
    {ids::keybook_dialog::kDialog, run_window<KeyBookDialog, KeyBookWindow>},
    {ids::add_dialog::kDialog, run_window<AddDialog, AddWindow>},
    {ids::change_dialog::kDialog, run_window<ChangeDialog, ChangeWindow>},
    {ids::search_dialog::kDialog, run_window<SearchDialog, SearchWindow>},
    {ids::log_dialog::kDialog, run_window<LogDialog, LogWindow>},
};

}  // namespace

bool run_dialog(ModalDialog& dialog) {
  for (const WindowFor& w : kWindows)
    if (w.template_id == dialog.template_id) return w.run(dialog);
  return false;
}

void run_about() {
  AboutWindow window;
  window.run(active_owner());
}

}  // namespace qvxpanel::win32
