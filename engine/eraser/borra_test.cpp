#include "eraser/borra.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "eraser/overwrite.h"
#include "console_capture.h"
#include "testutil.h"

namespace qvx {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::ConsoleCapture;
using testing::TempDir;
using testing::read_file;
using testing::write_file;

std::set<std::string> names_in(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// Runs the test body with the working directory set to `dir`, where a
// stray shell command would leave its traces.
class ScopedCwd {
 public:
  explicit ScopedCwd(const fs::path& dir) : old_(fs::current_path()) { fs::current_path(dir); }
  ~ScopedCwd() { fs::current_path(old_); }

 private:
  fs::path old_;
};

TEST(Eraser, OverwriteTurnsEveryByteIntoZeroDigitAndKeepsTheSize) {
  TempDir dir;
  // Around the 64 KiB block the zeros are written in.
  for (std::size_t size : {std::size_t{1}, std::size_t{65535}, std::size_t{65536},
                           std::size_t{65537}, std::size_t{3 * 65536 + 17}}) {
    SCOPED_TRACE(size);
    const std::string path = dir.file("f.bin");
    write_file(path, testing::random_bytes(size, size));
    ConsoleCapture console;
    ASSERT_TRUE(eraser::overwrite_with_zeros(path));
    EXPECT_EQ(console.text(), "");
    Bytes after = read_file(path);
    ASSERT_EQ(after.size(), size);
    EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](unsigned char c) { return c == 0x30; }));
  }
}

TEST(Eraser, BorrarficheroLeavesOneZeroDigitAndEliminarestoRemovesIt) {
  TempDir dir;
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{70000}}) {
    SCOPED_TRACE(size);
    const std::string path = dir.file("secret.txt");
    write_file(path, testing::random_bytes(size, 7));
    borra target(path.c_str());
    ConsoleCapture console;
    ASSERT_EQ(target.borrarfichero(), 1);
    EXPECT_EQ(read_file(path), Bytes{0x30});
    EXPECT_EQ(target.eliminaresto(), 1);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(console.text(), "");
  }
}

TEST(Eraser, PathsWithShellCharactersAndAnyLengthRunNothing) {
  TempDir dir;
  ScopedCwd cwd(dir.path());
  write_file(dir.file("a"), std::string("keep a"));
  write_file(dir.file("b"), std::string("keep b"));
  const std::string hostile = dir.file("a b; touch pwned $(touch pwned2) `touch pwned3` 'q\" &");
  // Deep enough to pass every fixed buffer the eraser ever had.
  fs::path deep = dir.path();
  for (int i = 0; i < 12; ++i) deep /= std::string(60, static_cast<char>('c' + i));
  fs::create_directories(deep);
  const std::string long_path = (deep / "x y;z").string();
  ASSERT_GT(long_path.size(), 700u);

  for (const std::string& path : {hostile, long_path}) {
    write_file(path, std::string("private"));
    borra target(path.c_str());
    ConsoleCapture console;
    ASSERT_EQ(target.borrarfichero(), 1);
    EXPECT_EQ(target.eliminaresto(), 1);
    EXPECT_EQ(console.text(), "");
    EXPECT_FALSE(fs::exists(path));
  }
  EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"a", "b", "cccccccccccccccccccccccccccccccccccccccccccccccccccccccccccc"}));
  EXPECT_EQ(testing::as_string(read_file(dir.file("a"))), "keep a");
  EXPECT_EQ(testing::as_string(read_file(dir.file("b"))), "keep b");
}

TEST(Eraser, MissingFileOrDirectoryIsRefusedAndNothingIsCreated) {
  TempDir dir;
  const std::string missing = dir.file("nothere.txt");
  const std::string folder = dir.file("folder");
  fs::create_directory(folder);
  write_file(dir.file("folder/inside"), std::string("x"));
  for (const std::string& path : {missing, folder}) {
    ConsoleCapture console;
    EXPECT_EQ(borra(path.c_str()).borrarfichero(), 0);
    EXPECT_EQ(console.text(), " el Archivo " + path + " no Existe\n Error no se ha abierto el archivo");
  }
  EXPECT_FALSE(fs::exists(missing));
  ConsoleCapture console;
  EXPECT_EQ(borra(folder.c_str()).eliminaresto(), 1);
  EXPECT_EQ(console.text(), "\nNO SE PUDO ELIMINAR EL RESTO DE ...." + folder +
                                " LO TIENE QUE REALIZAR A MANO !SOLO UN BYT!\n");
  EXPECT_EQ(testing::as_string(read_file(dir.file("folder/inside"))), "x");
}

