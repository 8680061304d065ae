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
  EXPECT_NE(t.p.launches[0].parameters.find("\"uno\" \"a/\"b\" \"c/\"d\""), std::string::npos);
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
  EXPECT_EQ(console.p.launches[0].parameters, " ");
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
