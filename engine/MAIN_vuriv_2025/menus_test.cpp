#include "MAIN_vuriv_2025/menus.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "bookformat/slot.h"
#include "console_capture.h"
#include "testutil.h"

namespace qvx {
namespace {

using qvx::testing::as_string;
using qvx::testing::Bytes;
using qvx::testing::ConsoleCapture;
using qvx::testing::read_file;
using qvx::testing::TempDir;

const std::string kNoBook = "Error no se puede realizar la operacion hasta que abra un libro de claves";
const std::string kNoRecord = "Error no se puede realizar la operacion hasta que active un registro";

std::string padded(std::string_view text, std::size_t width, char fill) {
  return std::string(text.size() < width ? width - text.size() : 0, fill) + std::string(text);
}

std::string title_line(std::string_view title, const std::string& book, int reg) {
  return padded(title, 50, '_') + padded(book, 20, '_') + "No Reg:" + std::to_string(reg) + "\n";
}

std::string main_header(const std::string& book = "", int reg = 0) {
  return "\n" + padded(".Version 7.0.__/__.64 Bytes._____", 80, '_') + "\n" +
         title_line("____QUORVEX___ENCRIPTION__", book, reg) +
         padded("Claves, cOdificar, Decodificar, Ver_clave, Imprimir, Borrador_universal, Salir", 80, '.') +
         "\n" + std::string(80, '_') + "\n";
}

const std::string kMenuTitle = "____QUORVEX____BASE_DE_CLAVES__";
const std::string kCommandLineTitle = "____QUORVEX__4.0__BASE_DE_CLAVES__";

std::string book_header(const std::string& title, const std::string& book = "", int reg = 0) {
  return title_line(title, book, reg) +
         padded("Fichero,Altas, Bajas, Modific, Listados, bUsqueda, sEleccionElegida, Salir", 80, '.') +
         "\n" + std::string(80, '*') + "\n";
}

const std::string kMainOptions =
    "\n"
    "  C = MENU de CLAVES // FICHERO de CLAVES\n"
    "  O = CODIFICA\n"
    "  D = DECODIFICA\n"
    "  V = VER clave maestra seleccionada\n"
    "  I = IMPRIME AL FINAL de un fichero (en formato texto) la clave seleccionada\n"
    "  B = BORRADOR UNIVERSAL\n"
    "  S = SALIR del programa\n";

const std::string kBookOptions =
    "\n"
    "  F = ABRIR O CREAR fichero de CLAVES\n"
    "  A = ALTAS de claves maestras\n"
    "  B = BAJAS de claves maestras\n"
    "  M = MODIFICACIONES de claves maestras\n"
    "  L = LISTADOS de claves maestras\n"
    "  U = BUSQUEDAS en las claves maestras\n"
    "  E = SELECCIONA No DE CLAVE EN LIBRO ACTIVO PARA CODIFICAR/DECODIFICAR \n"
    "  S = SALIR A MENU PRINCIPAL codificar/decodificar\n";

const std::string kFarewell = "\npulse retorno para salir...";

KeyRecord record(const std::string& name, const std::string& first_key, double engorde, double desorden) {
  KeyRecord r;
  r.nombre = name;
  for (int k = 1; k <= 10; ++k) r.clave(k) = first_key + std::to_string(k);
  r.engorde = engorde;
  r.desorden = desorden;
  return r;
}

// What iniciab reads for `r`: the name on a line of its own, then keys and numbers.
std::string typed(const KeyRecord& r) {
  std::string s = r.nombre + "\n";
  for (int k = 1; k <= 10; ++k) s += r.clave(k) + " ";
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "%.17g %.17g\n", r.engorde, r.desorden);
  return s + numbers;
}

Bytes slot_bytes(const KeyRecord& r) {
  std::vector<std::string> messages;
  Slot s = write_slot(r, messages);
  return Bytes(s.begin(), s.end());
}

Bytes slot_of(const Bytes& book, int n) {
  const std::size_t at = static_cast<std::size_t>(n - 1) * kSlotSize;
  if (book.size() < at + kSlotSize) return {};
  return Bytes(book.begin() + static_cast<std::ptrdiff_t>(at),
               book.begin() + static_cast<std::ptrdiff_t>(at + kSlotSize));
}

void write_book(const std::string& path, const std::vector<KeyRecord>& records) {
  Bytes all;
  for (const KeyRecord& r : records) {
    Bytes s = slot_bytes(r);
    all.insert(all.end(), s.begin(), s.end());
  }
  qvx::testing::write_file(path, all);
}

std::size_t occurrences(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Each test runs in a fresh working directory, where the relative book and
// file names of the scripts land.
class Menus : public ::testing::Test {
 protected:
  Menus() : old_cwd_(std::filesystem::current_path()) { std::filesystem::current_path(dir_.path()); }
  ~Menus() override { std::filesystem::current_path(old_cwd_); }

  std::string main_session(const std::string& input) {
    ConsoleCapture cap(input);
    main_menu(book_, work_);
    return cap.text();
  }
  std::string book_session(const std::string& input, const char* book_arg, const char* record_arg = nullptr) {
    ConsoleCapture cap(input);
    keybook_menu(book_, book_arg, record_arg);
    return cap.text();
  }
  Bytes book_bytes() const { return read_file(dir_.file("libro.kb")); }

  TempDir dir_;
  std::filesystem::path old_cwd_;
  base book_;
  WorkFiles work_;
};

TEST_F(Menus, MainMenuUnknownKeysShowTheOptionList) {
  for (const std::string key : {"x", "7", "?", "zeta", "\xD1"}) {
    const std::string out = main_session(key + "\nS\n\n");
    EXPECT_EQ(out, "\n" + main_header() + kMainOptions + "\n" + main_header() + kFarewell) << key;
  }
}

TEST_F(Menus, LeavingTheMainMenuWaitsForOneEnter) {
  // Lower case leaves too; the rest of the S line is dropped and exactly one
  // more line is taken as the Enter key.
  ConsoleCapture cap("s and more\n\nleft over\n");
  main_menu(book_, work_);
  EXPECT_EQ(cap.text(), "\n" + main_header() + kFarewell);
  std::string w;
  ASSERT_EQ(con::word(w, 100), con::Got::ok);
  EXPECT_EQ(w, "left");
}

TEST_F(Menus, FirstLetterOfAWordChoosesTheKeyBookMenu) {
  // "codifica" counts as C; with no book open the menu asks for one at once
  // and again on every turn until one is open.
  const std::string out = main_session("codifica\nnone.kb\nn\nq\nother.kb\nN\nS\nS\n\n");
  const std::string ask = "Introduzca el libro de claves para abrir : _";
  EXPECT_EQ(occurrences(out, ask), 2u);
  EXPECT_EQ(out.find(ask), (std::string("\n") + main_header()).size());
  EXPECT_NE(out.find(kBookOptions + ask), std::string::npos);
  EXPECT_EQ(occurrences(out, "\n" + book_header(kMenuTitle)), 2u);
  EXPECT_FALSE(std::filesystem::exists("none.kb"));
  EXPECT_TRUE(out.ends_with("\n" + main_header() + kFarewell));
}

TEST_F(Menus, CommandLineKeyBookMenuTitleAndOptionList) {
  const std::string out = book_session("S\nq\ns\n", "libro.kb");
  const std::string opened =
      " el Archivo libro.kb no Existe, \xBFLo Creo Nuevo? (S/N) :\nel fichero Creado es:_libro.kb\n";
  EXPECT_EQ(out, "\n\n" + book_header(kCommandLineTitle) + opened + kBookOptions + "\n" +
                     book_header(kCommandLineTitle, "libro.kb"));
  EXPECT_TRUE(std::filesystem::exists("libro.kb"));
}

TEST_F(Menus, CommandLineKeyBookMenuSelectsTheNamedRecord) {
  write_book("libro.kb", {record("uno", "a", 7, -12.5), record("dos", "b", 8, 3.25)});
  std::string out = book_session("S\n", "libro.kb", "2");
  // The first header is drawn before the book is opened; the result of the
  // selection waits on the same line for the choice.
  EXPECT_TRUE(out.starts_with("\n\n" + book_header(kCommandLineTitle) + "\nel fichero Abierto es:_libro.kb\n"));
  EXPECT_TRUE(out.ends_with("numero :_2 activado satisfactoriamente\nCorrecto Activando Registro N:_ 2"));
  EXPECT_EQ(book_.registro, 2);
  EXPECT_EQ(book_.nombre, "dos");

  for (const char* arg : {"3", "0", "uno"}) {
    book_ = base();
    out = book_session("?\nS\n", "libro.kb", arg);
    EXPECT_NE(out.find(std::string("Error Activando Registro N:_ ") + arg + kBookOptions), std::string::npos) << arg;
    EXPECT_TRUE(out.ends_with(book_header(kCommandLineTitle, "libro.kb"))) << arg;
    EXPECT_EQ(book_.registro, 0) << arg;
  }
}

TEST_F(Menus, GuardsRefuseWithoutAnOpenBook) {
  // Refusing to create the book leaves none open; each guarded option then
  // prints its own wording, with no end of line, and returns to the menu.
  const std::string out = book_session("n\nE\nA\nL\nB\nM\nU\nS\n", "libro.kb");
  const std::string next = "\n" + book_header(kCommandLineTitle);
  for (const std::string& refusal : std::vector<std::string>{
           kNoBook, "Error  no se puede realizar la operacion hasta que abra un libro de claves",
        "Error en archivo no se puede realizar la operacion hasta que abra un libro de claves"})
    EXPECT_NE(out.find(refusal + next), std::string::npos) << refusal;
  EXPECT_EQ(occurrences(out, kNoBook + next), 4u);  // E, B, M and U
  EXPECT_EQ(out.find("Introduzca"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists("libro.kb"));
}

TEST_F(Menus, RecordCommandsNeedABookAndARecord) {
  // V and I check for themselves; O and D through the run they start.
  std::string out = main_session("V\ni\nO\nd\nS\n\n");
  EXPECT_EQ(occurrences(out, "\n" + kNoBook + "\n\n" + main_header()), 4u);

  write_book("libro.kb", {record("uno", "a", 7, -12.5)});
  book_ = base("libro.kb");
  out = main_session("v\nI\no\nD\nS\n\n");
  EXPECT_EQ(occurrences(out, "\n" + kNoRecord + "\n\n" + main_header("libro.kb", 0)), 4u);
  EXPECT_EQ(out.find("INTRODUZCA"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists("qvx01.qvx"));
}

TEST_F(Menus, OverLongWordsAreOneAnswer) {
  // What does not fit the buffer is dropped, never read as the next choice.
  std::string out = main_session(std::string(5000, 'q') + "S\nS\n\n");
  EXPECT_EQ(occurrences(out, kMainOptions), 1u);
  write_book("libro.kb", {record("uno", "a", 7, -12.5)});
  out = book_session("U\n" + std::string(719, 'a') + std::string(100, 'S') + "\n?\nS\n", "libro.kb");
  EXPECT_EQ(occurrences(out, kBookOptions), 1u);
}

TEST_F(Menus, ZeroOrNoNumberOfNewRecordsAddsNothing) {
  write_book("libro.kb", {record("uno", "a", 7, -12.5)});
  const Bytes before = read_file("libro.kb");
  const std::string out = book_session("A\n0\nA\n-3\nA\ntres\nS\n", "libro.kb");
  EXPECT_EQ(occurrences(out, "\nIntroduzca numero de altas: "), 3u);
  EXPECT_EQ(out.find("introduzca NOMBRE"), std::string::npos);
  EXPECT_EQ(read_file("libro.kb"), before);
  EXPECT_EQ(book_.registro, 0);
}

TEST_F(Menus, TextWhereANumberIsExpectedDoesNothing) {
  // The first E selects record 1; the later answers are not numbers and must
  // not reuse that 1 (or any other value) for the next action.
  write_book("libro.kb", {record("uno", "a", 7, -12.5), record("dos", "b", 8, 3.25)});
  const Bytes before = read_file("libro.kb");
  const std::string out =
      book_session("E\n1\nE\ndos\nB\nx\ns\nM\ny\ns\nL\n1\nmuchos\nL\nuno\nS\n", "libro.kb");
  EXPECT_EQ(occurrences(out, "activado satisfactoriamente"), 1u);
  EXPECT_EQ(out.find("esta seguro"), std::string::npos);
  EXPECT_EQ(out.find("Numero de Registros del Libro"), std::string::npos);
  EXPECT_EQ(read_file("libro.kb"), before);
  EXPECT_EQ(book_.registro, 1);
}

TEST_F(Menus, InputEndingInsideARecordEntryWritesNothing) {
  const KeyRecord uno = record("uno", "a", 7, -12.5);
  const KeyRecord dos = record("dos", "b", 8, 3.25);
  write_book("libro.kb", {uno});
  // The second new record is cut off: the first is kept, the second is not
  // written, and the book still holds the last complete record.
  book_session("A\n2\n" + typed(dos) + "tres\nx y z", "libro.kb");
  Bytes bytes = book_bytes();
  ASSERT_EQ(bytes.size(), 2 * kSlotSize);
  EXPECT_EQ(slot_of(bytes, 2), slot_bytes(dos));
  EXPECT_EQ(book_.registro, 2);
  EXPECT_EQ(book_.nombre, "dos");

  book_ = base();
  book_session("M\n1\ns\notro\nx y", "libro.kb");
  EXPECT_EQ(book_bytes(), bytes);
  EXPECT_EQ(book_.registro, 0);
}

TEST_F(Menus, DeletingAMissingRecordIsReportedAsAFailure) {
  write_book("libro.kb", {record("uno", "a", 7, -12.5)});
  const Bytes before = read_file("libro.kb");
  const std::string out = book_session("B\n5\ns\nB\n1\nno\nS\n", "libro.kb");
  EXPECT_NE(out.find("esta seguro de querer borrar el registro num_ :5(s/n): "), std::string::npos);
  EXPECT_NE(out.find("\nno se ha podido eliminar intentelo de nuevo\n"), std::string::npos);
  EXPECT_EQ(out.find("SATISFACTORIAMENTE"), std::string::npos);
  EXPECT_EQ(read_file("libro.kb"), before);  // and "no" to record 1 left it alone
}

// The whole life of a book through the menus, checked step by step.
TEST_F(Menus, KeyBookSessionFromTheMainMenu) {
  const KeyRecord uno = record("uno", "a", 7, -12.5);
  const KeyRecord dos = record("dos", "b", 8, 3.25);
  const KeyRecord tres = record("tres", "c", 9, 0.5);
  const KeyRecord cuatro = record("cuatro", "d", 10, 42);
  const KeyRecord otro = record("otro", "e", 11, -1);

  // Create the book and add three records: each is appended and selected.
  std::string out = main_session("C\nlibro.kb\nS\nA\n3\n" + typed(uno) + typed(dos) + typed(tres) +
                                 "L\n1\n3\nS\nS\n\n");
  EXPECT_NE(out.find("el fichero Creado es:_libro.kb"), std::string::npos);
  for (int n = 1; n <= 3; ++n) {
    const std::string added = "\nse pasa regi: " + std::to_string(n);
    EXPECT_EQ(occurrences(out, added), 1u) << n;
    EXPECT_NE(out.find("numero :_" + std::to_string(n) + " activado satisfactoriamente"), std::string::npos);
    EXPECT_NE(out.find("clave n_" + std::to_string(n) + " _: "), std::string::npos) << n;
  }
  EXPECT_NE(out.find("\nIntroduzca n\xBA de registro inicial: "), std::string::npos);
  EXPECT_NE(out.find("\n" + book_header(kMenuTitle, "libro.kb", 3)), std::string::npos);
  EXPECT_TRUE(out.ends_with(main_header("libro.kb", 3) + kFarewell));
  Bytes bytes = book_bytes();
  ASSERT_EQ(bytes.size(), 3 * kSlotSize);
  EXPECT_EQ(slot_of(bytes, 1), slot_bytes(uno));
  EXPECT_EQ(slot_of(bytes, 2), slot_bytes(dos));
  EXPECT_EQ(slot_of(bytes, 3), slot_bytes(tres));

  // Delete the second; the next record reuses its slot and the book does not grow.
  out = main_session("C\nB\n2\ns\nA\n1\n" + typed(cuatro) + "S\nS\n\n");
  EXPECT_NE(out.find("\nesta seguro de querer borrar el registro num_ :2(s/n): "), std::string::npos);
  EXPECT_NE(out.find("\n!!!SATISFACTORIAMENTE ELIMINADO\xB7\xB7\xB7\n"), std::string::npos);
  EXPECT_EQ(out.find("se pasa regi: "), std::string::npos);
  EXPECT_NE(out.find("numero :_2 activado satisfactoriamente"), std::string::npos);
  bytes = book_bytes();
  ASSERT_EQ(bytes.size(), 3 * kSlotSize);
  EXPECT_EQ(slot_of(bytes, 2), slot_bytes(cuatro));
  EXPECT_EQ(slot_of(bytes, 3), slot_bytes(tres));
  EXPECT_EQ(book_.registro, 2);

  // Change record 3, search, select record 1.
  out = main_session("C\nM\n3\ns\n" + typed(otro) + "U\ncuatro\ne\n1\nS\nS\n\n");
  EXPECT_NE(out.find("esta seguro de querer modificar el registro num_ :3(s/n): "), std::string::npos);
  EXPECT_NE(out.find("numero :_3 activado satisfactoriamente"), std::string::npos);
  EXPECT_NE(out.find("\nentre patron a \xBF" "buscar?: "), std::string::npos);
  EXPECT_NE(out.find("Localizado:-se ha encontrado en la posicion_ 705 _del registro 2"), std::string::npos);
  EXPECT_NE(out.find("\nSeleccione el numero del registro para activar y procesar: _"), std::string::npos);
  bytes = book_bytes();
  EXPECT_EQ(bytes.size(), 3 * kSlotSize);
  EXPECT_EQ(slot_of(bytes, 1), slot_bytes(uno));
  EXPECT_EQ(slot_of(bytes, 3), slot_bytes(otro));
  EXPECT_EQ(book_.registro, 1);
  EXPECT_EQ(book_.nombre, "uno");

  // View with the reminder, print twice into one file, leave.
  out = main_session("V\nI\nprint.txt\nI\nprint.txt\ns\nS\n\n");
  EXPECT_NE(out.find("Nombre de la Clave Maestra: uno"), std::string::npos);
  EXPECT_NE(out.find("Requerde que El Numero De DESORDEN Seria Introducido Como _:-12.50000000"),
            std::string::npos);
  const std::string printout = as_string(read_file("print.txt"));
  EXPECT_EQ(occurrences(printout, "LIBRO DE CLAVES_:libro.kb"), 2u);
  EXPECT_EQ(occurrences(printout, "Nombre De La Clave MAESTRA_:uno"), 2u);
  EXPECT_TRUE(out.ends_with(main_header("libro.kb", 1) + kFarewell));
}

TEST_F(Menus, AddingFromTheCommandLineMenuDoesNotAnnounceTheCount) {
  const KeyRecord uno = record("uno", "a", 7, -12.5);
  const std::string out = book_session("S\nA\n1\n" + typed(uno) + "S\n", "libro.kb");
  EXPECT_EQ(out.find("se pasa regi: "), std::string::npos);
  EXPECT_EQ(book_bytes(), slot_bytes(uno));
  EXPECT_EQ(book_.registro, 1);
}

TEST_F(Menus, EncodeAndDecodeFromTheMainMenu) {
  write_book("libro.kb", {record("uno", "a", 7345.21, -12.5)});
  const Bytes plain = qvx::testing::random_bytes(3000, 7);
  qvx::testing::write_file("plain.bin", plain);
  main_session("C\nlibro.kb\nE\n1\nS\nO\nplain.bin\nenc.bin\nn\nD\nenc.bin\nback.bin\nn\nS\n\n");
  EXPECT_NE(read_file("enc.bin"), plain);
  EXPECT_EQ(read_file("back.bin"), plain);
  EXPECT_FALSE(std::filesystem::exists("qvx01.qvx"));
  EXPECT_FALSE(std::filesystem::exists("qvx02.qvx"));
}

// Scripts that visit every menu and every prompt. Cut at any byte, a session
// must still come to an end; one that spins is stopped by the alarm.
TEST(MenusEndOfInput, EveryCutOfASessionEnds) {
  const KeyRecord uno = record("uno", "a", 7, -12.5);
  const KeyRecord dos = record("dos", "b", 8, 3.25);
  const std::string book_script = "S\nA\n2\n" + typed(uno) + typed(dos) + "L\n1\n2\nB\n2\ns\nM\n1\ns\n" +
                                  typed(dos) + "U\ndos\nE\n1\nF\nlibro.kb\n?\nS\n";
  const std::string main_script = "x\nC\nlibro.kb\n" + book_script +
                                  "V\nI\np.txt\nI\np.txt\ns\nB\np.txt\ns\n"
                                  "O\nlibro.kb\ne.bin\ns\nlibro.kb\nD\ne.bin\nd.bin\nn\nS\n\n";
  EXPECT_EXIT(
      {
        ::alarm(300);
        const auto home = std::filesystem::current_path();
        for (std::size_t cut = 0; cut <= main_script.size(); ++cut) {
          TempDir dir;
          std::filesystem::current_path(dir.path());
          {
            ConsoleCapture cap(main_script.substr(0, cut));
            base book;
            main_menu(book, WorkFiles{});
          }
          if (cut <= book_script.size()) {
            std::filesystem::remove("libro.kb");
            ConsoleCapture cap(book_script.substr(0, cut));
            base book;
            keybook_menu(book, "libro.kb", "1");
          }
          std::filesystem::current_path(home);
        }
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace qvx
