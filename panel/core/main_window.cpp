#include "main_window.h"

#include <ctime>

#include "command_line.h"
#include "keybook_dialogs.h"
#include "texts.h"

namespace qvxpanel {

// The texts by which an encoding run and a decoding run differ; the steps
// are one.
struct RunTexts {
  std::string_view question;
  std::string_view question_title;
  std::string_view console_title;
  std::string_view console_line;
  char operation;
  std::string_view heading;
  std::string_view waiting;
  int date_lines;  // date lines before the heading
  std::string_view done_box;
  std::string_view done_box_tail;
  std::string_view date_line;  // after the launch
  std::string_view done_log;
  std::string_view done_log_tail;
  std::string_view failed_log_tail;
  std::string_view error_number_box;
  int done_status;  // the engine's exit status for a run that took place
};

namespace {

constexpr RunTexts kEncoding = {
    "Se va a proceder a CODIFICAR\n\nOrigen: ",
    "CODIFICAR",
    "CODIFICANDO ...QVX...",
    "\n Procesando..CODIFICANDO ...Espere un Momento Porfavor",
    'c',
    "\n ...___CODIFICANDO___....",
    "\n _____CODIFICANDO______....Espere...._____",
    2,
    "Procesado... ",
    "...\nCodificando... QVX 4.0...\n",
    "\n FECHA: ",
    "Procesado OK ... ",
    "...OK.",
    "...\n Codificacion...ERRONEA.",
    "Error numero: ",
    4,
};

constexpr RunTexts kDecoding = {
    "Se va a proceder a DECODIFICAR\n\nOrigen: ",
    "DECODIFICAR",
    "DECODIFICANDO ...QVX...",
    "\n Procesando..DECODIFICANDO ...Espere un Momento Porfavor",
    'd',
    "\n ...___DECODIFICANDO___....",
    "\n _____DECODIFICANDO______....Espere...._____",
    1,
    "Procesado...",
    "...\nDecodificado... QVX 4.0...\n",
    "\nFECHA: ",
    "Procesado... ",
    "...\nDecodificado... QVX 4.0...\n",
    "...\nDecodificacion...ERRONEA.",
    "Error n\xFAmero: ",
    3,
};

constexpr std::string_view kDateLine = "\n FECHA: ";
constexpr std::string_view kRule =
    "\n___________________________________________________________________________";
constexpr std::string_view kNoMasterKey = "No hay Clave Maestra.";
constexpr std::string_view kConfigOpenError = "Se ha producido un error al intentar abrir el fichero.";

// The engine's exit statuses, as the error box explains them; ends with a
// line break.
std::string status_text(int status) {
  std::string_view meaning;
  switch (status) {
    case 0: meaning = "no se ha hecho nada: libro de claves o clave maestra no validos"; break;
    case 2: meaning = "no se ha hecho nada: operacion desconocida"; break;
    case 3: meaning = "se ha decodificado"; break;
    case 4: meaning = "se ha codificado"; break;
    case 8: meaning = "ha fallado: no se ha puesto nada en su sitio"; break;
    case 9: meaning = "un fichero de comprobacion no coincide"; break;
    default: meaning = "estado desconocido"; break;
  }
  return "Estado del programa: " + std::to_string(status) + ", " + std::string(meaning) + ".\n";
}

std::string parameter_label(std::size_t k) {
  std::string label = "\nParametro " + std::to_string(k) + ":";
  if (qvx::cmdline::panel_keeps_absent(static_cast<int>(k))) return label + "(ATENCION ERROR EN ESTE PARAMETRO NO UTILIZAR) :";
  return label + " ";
}

}  // namespace

// The runtime's own text, so the log reads as the platform writes dates
// (Windows' runtime pads the day with a zero, glibc with a blank).
std::string asctime_text(const std::tm& t) {
  const char* text = std::asctime(&t);
  return text ? std::string(text) : std::string("??? ??? ?? ??:??:?? ????\n");
}

CQvxpanelDlg::CQvxpanelDlg(Platform& platform) : platform_(platform) {
  if (auto dir = platform_.working_directory())
    engine_path = *dir + "\\qvx4.exe";
  else
    message("Current directory _getcwd error", "");
}

void CQvxpanelDlg::on_init_dialog() { engine_path = "qvx4.exe"; }

void CQvxpanelDlg::message(std::string_view text, std::string_view title, Icon icon) {
  platform_.message_box(text, title, icon, Buttons::ok);
}

void CQvxpanelDlg::on_engine_browse() {
  if (auto chosen = platform_.open_file(texts::kProposedName)) engine_path = *chosen;
}

void CQvxpanelDlg::on_confirmation_browse() {
  if (auto chosen = platform_.open_file(texts::kProposedName)) confirmation = *chosen;
}

void CQvxpanelDlg::on_confirmation_clear() { confirmation.clear(); }

void CQvxpanelDlg::on_source_browse() {
  if (auto chosen = platform_.open_file(texts::kProposedName)) source = *chosen;
}

void CQvxpanelDlg::on_destination_browse() {
  if (auto chosen = platform_.save_file(texts::kProposedName)) destination = *chosen;
}

void CQvxpanelDlg::on_encode() { run(kEncoding); }

void CQvxpanelDlg::on_decode() { run(kDecoding); }

void CQvxpanelDlg::run(const RunTexts& t) {
  focus = ids::main_window::kLog;
  for (std::string& p : parameters) {
    int inserted = 0;
    p = escape_quotes(p, inserted);
    for (int i = 0; i < inserted; ++i)
      message("\xA1" "Atenci\xF3n!: Se modifican las comillas con el caracter de escape", "");
  }
  // No engine takes a character beyond Latin-1 in a text: refused before
  // anything runs, rather than sent as something else.
  for (std::size_t k = 1; k <= parameters.size(); ++k) {
    if (beyond_latin1(parameters[k - 1])) {
      focus = ids::main_window::parameter(static_cast<int>(k));
      message("El Parametro " + std::to_string(k) +
                  " tiene un caracter que no es Latin-1 (ISO 8859-1): el programa no lo puede recibir. "
                  "Cambielo y vuelva a intentarlo.",
              texts::kError, Icon::exclamation);
      return;
    }
  }
  if (platform_.message_box(std::string(t.question) + source + "\nDestino: " + destination,
                            t.question_title, Icon::exclamation, Buttons::ok_cancel) != Answer::ok)
    return;

  platform_.console_open(t.console_title);
  platform_.console_write(t.console_line);
  platform_.console_write("\n Fichero Origen: " + source);
  platform_.console_write("\n Fichero Destino: " + destination);
  platform_.console_write(t.console_line);

  const std::string engine = convert_path(engine_path);
  if (destination.empty() || source.empty() || engine.empty() || book_path.empty()) {
    platform_.console_close();
    message("Compruebe que los campos obligatorios no esten vacios", texts::kError, Icon::exclamation);
    return;
  }

  if (confirmation.empty()) confirmation = qvx::cmdline::kAbsent;
  // What the window and the log show is what the engine gets.
  for (std::size_t k = 1; k <= parameters.size(); ++k)
    if (parameters[k - 1].empty() || qvx::cmdline::panel_keeps_absent(static_cast<int>(k)))
      parameters[k - 1] = qvx::cmdline::kAbsent;
  EngineCall call;
  call.arguments = engine_arguments({book_path, number, t.operation, source, destination, confirmation, parameters});
  const std::string line = engine_command_line(call.arguments);
  if (texts_go_by_file(call.arguments)) {
    call.texts_file = texts_file_contents(call.arguments);
    call.arguments.resize(qvx::cmdline::kConfirmation);
  }
  const std::string date = asctime_text(platform_.local_time());

  message(line, "");

  log += line;
  log += kRule;
  for (int i = 0; i < t.date_lines; ++i) log += std::string(kDateLine) + date;
  log += t.heading;
  log += "\nFichero de Configuracion: " + config_path;
  log += "\nPrograma: " + engine;
  log += "\nLibro de CLAVES: " + book_path;
  log += "\nNumero Clave: " + std::to_string(number);
  log += "\nFichero Origen: " + source;
  log += "\nFichero Destino " + destination;
  log += "\nFichero Confirmacion " + confirmation;
  log += "\n_______PARAMETROS________ ";
  for (std::size_t k = 1; k <= parameters.size(); ++k) log += parameter_label(k) + parameters[k - 1];
  log += t.waiting;
  platform_.refresh();

  // Only the launch may leave an error number behind.
  platform_.clear_last_error();
  const EngineResult result = platform_.run_engine(engine, call);
  report_launch(t, result, engine, date, true);
}

void CQvxpanelDlg::report_launch(const RunTexts& t, const EngineResult& result, const std::string& engine,
                                 const std::string& date, bool form_run) {
  if (form_run) platform_.console_close();
  if (!result.refusal.empty()) message(result.refusal, texts::kError, Icon::exclamation);
  // A run that the engine says did nothing, or failed, is no success: its
  // status and what it means go in the error box and under the error line.
  const bool failed_run = form_run && result.started && result.status && *result.status != t.done_status;
  if (result.started && !failed_run) {
    message(std::string(t.done_box) + engine + std::string(t.done_box_tail), "OK", Icon::exclamation);
    log += std::string(t.date_line) + date;
    log += std::string(t.done_log) + engine + std::string(t.done_log_tail);
  } else {
    const std::string status = failed_run ? status_text(*result.status) : std::string();
    message("Error Procesando ... " + engine + "...\n" + status, texts::kError, Icon::exclamation);
    log += std::string(t.date_line) + date;
    log += "Error Procesando ... " + engine + std::string(t.failed_log_tail);
    if (failed_run) log += "\n" + status.substr(0, status.size() - 1);
  }
  if (int e = platform_.last_error(); e != 0) {
    message(std::string(t.error_number_box) + std::to_string(e), texts::kError, Icon::exclamation);
    log += std::string(t.date_line) + date;
    log += "Error numero: " + std::to_string(e);
    platform_.refresh();
  }
  log += kRule;
}

// The engine on its own opens its console menus.
void CQvxpanelDlg::on_run_console() {
  const std::string engine = convert_path(engine_path);
  const std::string date = asctime_text(platform_.local_time());
  platform_.clear_last_error();
  const EngineResult result = platform_.run_engine(engine, {});
  report_launch(kEncoding, result, engine, date, false);
}

void CQvxpanelDlg::on_book_browse() {
  if (auto chosen = platform_.open_file(texts::kProposedName)) {
    book_path = *chosen;
    number = 1;
    read_key_copy();
    platform_.refresh();
  }
  refill_master_keys(texts::kError, kNoMasterKey);
}

void CQvxpanelDlg::on_book_path_changed() { refill_master_keys(texts::kError, kNoMasterKey); }

void CQvxpanelDlg::refill_master_keys(std::string_view open_error_title, std::string_view empty_message) {
  if (book_path.empty()) {
    message(empty_message, texts::kError, Icon::exclamation);
    focus = ids::main_window::kMasterKeys;
    return;
  }
  auto listed = list_names(book_path);
  if (!listed) {
    message(texts::kBookOpenError, open_error_title, Icon::exclamation);
    focus = ids::main_window::parameter(1);
    return;
  }
  master_keys = std::move(*listed);
  // Select the entry of the record itself: once a slot is deleted, list
  // positions and record numbers part ways.
  master_key_selection = -1;
  for (std::size_t i = 0; i < master_keys.size(); ++i)
    if (master_keys[i].slot == number) master_key_selection = static_cast<int>(i);
  focus = ids::main_window::kMasterKeys;
}

void CQvxpanelDlg::on_master_key_selected(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= master_keys.size()) return;
  const std::string chosen = master_keys[static_cast<std::size_t>(index)].name;
  auto found = find_by_name(book_path, chosen);
  if (!found) {
    message(texts::kBookOpenError, texts::kError, Icon::exclamation);
    return;
  }
  records_scanned = found->scanned;
  if (found->slot == 0) return;
  master_key_selection = index;
  number = found->slot;
  name = chosen;
  platform_.refresh();
}

