#include "main_window.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "texts.h"
#include "testutil.h"

namespace qvxpanel {
namespace {

using qvx::testing::as_string;
using qvx::testing::read_file;
using qvx::testing::TempDir;
using qvx::testing::write_file;
using testing::deleted;
using testing::FakePlatform;
using testing::record_named;
using testing::slot_of;
using testing::write_book;

const std::string kDate = "Fri Mar  7 09:05:03 2025\n";
const std::string kRule = "\n" + std::string(75, '_');

struct Window {
  FakePlatform p;
  CQvxpanelDlg w{p};
  Window() {
    w.on_init_dialog();
    w.book_path = "Z:\\b\\k.kb";
    w.number = 3;
    w.source = "Z:\\s\\in.txt";
    w.destination = "Z:\\s\\out.qvx";
    w.parameters[0] = "uno";
  }
};

std::string zeros(int n) {
  std::string z;
  for (int i = 0; i < n; ++i) z += " \"0\"";
  return z;
}

TEST(MainWindow, EnginePathStartsInTheWorkingDirectory) {
  FakePlatform p;
  CQvxpanelDlg w(p);
  EXPECT_EQ(w.engine_path, "C:\\qvx\\qvx4.exe");
  w.on_init_dialog();
  EXPECT_EQ(w.engine_path, "qvx4.exe");

  FakePlatform lost;
  lost.cwd.reset();
  CQvxpanelDlg without(lost);
  EXPECT_EQ(without.engine_path, "");
  ASSERT_EQ(lost.boxes.size(), 1u);
  EXPECT_EQ(lost.boxes[0].text, "Current directory _getcwd error");
  EXPECT_EQ(lost.boxes[0].title, "");
}

TEST(MainWindow, EncodingRunLaunchesTheEngineAndLogsIt) {
  Window t;
  t.w.on_encode();
  const std::string line = "\"/b/k.kb\" 3 c \"/s/in.txt\" \"/s/out.qvx\" \"0\" \"uno\"" + zeros(13);

  ASSERT_EQ(t.p.launches.size(), 1u);
  EXPECT_EQ(t.p.launches[0].program, "qvx4.exe");
  EXPECT_EQ(t.p.launches[0].parameters, line);

  ASSERT_EQ(t.p.boxes.size(), 3u);
  EXPECT_EQ(t.p.boxes[0].text, "Se va a proceder a CODIFICAR\n\nOrigen: Z:\\s\\in.txt\nDestino: Z:\\s\\out.qvx");
  EXPECT_EQ(t.p.boxes[0].title, "CODIFICAR");
  EXPECT_EQ(t.p.boxes[0].buttons, Buttons::ok_cancel);
  EXPECT_EQ(t.p.boxes[1].text, line);
  EXPECT_EQ(t.p.boxes[1].title, "");
  EXPECT_EQ(t.p.boxes[2].text, "Procesado... qvx4.exe...\nCodificando... QVX 4.0...\n");
  EXPECT_EQ(t.p.boxes[2].title, "OK");

  const std::string busy = "write:\n Procesando..CODIFICANDO ...Espere un Momento Porfavor";
  EXPECT_EQ(t.p.console, (std::vector<std::string>{"open:CODIFICANDO ...QVX...", busy,
                                                   "write:\n Fichero Origen: Z:\\s\\in.txt",
                                                   "write:\n Fichero Destino: Z:\\s\\out.qvx", busy, "close"}));

  std::string want = line + kRule + "\n FECHA: " + kDate + "\n FECHA: " + kDate +
                     "\n ...___CODIFICANDO___...." + "\nFichero de Configuracion: " +
                     "\nPrograma: qvx4.exe" + "\nLibro de CLAVES: Z:\\b\\k.kb" + "\nNumero Clave: 3" +
                     "\nFichero Origen: Z:\\s\\in.txt" + "\nFichero Destino Z:\\s\\out.qvx" +
                     "\nFichero Confirmacion 0" + "\n_______PARAMETROS________ " + "\nParametro 1: uno";
  for (int k = 2; k <= 14; ++k) {
    if (k == 11 || k == 14)
      want += "\nParametro " + std::to_string(k) + ":(ATENCION ERROR EN ESTE PARAMETRO NO UTILIZAR) :0";
    else
      want += "\nParametro " + std::to_string(k) + ": 0";
  }
  want += "\n _____CODIFICANDO______....Espere...._____";
  want += "\n FECHA: " + kDate + "Procesado OK ... qvx4.exe...OK." + kRule;
  EXPECT_EQ(t.w.log, want);
  EXPECT_EQ(t.w.confirmation, "0");
  EXPECT_EQ(t.w.parameters[13], "0");
  EXPECT_EQ(t.w.focus, ids::main_window::kLog);
}

TEST(MainWindow, DecodingRunDiffersOnlyInItsTexts) {
  Window t;
  t.p.starts = false;
  t.w.on_decode();
  ASSERT_EQ(t.p.launches.size(), 1u);
  EXPECT_NE(t.p.launches[0].parameters.find(" 3 d "), std::string::npos);
  EXPECT_EQ(t.p.boxes[0].title, "DECODIFICAR");
  EXPECT_EQ(t.p.console.front(), "open:DECODIFICANDO ...QVX...");
  EXPECT_EQ(t.p.boxes.back().text, "Error Procesando ... qvx4.exe...\n");
  EXPECT_EQ(t.p.boxes.back().title, "ERROR");
  const std::string& log = t.w.log;
  EXPECT_NE(log.find(kRule + "\n FECHA: " + kDate + "\n ...___DECODIFICANDO___...."), std::string::npos);
  EXPECT_EQ(log.find("\n FECHA: " + kDate + "\n FECHA: "), std::string::npos);
  const std::string tail = "\n _____DECODIFICANDO______....Espere...._____\nFECHA: " + kDate +
                           "Error Procesando ... qvx4.exe...\nDecodificacion...ERRONEA." + kRule;
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail);

