#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "keybook/base.h"
#include "console_capture.h"
#include "testutil.h"

namespace qvx {
namespace {

namespace fs = std::filesystem;
using testing::ConsoleCapture;
using testing::TempDir;
using testing::as_string;
using testing::read_file;
using testing::write_file;

// The printout names the book by the path it was opened with; the example
// opens "k.kb" in the working directory.
class ScopedCwd {
 public:
  explicit ScopedCwd(const fs::path& dir) : old_(fs::current_path()) { fs::current_path(dir); }
  ~ScopedCwd() { fs::current_path(old_); }

 private:
  fs::path old_;
};

// Record 2 of k.kb, named uno, keys a to j, engorde 7 and desorden -12.5,
// read back from the book as the menu would have selected it.
base example_book(const KeyRecord& second) {
  KeyRecord first;
  first.nombre = "primero";
  std::vector<std::string> messages;
  Slot a = write_slot(first, messages);
  Slot b = write_slot(second, messages);
  std::string bytes(a.begin(), a.end());
  bytes.append(b.begin(), b.end());
  write_file("k.kb", bytes);
  base book("k.kb");
  ConsoleCapture quiet;
  book.activar(2, 2);
  return book;
}

KeyRecord uno() {
  KeyRecord r;
  r.nombre = "uno";
  for (int k = 1; k <= 10; ++k) r.clave(k) = std::string(1, static_cast<char>('a' + k - 1));
  r.engorde = 7;
  r.desorden = -12.5;
  return r;
}

const std::string kRule(80, '_');

// The file's text with the asctime line replaced by DATE, after checking
// its shape.
std::string masked(std::string text) {
  static const std::regex date("\n[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\n\n");
  std::string out = std::regex_replace(text, date, "\nDATE\n");
  return out;
}

std::string printout(const std::string& keys_and_numbers) {
  return "\n" + kRule + "\nDATE\n" + kRule + "\nQUORVEX\n" + kRule + "\n\n" + keys_and_numbers;
}

const std::string kExampleBody =
    "LIBRO DE CLAVES_:k.kb\nNumero De La Clave MAESTRA_:2\nNombre De La Clave MAESTRA_:uno"
    "\nClave numero 1_:a\nClave numero 2_:b\nClave numero 3_:c\nClave numero 4_:d\nClave numero 5_:e"
    "\nClave numero 6_:f\nClave numero 7_:g\nClave numero 8_:h\nClave numero 9_:i\nClave numero 10_:j"
    "\nNumero De ENGORDE_:7000000000\nNUMERO DE DESORDEN_:-12.50000000\n";

const std::string kHeader =
    "QUORVEX\n\nLa Impresion Se Tiene Que Hacer Desde Un Fichero\n"
    "Se Va a Grabar en un fichero la Informacion del Registro n: 2 Con Nombre: uno\n"
    "INTRODUZCA UN NOMBRE DE FICHERO PARA CREAR?_:";

const std::string kViewAndReminder =
    "\nPROCESANDO FICHERO\n"
    "\nNombre de la Clave Maestra: uno\nclave1: a\nclave2: b\nclave3: c\nclave4: d\nclave5: e"
    "\nclave6: f\nclave7: g\nclave8: h\nclave9: i\nclave10: j\nengorde: 7000000000"
    "\ndesorden: 1250000000.120\n"
    "\nRequerde que El Numero De DESORDEN Seria Introducido Como _:-12.50000000";

TEST(Printout, CreatesTheFileWithTheRecordAsText) {
  TempDir dir;
  ScopedCwd cwd(dir.path());
  const base book = example_book(uno());
  ConsoleCapture console("2\nsalida.txt\n");
  EXPECT_EQ(book.imprime(), 1);
  EXPECT_EQ(console.text(), kHeader + "\nel fichero CREADO es:_salida.txt\n" + kViewAndReminder);
  EXPECT_EQ(masked(as_string(read_file("salida.txt"))), printout(kExampleBody));
}

TEST(Printout, AppendsAfterYesAndLeavesTheFileAloneOtherwise) {
  TempDir dir;
  ScopedCwd cwd(dir.path());
  const base book = example_book(uno());
  write_file("salida.txt", std::string("older notes\n"));
  const std::string question =
      "\n el Fichero de Destino: salida.txt existe , !lo A\xF1" "ade?(s/n): ";
  for (int round = 1; round <= 2; ++round) {
    ConsoleCapture console("\nsalida.txt\nS\n");
    EXPECT_EQ(book.imprime(), 1);
    EXPECT_EQ(console.text(), kHeader + question +
                                  "\nel fichero A\xD1" "ADIDO DE NUEVO a continuacion es:_salida.txt\n" +
                                  kViewAndReminder);
  }
  const std::string twice = "older notes\n" + printout(kExampleBody) + printout(kExampleBody);
  EXPECT_EQ(masked(as_string(read_file("salida.txt"))), twice);

  for (const char* answer : {"n\n", ""}) {  // "" is the end of input
    ConsoleCapture console(std::string("\nsalida.txt\n") + answer);
    EXPECT_EQ(book.imprime(), 1);
    EXPECT_EQ(console.text(), kHeader + question + "\n Operacion Cancelada\n");
  }
  EXPECT_EQ(masked(as_string(read_file("salida.txt"))), twice);
}

TEST(Printout, EmptyFieldsKeepTheirLabels) {
  TempDir dir;
  ScopedCwd cwd(dir.path());
  KeyRecord r = uno();
  r.clave4.clear();
  r.engorde = 0;
  r.desorden = 0.5;
  const base book = example_book(r);
  ConsoleCapture console("\nsalida.txt\n");
  EXPECT_EQ(book.imprime(), 1);
  const std::string text = as_string(read_file("salida.txt"));
  EXPECT_NE(text.find("\nClave numero 3_:c\nClave numero 4_:\nClave numero 5_:e\n"), std::string::npos);
  EXPECT_NE(text.find("\nNumero De ENGORDE_:\nNUMERO DE DESORDEN_:+.5000000000\n"), std::string::npos);
  EXPECT_NE(console.text().find("_:+.5000000000"), std::string::npos);
}

TEST(Printout, AFileThatCannotBeCreatedIsReportedNotClaimed) {
  TempDir dir;
  ScopedCwd cwd(dir.path());
  const base book = example_book(uno());
  ConsoleCapture console("\nno/such/dir.txt\n");
  EXPECT_EQ(book.imprime(), 0);
  EXPECT_EQ(console.text(), kHeader + "\n Error no se ha podido abrir el fichero no/such/dir.txt\n");
  EXPECT_FALSE(fs::exists("no"));

  console.clear();
  ConsoleCapture ended("");
  EXPECT_EQ(book.imprime(), 1);
  EXPECT_EQ(ended.text(), kHeader + "\n Operacion Cancelada\n");
}

}  // namespace
}  // namespace qvx