void CQvxpanelDlg::on_key_book() {
  KeyBookDialog dialog(platform_, book_path, name, number);
  if (!platform_.run(dialog)) return;
  book_path = dialog.path;
  name = dialog.record.nombre;
  number = dialog.number;
  refill_master_keys("Error", kNoMasterKey);
}

bool CQvxpanelDlg::read_key_copy() {
  auto loaded = load_by_number(book_path, number);
  if (!loaded) return false;
  records_scanned = loaded->scanned;
  key_copy = loaded->texts;
  return number > 0 && records_scanned == number;
}

void CQvxpanelDlg::on_copy_keys() {
  if (!read_key_copy()) return;
  log += std::string(kDateLine) + asctime_text(platform_.local_time());
  log += "\nLibro Claves: " + book_path;
  log += "\nNumero de Clave: " + std::to_string(number);
  for (std::size_t k = 1; k <= key_copy.claves.size(); ++k)
    log += "\nClave" + std::to_string(k) + ": " + key_copy.claves[k - 1];
  log += "\nClave11: " + key_copy.engorde;
  log += "\nClave12: " + key_copy.desorden;
  log += "\n";
  platform_.refresh();
}

void CQvxpanelDlg::on_clear_log() {
  if (platform_.message_box("\xBF" "Desea borrar el LOG?", "BORRAR", Icon::exclamation,
                            Buttons::ok_cancel) == Answer::ok)
    log.clear();
}