TEST(Eraser, UnwritableFileAndReadOnlyDirectoryTakeTheFailurePaths) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  TempDir dir;
  const std::string locked = dir.file("locked.txt");
  write_file(locked, std::string("keep"));
  ::chmod(locked.c_str(), 0444);
  {
    ConsoleCapture console;
    EXPECT_EQ(borra(locked.c_str()).borrarfichero(), 0);
    EXPECT_EQ(console.text(), " el Archivo " + locked + " no Existe\n Error no se ha abierto el archivo");
    EXPECT_EQ(testing::as_string(read_file(locked)), "keep");
  }
  // A writable file in a directory that forbids deleting: the content goes,
  // the one byte stays and the user is told.
  const fs::path ro = dir.path() / "ro";
  fs::create_directory(ro);
  const std::string inside = (ro / "f.txt").string();
  write_file(inside, std::string("secret"));
  ::chmod(ro.c_str(), 0555);
  ConsoleCapture console;
  borra target(inside.c_str());
  EXPECT_EQ(target.borrarfichero(), 1);
  EXPECT_EQ(target.eliminaresto(), 1);
  EXPECT_EQ(console.text(), "\nNO SE PUDO ELIMINAR EL RESTO DE ...." + inside +
                                " LO TIENE QUE REALIZAR A MANO !SOLO UN BYT!\n");
  EXPECT_EQ(read_file(inside), Bytes{0x30});
  ::chmod(ro.c_str(), 0755);
}

TEST(Eraser, DirficheroShowsSizeAndNameOrSaysItIsMissing) {
  TempDir dir;
  const std::string path = dir.file("listed.txt");
  write_file(path, std::string(1234, 'x'));
  {
    ConsoleCapture console;
    EXPECT_EQ(borra(path.c_str()).dirfichero(), 1);
    const std::string shown = console.text();
    EXPECT_NE(shown.find(" 1234 " + path + "\n"), std::string::npos) << shown;
  }
  ConsoleCapture console;
  EXPECT_EQ(borra(dir.file("gone").c_str()).dirfichero(), 1);
  EXPECT_EQ(console.text(), "\nNO SE ENCUENTRA EL ARCHIVO\n");
}

// The dialogue's output with the listing line (it carries the file's date)
// cut out.
std::string without_listing(const std::string& text, const std::string& path) {
  const std::size_t end = text.find(path + "\n");
  if (end == std::string::npos) return text;
  const std::size_t start = text.rfind('\n', end);
  return text.substr(0, start) + text.substr(end + path.size() + 1);
}

TEST(Eraser, DialogueErasesOnlyAfterYes) {
  TempDir dir;
  const std::string path = dir.file("doc.txt");
  const std::string prompt = "Introduzca el fichero para borrar : _";
  const std::string question = "\nesta seguro de querer borrar el fichero seleccionado\n";
  write_file(path, std::string("contents"));
  for (const char* answer : {"n\n", "x\n", ""}) {  // "" is the end of input
    ConsoleCapture console(path + "\n" + answer);
    eraser_dialogue();
    EXPECT_EQ(without_listing(console.text(), path), prompt + question + "\noperacion Cancelada\n");
    EXPECT_EQ(testing::as_string(read_file(path)), "contents");
  }
  {
    ConsoleCapture console(path + "\n  S\n");
    eraser_dialogue();
    EXPECT_EQ(without_listing(console.text(), path),
              prompt + question +
                  "\n No queda ni Rastro del contenido Original del Fichero seleccionado\n");
    EXPECT_FALSE(fs::exists(path));
  }
  {
    ConsoleCapture console(path + "\ns\n");
    eraser_dialogue();
    EXPECT_EQ(console.text(), prompt + "\nNO SE ENCUENTRA EL ARCHIVO\n" + question + " el Archivo " +
                                  path + " no Existe\n Error no se ha abierto el archivo" +
                                  "\nno se ha borrado el fichero\n");
    EXPECT_FALSE(fs::exists(path));
  }
  ConsoleCapture console("");
  eraser_dialogue();
  EXPECT_EQ(console.text(), prompt + "\noperacion Cancelada\n");
}

}  // namespace
}  // namespace qvx
