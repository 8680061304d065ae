#include "keybook_dialogs.h"

#include <cstdlib>
#include <utility>

#include "texts.h"

namespace qvxpanel {
namespace {

constexpr std::string_view kAddTitle = "ALTAS";
constexpr std::string_view kChangeTitle = "MODIFICACI\xD3N";
constexpr std::string_view kDeleteTitle = "BORRAR";

void tell(Platform& p, std::string_view text, std::string_view title) {
  p.message_box(text, title, Icon::exclamation, Buttons::ok);
}

bool reads_as_zero(const std::string& text) { return std::strtod(text.c_str(), nullptr) == 0.0; }

}  // namespace

// The engorde is a whole number without sign: a text that does not start
// with a digit other than 0 is refused at once.
void RecordForm::on_engorde_changed() {
  if (!record.engorde.empty() && reads_as_zero(record.engorde.substr(0, 1)))
    tell(platform_, texts::kBadNumber, texts::kError);
}

void RecordForm::on_desorden_changed() {
  if (!record.desorden.empty() && reads_as_zero(record.desorden))
    tell(platform_, texts::kBadNumber, texts::kError);
}

AddDialog::AddDialog(Platform& platform, std::string book, int32_t n)
    : RecordForm(ids::add_dialog::kDialog, platform) {
  path = std::move(book);
  number = n;
  record.nombre = "NOMBRE_CLAVE";
  record.engorde = "1";
  record.desorden = "1";
}

bool AddDialog::on_ok() {
  Added added = append_or_reuse(platform_, path, record);
  if (!added.written) return false;
  number = added.reused;
  tell(platform_, "Se ha modificado el Libro de Claves: " + path, kAddTitle);
  return true;
}

ChangeDialog::ChangeDialog(Platform& platform, std::string book, int32_t n, RecordTexts shown)
    : RecordForm(ids::change_dialog::kDialog, platform) {
  path = std::move(book);
  number = n;
  record = std::move(shown);
  record.desorden.clear();
}

void ChangeDialog::prepare() {
  if (auto listed = list_names(path))
    for (const NameEntry& e : *listed) names.push_back(e.name);
  if (select_for_change(platform_, path, number, record.desorden) == Selected::unreadable)
    tell(platform_, texts::kBookOpenError, texts::kError);
}

bool ChangeDialog::on_ok() {
  if (!overwrite(platform_, path, number, record)) return false;
  tell(platform_, "Se ha Modificado el Libro de Claves: " + path, kChangeTitle);
  return true;
}

KeyBookDialog::KeyBookDialog(Platform& platform, std::string book, std::string name, int32_t n)
    : ModalDialog(ids::keybook_dialog::kDialog), path(std::move(book)), number(n), platform_(platform) {
  record.nombre = std::move(name);
  form_path_ = path;
}

void KeyBookDialog::on_init_dialog() {
  std::string name = record.nombre;
  on_path_changed();
  // Show the record the main window had chosen, not just its name.
  if (operations_enabled && !names.empty() && !name.empty()) select_name(name);
}

void KeyBookDialog::on_path_changed() {
  // The record shown belongs to the book it came from: OK must not hand its
  // number and keys back with another book.
  if (path != form_path_) clear_form();
  if (!enable_operations()) {
    tell(platform_, "No se puede realizar la operaci\xF3n hasta que active una Clave Maestra.",
         texts::kError);
    focus = ids::keybook_dialog::kNames;
    return;
  }
  refill_names();
}

void KeyBookDialog::on_browse() {
  if (auto chosen = platform_.open_file(texts::kProposedName)) {
    path = *chosen;
    on_path_changed();
  }
}

// A new book is only named here; the read that refills the list creates it.
void KeyBookDialog::on_create() {
  if (auto chosen = platform_.save_file(texts::kProposedName)) {
    path = *chosen;
    on_path_changed();
  }
}

void KeyBookDialog::on_name_selected(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= names.size()) return;
  select_name(names[static_cast<std::size_t>(index)].name);
}

void KeyBookDialog::on_add() {
  if (!enable_operations()) return;
  AddDialog add(platform_, path, number);
  if (!platform_.run(add)) return;
  record.nombre = add.record.nombre;
  number = add.number;
  refill_names();
  select_name(record.nombre);
}

void KeyBookDialog::on_change() {
  if (!enable_operations()) return;
  ChangeDialog change(platform_, path, number, record);
  change.prepare();
  if (!platform_.run(change)) return;
  record.nombre = change.record.nombre;
  refill_names();
  select_name(record.nombre);
}

void KeyBookDialog::on_delete() {
  if (!enable_operations()) return;
  raw_listing(platform_, path, number);
  Answer a = platform_.message_box("Desea eliminar la Clave Maestra N\xFAmero: " + std::to_string(number),
                                   kDeleteTitle, Icon::exclamation, Buttons::ok_cancel);
  if (a != Answer::ok) {
    tell(platform_, "La operaci\xF3n ha sido cancelada", "CANCELAR");
    return;
  }
  if (!erase_record(platform_, path, number)) return;
  tell(platform_, "La Clave Maestra ha sido eliminada", kDeleteTitle);
  clear_form();
  refill_names();
  select_name(record.nombre);
}

void KeyBookDialog::on_search() {
  if (!enable_operations()) return;
  SearchDialog dialog;
  if (!platform_.run(dialog)) return;
  if (!search(platform_, path, dialog.text)) tell(platform_, texts::kBookOpenError, texts::kError);
}

void KeyBookDialog::clear_form() {
  number = 0;
  record = {};
  selection = -1;
  form_path_ = path;
}

bool KeyBookDialog::enable_operations() {
  operations_enabled = !path.empty();
  return operations_enabled;
}

void KeyBookDialog::refill_names() {
  auto listed = list_names(path);
  if (!listed) {
    tell(platform_, texts::kBookOpenError, texts::kError);
    focus = ids::keybook_dialog::kPath;
    return;
  }
  names = std::move(*listed);
  selection = -1;
  focus = ids::keybook_dialog::kNames;
}

void KeyBookDialog::select_name(const std::string& name) {
  selection = -1;
  // An emptied name selects nothing: a record without a name is no choice.
  if (name.empty()) return;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i].name == name) {
      selection = static_cast<int>(i);
      break;
    }
  }
  auto found = find_by_name(path, name);
  if (!found) {
    tell(platform_, texts::kBookOpenError, texts::kError);
    focus = ids::keybook_dialog::kPath;
    return;
  }
  if (found->slot == 0) return;
  number = found->slot;
  record = found->texts;
}

}  // namespace qvxpanel
