#include "keybook_dialogs.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fake_platform.h"
#include "main_window.h"
#include "texts.h"
#include "testutil.h"

namespace qvxpanel {
namespace {

using qvx::kSlotSize;
using qvx::testing::as_string;
using qvx::testing::read_file;
using qvx::testing::TempDir;
using testing::FakePlatform;
using testing::record_named;
using testing::slot_of;
using testing::write_book;

struct Book {
  TempDir dir;
  std::string path = dir.file("k.kb");
  FakePlatform p;
  Book() {
    write_book(path, {slot_of(record_named("uno")), slot_of(record_named("dos")), slot_of(record_named("tres"))});
  }
  std::string slot(int n) const { return as_string(read_file(path)).substr((n - 1) * kSlotSize, kSlotSize); }
};

TEST(KeyBookDialog, AnEmptyPathDisablesEveryOperation) {
  FakePlatform p;
  KeyBookDialog d(p, "", "", 0);
  d.on_init_dialog();
  EXPECT_FALSE(d.operations_enabled);
  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_EQ(p.boxes[0].text, "No se puede realizar la operaci\xF3n hasta que active una Clave Maestra.");
  EXPECT_EQ(p.boxes[0].title, "ERROR");
  EXPECT_EQ(d.focus, ids::keybook_dialog::kNames);

  bool opened = false;
  p.add_script = [&](AddDialog&) { return opened = true; };
  p.search_script = [&](SearchDialog&) { return opened = true; };
  d.on_add();
  d.on_search();
  d.on_delete();
  EXPECT_FALSE(opened);
  EXPECT_EQ(p.boxes.size(), 1u);
}

TEST(KeyBookDialog, OpensOnTheMainWindowsRecord) {
  Book b;
  KeyBookDialog d(b.p, b.path, "dos", 2);
  d.on_init_dialog();
  EXPECT_TRUE(d.operations_enabled);
  ASSERT_EQ(d.names.size(), 3u);
  EXPECT_EQ(d.selection, 1);
  EXPECT_EQ(d.record.claves[4], "dos-key5");
  EXPECT_EQ(d.record.desorden, "1250000000.12");
  EXPECT_TRUE(b.p.boxes.empty());

  d.on_name_selected(2);
  EXPECT_EQ(d.number, 3);
  EXPECT_EQ(d.record.nombre, "tres");
}

TEST(KeyBookDialog, AddingKeepsTheProposedNameAndSelectsTheNewRecord) {
  Book b;
  KeyBookDialog d(b.p, b.path, "uno", 1);
  d.on_init_dialog();
  b.p.add_script = [](AddDialog& add) {
    EXPECT_EQ(add.record.nombre, "NOMBRE_CLAVE");
    EXPECT_EQ(add.record.engorde, "1");
    EXPECT_EQ(add.record.desorden, "1");
    add.record.claves[0] = "k1";
    return add.on_ok();
  };
  d.on_add();
  RecordTexts want;
  want.nombre = "NOMBRE_CLAVE";
  want.claves[0] = "k1";
  want.engorde = "1";
  want.desorden = "1";
  EXPECT_EQ(b.slot(4), slot_of(want));
  ASSERT_EQ(b.p.boxes.size(), 1u);
  EXPECT_EQ(b.p.boxes[0].text, "Se ha modificado el Libro de Claves: " + b.path);
  EXPECT_EQ(b.p.boxes[0].title, "ALTAS");
  EXPECT_EQ(d.number, 4);
  EXPECT_EQ(d.names.size(), 4u);
  EXPECT_EQ(d.selection, 3);
}

TEST(KeyBookDialog, ABookThatCannotBeWrittenGetsNoSuccessMessage) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  FakePlatform p;
  AddDialog add(p, "/dev/full", 0);
  EXPECT_FALSE(add.on_ok());
  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_EQ(p.boxes[0].title, "ERROR");
  EXPECT_EQ(p.boxes[0].text, std::string(texts::kBookWriteError) + "/dev/full");
}

TEST(KeyBookDialog, NumbersAreCheckedWhileTyped) {
  FakePlatform p;
  AddDialog add(p, "k.kb", 0);
  auto type = [&](std::string& field, void (RecordForm::*changed)(), const std::string& text) {
    field = text;
    (add.*changed)();
    return p.boxes.size();
  };
  EXPECT_EQ(type(add.record.engorde, &RecordForm::on_engorde_changed, "-"), 1u);
  EXPECT_EQ(type(add.record.engorde, &RecordForm::on_engorde_changed, "-5"), 2u);
  EXPECT_EQ(type(add.record.engorde, &RecordForm::on_engorde_changed, "5"), 2u);
  EXPECT_EQ(type(add.record.engorde, &RecordForm::on_engorde_changed, "05"), 3u);
  EXPECT_EQ(type(add.record.engorde, &RecordForm::on_engorde_changed, ""), 3u);
  EXPECT_EQ(type(add.record.desorden, &RecordForm::on_desorden_changed, "-"), 4u);
  EXPECT_EQ(type(add.record.desorden, &RecordForm::on_desorden_changed, "-5"), 4u);
  EXPECT_EQ(type(add.record.desorden, &RecordForm::on_desorden_changed, "0.0"), 5u);
  EXPECT_EQ(p.boxes[0].text, texts::kBadNumber);
  EXPECT_EQ(p.boxes[0].title, "ERROR");
}

TEST(KeyBookDialog, ChangingShowsTheDesordenAsTypedAndWritesItBackUnchanged) {
  Book b;
  const std::string before = as_string(read_file(b.path));
  KeyBookDialog d(b.p, b.path, "dos", 2);
  d.on_init_dialog();
  b.p.change_script = [&](ChangeDialog& change) {
    EXPECT_EQ(change.number, 2);
    EXPECT_EQ(change.record.desorden, "-12.50000000");
    EXPECT_EQ(change.record.engorde, "7000000000");
    EXPECT_EQ(change.names, (std::vector<std::string>{"uno", "dos", "tres"}));
    return change.on_ok();
  };
  d.on_change();
  EXPECT_EQ(as_string(read_file(b.path)), before);
  ASSERT_EQ(b.p.boxes.size(), 2u);
  EXPECT_EQ(b.p.boxes[0].text, "El Desorden es :-12.50000000");
  EXPECT_EQ(b.p.boxes[1].text, "Se ha Modificado el Libro de Claves: " + b.path);
  EXPECT_EQ(b.p.boxes[1].title, "MODIFICACI\xD3N");

  // A renamed record is selected under its new name.
  b.p.change_script = [](ChangeDialog& change) {
    change.record.nombre = "otro";
    return change.on_ok();
  };
  d.on_change();
  EXPECT_EQ(d.selection, 1);
  EXPECT_EQ(d.record.nombre, "otro");
  EXPECT_EQ(b.slot(2).substr(0, 5), std::string("otro\0", 5));
}

TEST(KeyBookDialog, DeletingAsksThenMarksTheSlot) {
  Book b;
  KeyBookDialog d(b.p, b.path, "dos", 2);
  d.on_init_dialog();
  const std::string before = as_string(read_file(b.path));

  b.p.answers = {Answer::cancel};
  d.on_delete();
  EXPECT_EQ(as_string(read_file(b.path)), before);
  EXPECT_EQ(b.p.boxes.back().text, "La operaci\xF3n ha sido cancelada");
  EXPECT_EQ(b.p.boxes.back().title, "CANCELAR");
  EXPECT_NE(b.p.standard.find("\n Numero de Registros del Libro " + b.path + "_:_ 3\nclave n_2 _: dos\0", 0),
            std::string::npos);

  b.p.boxes.clear();
  d.on_delete();
  ASSERT_EQ(b.p.boxes.size(), 2u);
  EXPECT_EQ(b.p.boxes[0].text, "Desea eliminar la Clave Maestra N\xFAmero: 2");
  EXPECT_EQ(b.p.boxes[0].buttons, Buttons::ok_cancel);
  EXPECT_EQ(b.p.boxes[1].text, "La Clave Maestra ha sido eliminada");
  EXPECT_EQ(b.slot(2), testing::deleted());
  EXPECT_EQ(b.slot(3), slot_of(record_named("tres")));
  EXPECT_EQ(d.record.nombre, "");
  ASSERT_EQ(d.names.size(), 2u);
  EXPECT_EQ(d.names[1].name, "tres");
}

// A record that is gone (deleted, or of another book) is handed back to
// nobody: OK with it would start runs that fail.
TEST(KeyBookDialog, ARecordThatWentLeavesTheFormEmpty) {
  Book b;
  KeyBookDialog d(b.p, b.path, "dos", 2);
  d.on_init_dialog();
  ASSERT_EQ(d.record.claves[0], "dos-key1");
  d.on_delete();
  EXPECT_EQ(d.number, 0);
  EXPECT_EQ(d.record.claves[0], "");
  EXPECT_EQ(d.selection, -1);

  KeyBookDialog other(b.p, b.path, "tres", 3);
  other.on_init_dialog();
  ASSERT_EQ(other.number, 3);
  other.on_path_changed();  // the same book: the record stays
  EXPECT_EQ(other.number, 3);
  const std::string second = b.dir.file("otro.kb");
  write_book(second, {slot_of(record_named("x"))});
  other.path = second;
  other.on_path_changed();
  EXPECT_EQ(other.number, 0);
  EXPECT_EQ(other.record.nombre, "");
  EXPECT_EQ(other.record.claves[9], "");
  ASSERT_EQ(other.names.size(), 1u);
}

TEST(KeyBookDialog, TheMainWindowTakesTheSelectionBack) {
  Book b;
  CQvxpanelDlg w(b.p);
  b.p.keybook_script = [&](KeyBookDialog& d) {
    EXPECT_EQ(d.path, "");
    d.path = b.path;
    d.on_path_changed();
    d.on_name_selected(2);
    return true;
  };
  w.on_key_book();
  EXPECT_EQ(w.book_path, b.path);
  EXPECT_EQ(w.name, "tres");
  EXPECT_EQ(w.number, 3);
  EXPECT_EQ(w.master_keys.size(), 3u);
  EXPECT_EQ(w.master_key_selection, 2);
}

}  // namespace
}  // namespace qvxpanel
