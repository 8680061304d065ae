#include <gtest/gtest.h>

#include <filesystem>

#include "keybook/base.h"
#include "console_capture.h"
#include "testutil.h"

namespace qvx {
namespace {

using testing::Bytes;
using testing::ConsoleCapture;
using testing::TempDir;
using testing::read_file;
using testing::write_file;

KeyRecord record(const std::string& name, double engorde = 7, double desorden = -12.5) {
  KeyRecord r;
  r.nombre = name;
  for (int k = 1; k <= 10; ++k) r.clave(k) = name + "_k" + std::to_string(k);
  r.engorde = engorde;
  r.desorden = desorden;
  return r;
}

Bytes slot_bytes(const KeyRecord& r) {
  std::vector<std::string> messages;
  Slot s = write_slot(r, messages);
  return Bytes(s.begin(), s.end());
}

Bytes deleted() {
  Slot s = deleted_slot();
  return Bytes(s.begin(), s.end());
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes slice(const Bytes& b, std::size_t slot) {
  return Bytes(b.begin() + static_cast<long>(slot * kSlotSize),
               b.begin() + static_cast<long>((slot + 1) * kSlotSize));
}

// A book of three records whose second is deleted.
struct HoledBook {
  TempDir dir;
  std::string path = dir.file("book.kb");
  Bytes original = concat({slot_bytes(record("uno")), deleted(), slot_bytes(record("tres"))});
  HoledBook() { write_file(path, original); }
};

// Raw dump of one slot as the listing shows it: the rows of the record
// layout, each ended by a line break.
std::string dumped(const Bytes& slot) {
  std::string text;
  std::size_t at = 0;
  for (std::size_t row : {20, 65, 65, 65, 65, 65, 65, 65, 65, 65, 65, 15, 20}) {
    text.append(slot.begin() + static_cast<long>(at), slot.begin() + static_cast<long>(at + row));
    text += '\n';
    at += row;
  }
  return text;
}

TEST(Editing, BuscarFindsTheFirstWhollyDeletedSlot) {
  HoledBook book;
  EXPECT_EQ(base(book.path.c_str()).buscar(), 2);
  // A name starting nnn is no free slot, nor is a deleted slot cut short
  // at the end of the file.
  Bytes tail = deleted();
  tail.resize(704);
  const std::string other = book.dir.file("other.kb");
  write_file(other, concat({slot_bytes(record("nnnx")), tail}));
  EXPECT_EQ(base(other.c_str()).buscar(), 0);
  EXPECT_EQ(base(book.dir.file("missing.kb").c_str()).buscar(), 0);
}

TEST(Editing, BajasWritesTheDeletionMarkerInPlace) {
  TempDir dir;
  const std::string path = dir.file("book.kb");
  const Bytes original = concat({slot_bytes(record("uno")), slot_bytes(record("dos")), slot_bytes(record("tres"))});
  write_file(path, original);
  ConsoleCapture console;
  EXPECT_EQ(base(path.c_str()).bajas(2, 705), 1);
  EXPECT_EQ(console.text(), "");
  const Bytes after = read_file(path);
  ASSERT_EQ(after.size(), 2115u);
  for (std::size_t i = 705; i <= 1408; ++i) ASSERT_EQ(after[i], 'n') << i;
  EXPECT_EQ(after[1409], 0);
  EXPECT_EQ(slice(after, 0), slice(original, 0));
  EXPECT_EQ(slice(after, 2), slice(original, 2));
}

TEST(Editing, OutOfRangeSlotsAreRefusedAndTheBookIsUntouched) {
  HoledBook book;
  const base b(book.path.c_str());
  const std::string refusal = "\nlo siento registro no existente; Repita la Operacion\n";
  for (int n : {0, -1, 4, 1000000, -2147483647}) {
    SCOPED_TRACE(n);
    ConsoleCapture console;
    EXPECT_EQ(b.bajas(n, 705), 0);
    EXPECT_EQ(b.modificaciones(n), 0);
    EXPECT_EQ(console.text(), refusal + refusal);
  }
  {
    ConsoleCapture console;
    b.altas(0);
    b.altas(5);  // would leave slot 4 as a hole
    EXPECT_EQ(console.text(), refusal + refusal);
  }
  EXPECT_EQ(read_file(book.path), book.original);

  // No book file: nothing is created and the failure is reported.
  const std::string missing = book.dir.file("missing.kb");
  ConsoleCapture console;
  EXPECT_EQ(base(missing.c_str()).bajas(1, 705), 0);
  EXPECT_EQ(base(missing.c_str()).modificaciones(1), 0);
  EXPECT_EQ(console.text(), "\n Error no se ha abierto el fichero\n\n Error no se ha abierto el fichero\n");
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(Editing, AddingReusesTheDeletedSlotThenAppends) {
  HoledBook book;
  base b(book.path.c_str());
  static_cast<KeyRecord&>(b) = record("nuevo");
  ConsoleCapture console;
  // The menu's way of adding: a free slot first, else after the last one.
  ASSERT_EQ(b.buscar(), 2);
  EXPECT_EQ(b.modificaciones(2), 1);
  Bytes after = read_file(book.path);
  ASSERT_EQ(after.size(), 2115u);
  EXPECT_EQ(slice(after, 1), slot_bytes(record("nuevo")));
  EXPECT_EQ(slice(after, 0), slice(book.original, 0));
  EXPECT_EQ(slice(after, 2), slice(book.original, 2));
  EXPECT_EQ(console.text(), "");

  ASSERT_EQ(b.buscar(), 0);
  static_cast<KeyRecord&>(b) = record("cuatro");
  EXPECT_EQ(b.altas(4), 4u);
  EXPECT_EQ(console.text(), "\nllega al primer paso\n\nllega al primer paso2\n");
  after = read_file(book.path);
  ASSERT_EQ(after.size(), 4 * kSlotSize);
  EXPECT_EQ(slice(after, 3), slot_bytes(record("cuatro")));

  console.clear();
  EXPECT_EQ(base().altas(1), 1u);
  EXPECT_EQ(console.text(), "\nError no se puede realizar la operacion hasta que abra un libro de claves\n");
}

TEST(Editing, ListingShowsOnlyExistingRecordsWithOnePause) {
  TempDir dir;
  const std::string path = dir.file("four.kb");
  const Bytes bytes = concat({slot_bytes(record("uno")), slot_bytes(record("dos")), deleted(),
                              slot_bytes(record("cuatro"))});
  write_file(path, bytes);
  const base b(path.c_str());
  const std::string count = "reg: 4\n2820";
  const std::string head = "\n Numero de Registros del Libro " + path + "_:_ " + count + "4\n";
  {
    ConsoleCapture console;
    b.listados(3, 5);
    // Every one of the five numbers counts the records again, also the
    // three past the end.
    EXPECT_EQ(console.text(), head + count + "clave n_3 _: " + dumped(slice(bytes, 2)) +
                                  "\nPresione Retorno Para Continuar......\n" + count +
                                  "clave n_4 _: " + dumped(slice(bytes, 3)) + count + count + count + "\n");
  }
  {
    // From 0 or below the listing starts at the first record; one slot, no pause.
    ConsoleCapture console;
    b.listados(-3, 1);
    EXPECT_EQ(console.text(), head + count + "clave n_1 _: " + dumped(slice(bytes, 0)) + "\n");
  }
  {
    ConsoleCapture console;
    b.listados(5, 3);
    EXPECT_EQ(console.text(), head + count + count + count + "\n");
  }
  // A count far beyond the book stops counting after kPastEndShown numbers.
  ConsoleCapture console;
  b.listados(5, 2000000000);
  std::string many = head;
  for (int i = 0; i < kPastEndShown; ++i) many += count;
  EXPECT_EQ(console.text(), many + "\n");
}

// Every offset of `pattern` in `bytes`, found the plain way.
std::vector<std::size_t> offsets_of(const Bytes& bytes, const std::string& pattern) {
  std::vector<std::size_t> found;
  for (std::size_t p = 0; p + pattern.size() <= bytes.size(); ++p)
    if (std::equal(pattern.begin(), pattern.end(), bytes.begin() + static_cast<long>(p))) found.push_back(p);
  return found;
}

std::string search_report(const std::vector<std::size_t>& offsets) {
  std::string text;
  for (std::size_t p : offsets)
    text += "\nLocalizado:-se ha encontrado en la posicion_ " + std::to_string(p) + " _del registro " +
            std::to_string(p / 705 + 1);
  return text + "\n";
}

TEST(Editing, SearchReportsEveryOffsetIncludingOverlapsAndSlotEdges) {
  HoledBook book;
  const base b(book.path.c_str());
  {
    ConsoleCapture console;
    EXPECT_EQ(b.busqueda("___"), 1);
    const std::vector<std::size_t> found = offsets_of(book.original, "___");
    // "uno", its NUL, then underscores from offset 4 to 19.
    ASSERT_GE(found.size(), 14u);
    EXPECT_EQ(found[0], 4u);
    EXPECT_EQ(found[13], 17u);
    EXPECT_EQ(console.text(), search_report(found));
  }
  {
    // Across the end of slot 2 (the deletion marker's NUL) into slot 3.
    ConsoleCapture console;
    const std::string across = std::string("nn") + '\0' + "tres";
    b.busqueda(across);
    EXPECT_EQ(console.text(), search_report({1407}));
  }
  {
    // The last bytes of the file are found too.
    ConsoleCapture console;
    b.busqueda(std::string("--"));
    EXPECT_EQ(console.text(), search_report(offsets_of(book.original, "--")));
    EXPECT_EQ(offsets_of(book.original, "--").back(), 2113u);
  }
  ConsoleCapture console;
  b.busqueda(std::string(3000, 'n'));  // longer than the file
  b.busqueda("zzz");
  EXPECT_EQ(console.text(), "\n\n");
}

const char* kEntryPrompts =
    "\nintroduzca NOMBRE de la clave Maestra: "
    "\nIntroduzca Clave1: \nIntroduzca Clave2: \nIntroduzca Clave3: \nIntroduzca Clave4: "
    "\nIntroduzca Clave5: \nIntroduzca Clave6: \nIntroduzca Clave7: \nIntroduzca Clave8: "
    "\nIntroduzca Clave9: \nIntroduzca Clave10: Introduzca numeros apartir de ahora\n";

TEST(Editing, EntryReadsNameKeysAndNumbersAskingAgainOnBadNumbers) {
  TempDir dir;
  const std::string name25 = "abcdefghijklmnopqrstuvwxy";
  ConsoleCapture console("3\n" + name25 + " ignored words\na b c d e\nf g h\ni j\nsiete 7\n-12.5\n");
  base b(dir.file("book.kb").c_str());
  b.iniciab();
  EXPECT_EQ(b.nombre, name25);
  EXPECT_EQ(b.clave1, "a");
  EXPECT_EQ(b.clave10, "j");
  EXPECT_EQ(b.engorde, 7.0);
  EXPECT_EQ(b.desorden, -12.5);
  const std::string engorde = "\nIntroduzca ENGORDE (Enteros sin signo y no mas de diez numeros): ";
  const std::string view =
      "\nNombre de la Clave Maestra: " + name25 +
      "\nclave1: a\nclave2: b\nclave3: c\nclave4: d\nclave5: e\nclave6: f\nclave7: g\nclave8: h"
      "\nclave9: i\nclave10: j\nengorde: 7\ndesorden: -12.500\n\n";
  EXPECT_EQ(console.text(), kEntryPrompts + engorde + engorde +
                                "\nIntroduzca DESORDEN (Doble con decimal antes de pos:24)(+-x.xx..): " + view);

  // The over-long name is cut, with its message, only when written.
  write_file(dir.file("book.kb"), slot_bytes(record("viejo")));
  console.clear();
  EXPECT_EQ(b.modificaciones(1), 1);
  EXPECT_EQ(console.text(), "error de longitud en nombre");
  const Bytes after = read_file(dir.file("book.kb"));
  EXPECT_EQ(std::string(after.begin(), after.begin() + 20), name25.substr(0, 19) + '\0');
}

TEST(Editing, EntryStopsAtTheEndOfInputKeepingWhatWasTyped) {
  base b;
  static_cast<KeyRecord&>(b) = record("viejo", 5, 2.5);
  {
    ConsoleCapture console("\nnuevo\nk1 k2");
    b.iniciab();
    EXPECT_EQ(b.nombre, "nuevo");
    EXPECT_EQ(b.clave2, "k2");
    EXPECT_EQ(b.clave3, "viejo_k3");
    EXPECT_EQ(b.engorde, 5.0);
  }
  ConsoleCapture console("\notro\n1 2 3 4 5 6 7 8 9 10\nmucho");
  b.iniciab();
  EXPECT_EQ(b.clave10, "10");
  EXPECT_EQ(b.engorde, 5.0) << "a word that is no number must not become one";
  EXPECT_TRUE(con::at_eof());
}

TEST(Editing, ReminderShowsTheDesordenAsTyped) {
  base b;
  b.desorden = 1250000000.12;
  b.signo = 1;
  b.posicion = 2;
  {
    ConsoleCapture console;
    EXPECT_EQ(b.recuerda(), 1);
    EXPECT_EQ(console.text(), "\nRequerde que El Numero De DESORDEN Seria Introducido Como _:-12.50000000");
  }
  b.desorden = 1234567890.012;
  b.signo = 0;
  b.posicion = 12;
  ConsoleCapture console;
  EXPECT_EQ(b.recuerda(), 1);
  EXPECT_EQ(console.text(), "\n Requerde que El Numero De DESORDEN Seria Introducido Como _:+123456789000.");
}

}  // namespace
}  // namespace qvx
