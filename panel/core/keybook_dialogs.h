// The key-book dialogs: the state each form holds and what its buttons and
// fields do. The Windows layer copies control values into these fields
// before calling a handler and shows the fields again afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ids.h"
#include "keybook_access.h"
#include "platform.h"

namespace qvxpanel {

// What the add and change forms share: the record being written and the
// checks on its two numbers while they are typed.
class RecordForm : public ModalDialog {
 public:
  std::string path;
  int32_t number = 0;
  RecordTexts record;

  void on_engorde_changed();
  void on_desorden_changed();

 protected:
  RecordForm(int template_id, Platform& platform) : ModalDialog(template_id), platform_(platform) {}
  Platform& platform_;
};

class AddDialog : public RecordForm {
 public:
  AddDialog(Platform& platform, std::string book, int32_t number);
  // Writes the record; true when the dialog may close. `number` becomes the
  // reused slot, or 0 after an append.
  bool on_ok();
};

class ChangeDialog : public RecordForm {
 public:
  std::vector<std::string> names;  // the name box's list

  ChangeDialog(Platform& platform, std::string book, int32_t number, RecordTexts shown);
  // Before the form shows: reads the slot for its desorden text.
  void prepare();
  bool on_ok();
};

class SearchDialog : public ModalDialog {
 public:
  SearchDialog() : ModalDialog(ids::search_dialog::kDialog) {}
  std::string text;
};

class LogDialog : public ModalDialog {
 public:
  explicit LogDialog(std::string shown) : ModalDialog(ids::log_dialog::kDialog), text(std::move(shown)) {}
  std::string text;
};

class KeyBookDialog : public ModalDialog {
 public:
  std::string path;
  int32_t number = 0;
  RecordTexts record;  // record.nombre is the master-key name
  std::vector<NameEntry> names;
  int selection = -1;  // index into `names`
  bool operations_enabled = false;  // OK, Buscar, Modificar, Altas, Bajas
  int focus = 0;

  KeyBookDialog(Platform& platform, std::string book, std::string name, int32_t number);

  void on_init_dialog() override;
  void on_path_changed();
  void on_browse();
  void on_create();
  void on_name_selected(int index);
  void on_add();
  void on_change();
  void on_delete();
  void on_search();

 private:
  bool enable_operations();
  // No record chosen: after the book changed or the record was deleted.
  void clear_form();
  void refill_names();
  void select_name(const std::string& name);

  Platform& platform_;
  std::string form_path_;  // the book the number and keys come from
};

}  // namespace qvxpanel
