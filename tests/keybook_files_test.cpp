// The key book through the built engine where a session can go wrong: a
// refused change, an entry that ends the input, the modes of new key
// material, numbers the C library cannot hold, and names that are no file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "books.h"
#include "run_engine.h"

namespace qvx {
namespace {

using namespace qvx::testing;
namespace fs = std::filesystem;

Bytes slot_bytes(const KeyRecord& r) {
  std::vector<std::string> messages;
  const Slot s = write_slot(r, messages);
  return Bytes(s.begin(), s.end());
}

Bytes slot_of(const Bytes& book, int n) {
  const auto at = static_cast<std::ptrdiff_t>((n - 1) * kSlotSize);
  return Bytes(book.begin() + at, book.begin() + at + static_cast<std::ptrdiff_t>(kSlotSize));
}

unsigned mode_of(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777u : 0u;
}

// What the user would be left with under the usual umask.
class KeyBookFiles : public ::testing::Test {
 protected:
  KeyBookFiles() : old_umask_(::umask(022)) {
    write_book(dir.file("k.kb"), {sample_record("uno"), sample_record("dos", 2)});
  }
  ~KeyBookFiles() override { ::umask(old_umask_); }

  TempDir dir;
  mode_t old_umask_;
};

TEST_F(KeyBookFiles, RefusedChangeKeepsTheSelectedRecordUsable) {
  const Bytes book = read_file(dir.file("k.kb"));
  const Bytes plain = random_bytes(2000, 13);
  write_file(dir.file("plain.bin"), plain);
  // Record 1 selected; M 0 is declined; M 9 is typed in full and refused;
  // then an encoding with what the header calls record 1.
  RunResult r = run_engine_in(dir.path(), {},
                              "C\nk.kb\nE\n1\nM\n0\nn\nM\n9\ns\nfake\nz z z z z z z z z z\n5\n5\nS\n"
                              "O\nplain.bin\nenc.bin\nn\nS\n\n");
  EXPECT_EQ(r.status, 5);
  EXPECT_EQ(read_file(dir.file("k.kb")), book);
  // Number 0 names no slot: nothing is dumped before its question.
  const std::string ask0 = "Introduzca numero de registro a modificar: ";
  const std::size_t from = r.out.find(ask0);
  const std::size_t to = r.out.find("esta seguro de querer modificar el registro num_ :0(s/n): ");
  ASSERT_NE(from, std::string::npos);
  ASSERT_NE(to, std::string::npos);
  EXPECT_EQ(r.out.substr(from, to - from).find("clave n_"), std::string::npos);

  RunResult d = run_engine_in(dir.path(), {"k.kb", "1", "d", "enc.bin", "back.bin"});
  EXPECT_EQ(d.status, 3);
  EXPECT_EQ(read_file(dir.file("back.bin")), plain);
}

TEST_F(KeyBookFiles, EntryWhoseLastNumberEndsTheInputIsWritten) {
  KeyRecord uno;
  uno.nombre = "uno";
  for (int k = 1; k <= 10; ++k) uno.clave(k) = std::string(1, static_cast<char>('a' + k - 1));
  uno.engorde = 7;
  uno.desorden = -12.5;
  const std::string typed = "uno\na b c d e f g h i j\n7\n-12.5";
  RunResult r = run_engine_in(dir.path(), {"k.kb"}, "A\n1\n" + typed);
  EXPECT_EQ(r.status, 6);
  Bytes book = read_file(dir.file("k.kb"));
  ASSERT_EQ(book.size(), 3 * kSlotSize);
  EXPECT_EQ(slot_of(book, 3), slot_bytes(uno));

  r = run_engine_in(dir.path(), {"k.kb"}, "M\n1\ns\n" + typed);
  book = read_file(dir.file("k.kb"));
  ASSERT_EQ(book.size(), 3 * kSlotSize);
  EXPECT_EQ(slot_of(book, 1), slot_bytes(uno));
  // Cut before its last number, an entry is still dropped.
  r = run_engine_in(dir.path(), {"k.kb"}, "M\n2\ns\nuno\na b c d e f g h i j\n7\n");
  EXPECT_EQ(read_file(dir.file("k.kb")), book);
}

TEST_F(KeyBookFiles, NewKeyMaterialIsTheOwnersAloneAndOldFilesKeepTheirMode) {
  // A new book from the command line, a printout into a new file and one
  // appended to an existing file.
  write_file(dir.file("old.txt"), std::string("antes\n"));
  ::chmod(dir.file("old.txt").c_str(), 0644);
  ::chmod(dir.file("k.kb").c_str(), 0644);
  RunResult r = run_engine_in(dir.path(), {"new.kb"}, "S\nS\n");
  EXPECT_EQ(r.status, 6);
  r = run_engine_in(dir.path(), {}, "C\nk.kb\nE\n1\nS\nI\nnew.txt\nI\nold.txt\ns\nS\n\n");
  EXPECT_EQ(r.status, 5);
  r = run_engine_in(dir.path(), {"k.kb"}, "A\n1\ntres\na b c d e f g h i j\n7\n-12.5\nS\n");
  EXPECT_EQ(mode_of(dir.file("new.kb")), 0600u);
  EXPECT_EQ(mode_of(dir.file("new.txt")), 0600u);
  EXPECT_GT(read_file(dir.file("new.txt")).size(), 0u);
  EXPECT_EQ(mode_of(dir.file("old.txt")), 0644u);
  EXPECT_GT(read_file(dir.file("old.txt")).size(), 6u);
  EXPECT_EQ(mode_of(dir.file("k.kb")), 0644u);
  EXPECT_EQ(read_file(dir.file("k.kb")).size(), 3 * kSlotSize);
}

// The printout holds all ten keys: it is never appended to a file another
// user owns (who could read them there) or reached through a link; the
// name is refused before the question, and the file is left alone.
TEST_F(KeyBookFiles, PrintoutOnlyIntoFilesOfOurOwn) {
  write_file(dir.file("mine.txt"), std::string("antes\n"));
  fs::create_symlink("mine.txt", dir.file("link.txt"));
  std::vector<std::string> refused = {"link.txt"};
  if (::geteuid() == 0) {
    write_file(dir.file("theirs.txt"), std::string("suyo\n"));
    ::chmod(dir.file("theirs.txt").c_str(), 0666);
    ASSERT_EQ(::chown(dir.file("theirs.txt").c_str(), 65534, 65534), 0);
    refused.push_back("theirs.txt");
  }
  for (const std::string& name : refused) {
    SCOPED_TRACE(name);
    const Bytes before = read_file(dir.file(name));
    RunResult r = run_engine_in(dir.path(), {}, "C\nk.kb\nE\n1\nS\nI\n" + name + "\ns\nS\n\n");
    EXPECT_EQ(r.status, 5);
    EXPECT_NE(r.out.find("\nError el fichero " + name +
                         " no es un fichero propio (enlace, directorio, fifo, dispositivo o de otro usuario), no se "
                         "escribe\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find(" existe , !lo A"), std::string::npos);
    EXPECT_EQ(r.out.find("PROCESANDO FICHERO"), std::string::npos);
    EXPECT_EQ(read_file(dir.file(name)), before);
  }
  EXPECT_EQ(as_string(read_file(dir.file("mine.txt"))), "antes\n");
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir.file("link.txt"))));
}

TEST_F(KeyBookFiles, NumbersOutsideIntSelectNothing) {
  write_file(dir.file("plain.txt"), std::string("hola"));
  const auto before = list_dir(dir.path());
  for (const char* n : {"4294967297", "-4294967295", "99999999999999999999999"}) {
    RunResult r = run_engine_in(dir.path(), {"k.kb", n, "c", "plain.txt", "out.bin"});
    EXPECT_EQ(r.status, 0) << n;
    EXPECT_EQ(r.out, "reg: 2\n1410\nlo siento registro no existente; Repita la Operacion\n") << n;
    EXPECT_EQ(r.files, before) << n;
  }
  // atoi's reading of a number followed by other text stays: record 1 is
  // selected and the unknown operation then does nothing.
  for (const char* n : {"1abc", "1e3"}) EXPECT_EQ(run_engine_in(dir.path(), {"k.kb", n, "X", "a", "b"}).status, 2) << n;
  // A typed number is read whole, however many zeros lead it.
  RunResult r = run_engine_in(dir.path(), {"k.kb"}, "E\n" + std::string(69, '0') + "2\nS\n");
  EXPECT_NE(r.out.find("numero :_2 activado satisfactoriamente"), std::string::npos);
}

// A directory or a FIFO named as key book or printout is a file that cannot
// be opened: the usual messages, and no run waits for the FIFO's other end.
TEST_F(KeyBookFiles, DirectoryAndFifoAreBooksThatCannotBeOpened) {
  fs::create_directory(dir.file("dir.kb"));
  ASSERT_EQ(::mkfifo(dir.file("fifo.kb").c_str(), 0600), 0);
  for (const std::string name : {"dir.kb", "fifo.kb"}) {
    SCOPED_TRACE(name);
    RunResult r = run_engine_in(dir.path(), {name, "1", "c", "k.kb", "out.bin"}, "", 20);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "reg: 0\n0\nlo siento registro no existente; Repita la Operacion\n");

    const std::string refused =
        " el Archivo " + name + " no Existe, \xBFLo Creo Nuevo? (S/N) :\n Error no se ha abierto el archivo\n";
    r = run_engine_in(dir.path(), {name}, "S\nS\n", 20);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 6);
    EXPECT_NE(r.out.find(refused), std::string::npos);

    r = run_engine_in(dir.path(), {}, "C\n" + name + "\nS\nF\nk.kb\nE\n1\nS\nI\n" + name + "\ns\nS\n\n", 20);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 5);
    EXPECT_NE(r.out.find(refused), std::string::npos);
    EXPECT_NE(r.out.find("\n Error no se ha podido abrir el fichero " + name + "\n"), std::string::npos);
  }
  EXPECT_TRUE(fs::is_directory(dir.file("dir.kb")));
  EXPECT_TRUE(fs::is_fifo(dir.file("fifo.kb")));
}

}  // namespace
}  // namespace qvx
