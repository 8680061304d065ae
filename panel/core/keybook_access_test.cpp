#include "keybook_access.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "fake_platform.h"
#include "keybook/base.h"
#include "texts.h"
#include "console_capture.h"
#include "testutil.h"

namespace qvxpanel {
namespace {

using qvx::kSlotSize;
using qvx::testing::as_string;
using qvx::testing::read_file;
using qvx::testing::TempDir;
using testing::deleted;
using testing::FakePlatform;
using testing::record_named;
using testing::slot_of;
using testing::write_book;

std::string slot_in(const std::string& book, int n) {
  return as_string(read_file(book)).substr((n - 1) * kSlotSize, kSlotSize);
}

TEST(KeyBookAccess, ReadingCreatesAMissingBookEmpty) {
  TempDir dir;
  std::string book = dir.file("new.kb");
  const mode_t old_umask = ::umask(022);
  auto names = list_names(book);
  ::umask(old_umask);
  ASSERT_TRUE(names.has_value());
  EXPECT_TRUE(names->empty());
  ASSERT_TRUE(std::filesystem::exists(book));
  EXPECT_EQ(std::filesystem::file_size(book), 0u);
  // It will hold keys in the clear: its owner's alone.
  namespace fs = std::filesystem;
  EXPECT_EQ(fs::status(book).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

  EXPECT_FALSE(list_names("").has_value());
  EXPECT_FALSE(list_names(dir.path().string()).has_value());
}

TEST(KeyBookAccess, DeletedSlotsHideTheirNamesButKeepTheNumbering) {
  TempDir dir;
  std::string book = dir.file("k.kb");
  write_book(book, {slot_of(record_named("uno")), deleted(), slot_of(record_named("tres")),
                    slot_of(record_named("cuatro")) + "tail"});

  auto names = list_names(book);
  ASSERT_TRUE(names.has_value());
  ASSERT_EQ(names->size(), 3u);
  EXPECT_EQ((*names)[0].name, "uno");
  EXPECT_EQ((*names)[1].name, "tres");
  EXPECT_EQ((*names)[1].slot, 3);
  EXPECT_EQ((*names)[2].slot, 4);

  auto found = find_by_name(book, "tres");
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->slot, 3);
  EXPECT_EQ(found->texts.claves[9], "tres-key10");
  EXPECT_EQ(found->texts.engorde, "7000000000");
  EXPECT_EQ(found->texts.desorden, "1250000000.12");
  EXPECT_EQ(find_by_name(book, "tre")->slot, 0);

  auto second = load_by_number(book, 2);
  EXPECT_EQ(second->scanned, 2);
  EXPECT_EQ(second->slot, 2);
  auto beyond = load_by_number(book, 7);
  EXPECT_EQ(beyond->scanned, 4);  // the tail is no slot
  EXPECT_EQ(beyond->slot, 0);
}

TEST(KeyBookAccess, AddingReusesTheDeletedSlotThenAppends) {
  TempDir dir;
  FakePlatform p;
  std::string book = dir.file("k.kb");
  write_book(book, {slot_of(record_named("uno")), deleted(), slot_of(record_named("tres"))});

  Added first = append_or_reuse(p, book, record_named("nuevo"));
  EXPECT_TRUE(first.written);
  EXPECT_EQ(first.reused, 2);
  EXPECT_EQ(std::filesystem::file_size(book), 3 * kSlotSize);
  EXPECT_EQ(slot_in(book, 2), slot_of(record_named("nuevo")));

  Added second = append_or_reuse(p, book, record_named("otro"));
  EXPECT_TRUE(second.written);
  EXPECT_EQ(second.reused, 0);
  EXPECT_EQ(std::filesystem::file_size(book), 4 * kSlotSize);
  EXPECT_EQ(slot_in(book, 4), slot_of(record_named("otro")));
  EXPECT_EQ(slot_in(book, 1), slot_of(record_named("uno")));
  EXPECT_TRUE(p.boxes.empty());

  // Numbers that read as zero and over-long names are reported, and written.
  RecordTexts r = record_named(std::string(25, 'x'), "abc", "0");
  EXPECT_TRUE(append_or_reuse(p, book, r).written);
  EXPECT_EQ(p.box_texts(),
            (std::vector<std::string>{"Se ha producido un error en la conversi\xF3n de la Clave de Engorde.",
                                      "Se ha producido un error en la conversi\xF3n de la Clave de Desorden."}));
  EXPECT_EQ(p.standard, "error de longitud en nombre");
  EXPECT_EQ(slot_in(book, 5).substr(0, 20), std::string(19, 'x') + '\0');
}

TEST(KeyBookAccess, OverwriteAndDeleteRefuseSlotsTheBookDoesNotHave) {
  TempDir dir;
  FakePlatform p;
  std::string book = dir.file("k.kb");
  write_book(book, {slot_of(record_named("uno")), slot_of(record_named("dos")), slot_of(record_named("tres"))});
  const auto before = read_file(book);

  for (int n : {0, 4, -1}) {
    EXPECT_FALSE(overwrite(p, book, n, record_named("x")));
    EXPECT_FALSE(erase_record(p, book, n));
  }
  EXPECT_EQ(read_file(book), before);
  ASSERT_EQ(p.boxes.size(), 6u);
  EXPECT_EQ(p.boxes[0].text, texts::kNoSuchRecord);
  EXPECT_EQ(p.boxes[0].title, "ERROR");

  EXPECT_TRUE(erase_record(p, book, 2));
  std::string after = as_string(read_file(book));
  EXPECT_EQ(after.size(), 3 * kSlotSize);
  EXPECT_EQ(after.substr(705, 704), std::string(704, 'n'));
  EXPECT_EQ(after[1409], '\0');
  EXPECT_EQ(after.substr(1410), slot_of(record_named("tres")));
}

TEST(KeyBookAccess, AnUnwritableBookIsReportedNotCreated) {
  TempDir dir;
  FakePlatform p;
  std::string missing = dir.file("missing.kb");
  EXPECT_FALSE(overwrite(p, missing, 1, record_named("x")));
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_NE(p.standard.find(" Error no se ha abierto el fichero"), std::string::npos);
  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_EQ(p.boxes[0].text, std::string(texts::kBookWriteError) + missing);

  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  p.boxes.clear();
  EXPECT_FALSE(append_or_reuse(p, "/dev/full", record_named("x")).written);
  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_EQ(p.boxes[0].text, std::string(texts::kBookWriteError) + "/dev/full");
}

TEST(KeyBookAccess, SearchReportsEveryOccurrenceUpToTheLastByte) {
  TempDir dir;
  FakePlatform p;
  std::string book = dir.file("k.kb");
  RecordTexts r = record_named("aaaa");
  for (auto& k : r.claves) k = "x";
  write_book(book, {slot_of(r) + "Q"});

  EXPECT_TRUE(search(p, book, "Q"));
  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_EQ(p.boxes[0].text, "Se ha encontrado una coincidencia en la posici\xF3n:  705 _del registro 2");
  EXPECT_EQ(p.boxes[0].title, book);
  EXPECT_EQ(p.boxes[0].icon, Icon::exclamation);

  p.boxes.clear();
  EXPECT_TRUE(search(p, book, "aaa"));  // overlapping matches each count
  EXPECT_EQ(p.box_texts(),
            (std::vector<std::string>{"Se ha encontrado una coincidencia en la posici\xF3n:  0 _del registro 1",
                                      "Se ha encontrado una coincidencia en la posici\xF3n:  1 _del registro 1"}));

  p.boxes.clear();
  EXPECT_TRUE(search(p, book, std::string(kSlotSize + 2, 'a')));
  EXPECT_TRUE(search(p, book, ""));
  EXPECT_TRUE(p.boxes.empty());
  EXPECT_FALSE(search(p, "", "a"));
}

TEST(KeyBookAccess, SelectForChangeRefusesDeletedAndMissingSlots) {
  TempDir dir;
  FakePlatform p;
  std::string book = dir.file("k.kb");
  write_book(book, {slot_of(record_named("uno")), deleted()});
  int32_t n = 2;
  std::string field = "kept";
  EXPECT_EQ(select_for_change(p, book, n, field), Selected::refused);
  EXPECT_EQ(n, 0);
  EXPECT_NE(p.standard.find("Imposible Seleccionar Un Registro Borrado"), std::string::npos);
  n = 3;
  EXPECT_EQ(select_for_change(p, book, n, field), Selected::refused);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(field, "kept");
  EXPECT_TRUE(p.boxes.empty());
}
// The records both programs must agree on.
std::vector<RecordTexts> awkward_records() {
  std::vector<RecordTexts> all;
  RecordTexts empty_keys = record_named("vacia", "7", "0.5");
  for (auto& k : empty_keys.claves) k.clear();
  all.push_back(empty_keys);
  RecordTexts long_keys = record_named("larga", "0", "123456789012");
  for (std::size_t k = 0; k < 10; ++k) long_keys.claves[k] = std::string(64, static_cast<char>('A' + k));
  all.push_back(long_keys);
  all.push_back(record_named("normal", "7", "-12.5"));
  return all;
}

struct Expected {
  double engorde;
  const char* desorden_text;
};
constexpr Expected kExpected[] = {{7000000000.0, "+.5000000000"},
                                  {0.0, "+123456789000."},
                                  {7000000000.0, "-12.50000000"}};

TEST(KeyBookAccess, ABookWrittenByThePanelReadsTheSameInTheEngine) {
  TempDir dir;
  FakePlatform p;
  std::string book = dir.file("k.kb");
  write_book(book, {});
  auto records = awkward_records();
  for (const RecordTexts& r : records) ASSERT_TRUE(append_or_reuse(p, book, r).written);
  ASSERT_EQ(std::filesystem::file_size(book), records.size() * kSlotSize);

  qvx::testing::ConsoleCapture console;
  for (std::size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE(records[i].nombre);
    const int n = static_cast<int>(i + 1);
    qvx::base engine(book.c_str());
    ASSERT_EQ(engine.activar(static_cast<uint32_t>(n), records.size()), n);
    EXPECT_EQ(engine.nombre, records[i].nombre);
    for (int k = 1; k <= 10; ++k) EXPECT_EQ(engine.clave(k), records[i].claves[k - 1]);
    EXPECT_EQ(engine.engorde, kExpected[i].engorde);
    EXPECT_EQ(qvx::desorden_text(engine), kExpected[i].desorden_text);

    std::string slot = slot_in(book, n);
    qvx::KeyRecord direct;
    std::vector<std::string> messages;
    qvx::read_slot(reinterpret_cast<const unsigned char*>(slot.data()), slot.size(), direct, messages);
    EXPECT_EQ(direct.desorden, engine.desorden);
    EXPECT_EQ(direct.posicion, engine.posicion);
  }
}

TEST(KeyBookAccess, ABookWrittenByTheEngineReadsTheSameInThePanel) {
  TempDir dir;
  FakePlatform p;
  std::string book = dir.file("k.kb");
  auto records = awkward_records();
  {
    qvx::testing::ConsoleCapture console;
    std::ofstream f(book, std::ios::binary);
    for (const RecordTexts& r : records) {
      qvx::base b;
      static_cast<qvx::KeyRecord&>(b) = to_record(r);
      f >> b;
    }
  }
  const auto before = read_file(book);
  for (std::size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE(records[i].nombre);
    int32_t n = static_cast<int32_t>(i + 1);
    auto found = find_by_name(book, records[i].nombre);
    ASSERT_EQ(found->slot, n);
    EXPECT_EQ(found->texts.claves, records[i].claves);

    // The change form's texts write the record back byte for byte.
    RecordTexts form = found->texts;
    ASSERT_EQ(select_for_change(p, book, n, form.desorden), Selected::read);
    EXPECT_EQ(form.desorden, kExpected[i].desorden_text);
    ASSERT_TRUE(overwrite(p, book, n, form));
  }
  EXPECT_EQ(read_file(book), before);
}

}  // namespace
}  // namespace qvxpanel