  Window ok;
  ok.w.on_decode();
  EXPECT_EQ(ok.p.boxes.back().text, "Procesado...qvx4.exe...\nDecodificado... QVX 4.0...\n");
  EXPECT_NE(ok.w.log.find("\nFECHA: " + kDate + "Procesado... qvx4.exe...\nDecodificado... QVX 4.0...\n" + kRule),
            std::string::npos);
}

TEST(MainWindow, QuotesInParametersAreEscapedWithOneWarningEach) {
  Window t;
  t.w.parameters[1] = "a\"b";
  t.w.parameters[2] = "c\\\"d";
  t.w.on_encode();
  EXPECT_EQ(t.w.parameters[1], "a\\\"b");
  EXPECT_EQ(t.w.parameters[2], "c\\\"d");
  ASSERT_GE(t.p.boxes.size(), 2u);
  EXPECT_EQ(t.p.boxes[0].text, "\xA1" "Atenci\xF3n!: Se modifican las comillas con el caracter de escape");
  EXPECT_EQ(t.p.boxes[0].title, "");
  EXPECT_EQ(t.p.boxes[1].title, "CODIFICAR");
  ASSERT_EQ(t.p.launches.size(), 1u);
  // The engine gets each text whole, quote and all: the escape only marks it.
  const std::vector<EngineArgument>& a = t.p.launches[0].call.arguments;
  ASSERT_EQ(a.size(), 20u);
  EXPECT_EQ(a[7].text, "a\"b");
  EXPECT_EQ(a[8].text, "c\"d");
  EXPECT_NE(t.p.launches[0].parameters.find("\"uno\" \"a\\\"b\" \"c\\\"d\" \"0\""), std::string::npos);
}

// The engine's status tells whether the run took place; an engine that
// says nothing of it (a status that never came) is taken at its start.
TEST(MainWindow, AnEngineThatFailedIsNoSuccess) {
  for (int status : {0, 8, 9, 3}) {
    Window t;
    t.p.status = status;
    t.w.on_encode();
    const std::string meaning = status == 8 ? "ha fallado: no se ha puesto nada en su sitio"
                                : status == 0 ? "no se ha hecho nada: libro de claves o clave maestra no validos"
                                : status == 9 ? "un fichero de comprobacion no coincide"
                                              : "se ha decodificado";
    const std::string said = "Estado del programa: " + std::to_string(status) + ", " + meaning + ".";
    EXPECT_EQ(t.p.boxes.back().text, "Error Procesando ... qvx4.exe...\n" + said + "\n");
    EXPECT_EQ(t.p.boxes.back().title, "ERROR");
    const std::string tail = "\n FECHA: " + kDate + "Error Procesando ... qvx4.exe...\n Codificacion...ERRONEA.\n" +
                             said + kRule;
    EXPECT_EQ(t.w.log.substr(t.w.log.size() - tail.size()), tail);
  }
  Window done;
  done.p.status = 3;
  done.w.on_decode();
  EXPECT_EQ(done.p.boxes.back().title, "OK");

  Window refused;
  refused.p.starts = false;
  refused.p.refusal = "sin consola";
  refused.w.on_run_console();
  ASSERT_EQ(refused.p.boxes.size(), 2u);
  EXPECT_EQ(refused.p.boxes[0].text, "sin consola");
  EXPECT_EQ(refused.p.boxes[1].text, "Error Procesando ... qvx4.exe...\n");
}

// Texts beyond ASCII go in a file, as Latin-1 bytes, whichever the engine;
// a character beyond Latin-1 stops the run before it starts.
TEST(MainWindow, TextsBeyondAsciiGoInTheFile) {
  Window t;
  t.w.parameters[3] = "a\xE9";
  t.w.on_encode();
  ASSERT_EQ(t.p.launches.size(), 1u);
  const EngineCall& call = t.p.launches[0].call;
  ASSERT_TRUE(call.texts_file);
  EXPECT_EQ(*call.texts_file, "uno\n0\n0\na\xE9\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n");
  EXPECT_EQ(call.arguments.size(), 6u);
  // The log and the shown line stay the form's full line.
  EXPECT_NE(t.w.log.find("\"uno\" \"0\" \"0\" \"a\xE9\" \"0\""), std::string::npos);

  Window ascii;
  ascii.w.on_encode();
  EXPECT_FALSE(ascii.p.launches[0].call.texts_file);

  Window beyond;
  beyond.w.parameters[4] = "a\xC5\x82";  // U+0142 as the controls hand it over
  beyond.w.on_encode();
  EXPECT_TRUE(beyond.p.launches.empty());
  EXPECT_TRUE(beyond.p.console.empty());
  ASSERT_EQ(beyond.p.boxes.size(), 1u);
  EXPECT_EQ(beyond.p.boxes[0].text.substr(0, 70),
            "El Parametro 5 tiene un caracter que no es Latin-1 (ISO 8859-1): el pr");
  EXPECT_EQ(beyond.w.focus, ids::main_window::parameter(5));
}

TEST(MainWindow, MissingRequiredFieldsStopAfterTheConsoleClosed) {
  Window t;
  t.w.source.clear();
  const std::string log_before = t.w.log;
  t.w.on_encode();
  EXPECT_TRUE(t.p.launches.empty());
  ASSERT_EQ(t.p.console.size(), 6u);
  EXPECT_EQ(t.p.console.back(), "close");
  ASSERT_EQ(t.p.boxes.size(), 2u);
  EXPECT_EQ(t.p.boxes[1].text, "Compruebe que los campos obligatorios no esten vacios");
  EXPECT_EQ(t.p.boxes[1].title, "ERROR");
  EXPECT_EQ(t.w.log, log_before);
  EXPECT_EQ(t.w.confirmation, "");

  Window cancelled;
  cancelled.p.answers = {Answer::cancel};
  cancelled.w.on_encode();
  EXPECT_TRUE(cancelled.p.console.empty());
  EXPECT_TRUE(cancelled.p.launches.empty());
}

TEST(MainWindow, OnlyAnErrorLeftByTheLaunchIsReported) {
  Window stale;
  stale.p.error_number = 2;  // left over from before the run
  stale.w.on_encode();
  EXPECT_EQ(stale.p.boxes.back().title, "OK");

  Window t;
  t.p.error_after_launch = 13;
  t.w.on_decode();
  EXPECT_EQ(t.p.boxes.back().text, "Error n\xFAmero: 13");
  EXPECT_NE(t.w.log.find("\nFECHA: " + kDate + "Error numero: 13" + kRule), std::string::npos);

  Window console;
  console.p.error_after_launch = 5;
  console.w.on_run_console();
  ASSERT_EQ(console.p.launches.size(), 1u);
  EXPECT_TRUE(console.p.launches[0].call.arguments.empty());
  EXPECT_TRUE(console.p.console.empty());
  EXPECT_EQ(console.p.boxes.back().text, "Error numero: 5");
  EXPECT_EQ(console.w.log, "\n FECHA: " + kDate + "Procesado OK ... qvx4.exe...OK." + "\n FECHA: " + kDate +
                               "Error numero: 5" + kRule);
}

TEST(MainWindow, MasterKeyListFollowsTheSlotsNotThePositions) {
  TempDir dir;
  FakePlatform p;
  CQvxpanelDlg w(p);
  const std::string book = dir.file("k.kb");
  write_book(book, {slot_of(record_named("uno")), deleted(), slot_of(record_named("tres")),
                    slot_of(record_named("cuatro"))});
  p.files = {book};
  w.on_book_browse();
  EXPECT_EQ(w.book_path, book);
  EXPECT_EQ(w.number, 1);
  EXPECT_EQ(w.key_copy.claves[0], "uno-key1");
  ASSERT_EQ(w.master_keys.size(), 3u);
  EXPECT_EQ(w.master_keys[2].name, "cuatro");
  EXPECT_EQ(w.master_key_selection, 0);

  w.on_master_key_selected(2);
  EXPECT_EQ(w.number, 4);
  EXPECT_EQ(w.name, "cuatro");

  w.number = 3;
  w.on_book_path_changed();
  EXPECT_EQ(w.master_key_selection, 1);
  w.number = 2;  // a deleted slot has no entry
  w.on_book_path_changed();
  EXPECT_EQ(w.master_key_selection, -1);

  w.book_path.clear();
  w.on_book_path_changed();
  EXPECT_EQ(p.boxes.back().text, "No hay Clave Maestra.");
  EXPECT_EQ(w.focus, ids::main_window::kMasterKeys);
}

TEST(MainWindow, CopyingKeysAppendsTheStoredTexts) {
  TempDir dir;
  FakePlatform p;
  CQvxpanelDlg w(p);
  w.book_path = dir.file("k.kb");
  write_book(w.book_path, {slot_of(record_named("uno")), slot_of(record_named("dos", "12", "0.5"))});
  w.number = 3;
  w.on_copy_keys();
  EXPECT_EQ(w.log, "");
  EXPECT_EQ(w.records_scanned, 2);

  w.number = 2;
  w.on_copy_keys();
  std::string want = "\n FECHA: " + kDate + "\nLibro Claves: " + w.book_path + "\nNumero de Clave: 2";
  for (int k = 1; k <= 10; ++k) want += "\nClave" + std::to_string(k) + ": dos-key" + std::to_string(k);
  want += "\nClave11: 1200000000\nClave12: 5000000000.00\n";
  EXPECT_EQ(w.log, want);
}

TEST(MainWindow, ConfigurationSavesAndLoadsTheWholeForm) {
  TempDir dir;
  Window t;
  t.w.book_path = dir.file("no/such/folder/k.kb");  // cannot be created either
  t.w.confirmation = "conf";
  t.w.name = "uno";
  for (std::size_t k = 0; k < 14; ++k) t.w.parameters[k] = "p" + std::to_string(k);
  t.w.log = std::string(300, 'x');
  const std::string cfg = dir.file("panel.cfg");
  t.p.files = {cfg};
  t.w.on_save_config();
  EXPECT_EQ(t.p.proposed.back(), "*.*");
  EXPECT_EQ(t.w.config_path, cfg);
  EXPECT_NE(as_string(read_file(cfg)).find("\xFF\x2C\x01" + t.w.log), std::string::npos);

  FakePlatform p;
  CQvxpanelDlg loaded(p);
  p.files = {cfg};
  loaded.on_load_config();
  EXPECT_EQ(loaded.form(), t.w.form());
  EXPECT_EQ(loaded.config_path, cfg);
  ASSERT_GE(p.boxes.size(), 2u);
  EXPECT_EQ(p.boxes[0].text, t.w.log);
  EXPECT_EQ(p.boxes[0].title, "LOG");
  EXPECT_EQ(p.boxes[1].text, "Se ha producido un error al intentar abrir el fichero de claves");

  // A damaged file changes nothing in the form.
  write_file(cfg, as_string(read_file(cfg)).substr(0, 200));
  const PanelConfig before = loaded.form();
  p.boxes.clear();
  p.files = {cfg};
  loaded.on_load_config();
  EXPECT_EQ(p.proposed.back(), cfg);
  EXPECT_EQ(loaded.form(), before);
  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_EQ(p.boxes[0].text, "Se ha producido un error al intentar abrir el fichero." + cfg);
}

}  // namespace
}  // namespace qvxpanel