void CQvxpanelDlg::on_edit_log() {
  focus = ids::main_window::kLog;
  LogDialog dialog(log);
  if (platform_.run(dialog)) log = dialog.text;
}

PanelConfig CQvxpanelDlg::form() const {
  return {book_path, source, destination, confirmation, number, name, parameters, log, engine_path};
}

void CQvxpanelDlg::on_save_config() {
  auto chosen = platform_.save_file(config_path.empty() ? texts::kProposedName : config_path);
  if (!chosen) return;
  config_path = *chosen;
  if (!save_config(config_path, form()))
    message(std::string(kConfigOpenError) + config_path, texts::kError, Icon::exclamation);
}

void CQvxpanelDlg::on_load_config() {
  auto chosen = platform_.open_file(config_path.empty() ? texts::kProposedName : config_path);
  if (!chosen) return;
  config_path = *chosen;
  // A damaged file leaves the form exactly as it was.
  auto loaded = load_config(config_path);
  if (!loaded) {
    message(std::string(kConfigOpenError) + config_path, texts::kError, Icon::exclamation);
    return;
  }
  book_path = loaded->book;
  source = loaded->source;
  destination = loaded->destination;
  confirmation = loaded->confirmation;
  number = loaded->number;
  name = loaded->name;
  parameters = loaded->parameters;
  log = loaded->log;
  engine_path = loaded->engine;
  platform_.refresh();
  message(log, "LOG");
  refill_master_keys(texts::kError, "No hay Clave maestra.");
}

void CQvxpanelDlg::on_exit() {
  if (platform_.message_box("\xBF" "Salir sin guardar cambios?\nSi selecciona aceptar no se guardaran los cambios.",
                            "SALIR", Icon::exclamation, Buttons::ok_cancel) == Answer::cancel)
    on_save_config();
  platform_.show_about();
}

}  // namespace qvxpanel
