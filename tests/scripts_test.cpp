// The engine in scripts: options before the parameters, texts from a file,
// quiet runs with shell statuses.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>

#include "books.h"
#include "run_engine.h"

namespace qvx {
namespace {

using namespace qvx::testing;
namespace fs = std::filesystem;

class Scripts : public ::testing::Test {
 protected:
  void SetUp() override {
    write_book(dir.file("k.kb"), {sample_record("uno"), std::nullopt, sample_record("tres", 3)});
    write_file(dir.file("plain.bin"), random_bytes(70000, 3));
  }
  void private_file(const std::string& name, const std::string& bytes) {
    write_file(dir.file(name), bytes);
    fs::permissions(dir.file(name), fs::perms::owner_read | fs::perms::owner_write);
  }
  RunResult run(const std::vector<std::string>& args) { return run_engine_in(dir.path(), args); }
  bool exists(const std::string& name) const { return fs::exists(dir.file(name)); }

  TempDir dir;
};

// Lines of the file are parameters 7 on, with the command line's count
// rules: here 16 = "0" is the last of pass 9's triple given, so pass 9 is
// left out, exactly as on the command line.
TEST_F(Scripts, TextsFileIsTheSameRunAsTheCommandLine) {
  const std::vector<std::string> texts = {"uno", "", "0", "cuatro \xF1", "", "", "", "", "A9", "0"};
  std::string file;
  for (const auto& t : texts) file += t + "\r\n";
  private_file("t.txt", file);

  std::vector<std::string> given = {"k.kb", "1", "c", "plain.bin", "enc.bin", "0"};
  given.insert(given.end(), texts.begin(), texts.end());
  // Pass 11's filler follows the clock's seconds: the two encodings are
  // compared when both ran within one second (a few tries at most).
  RunResult on_line, from_file;
  Bytes expected;
  for (int tries = 0; tries < 5; ++tries) {
    const std::time_t started = std::time(nullptr);
    on_line = run(given);
    expected = read_file(dir.file("enc.bin"));
    fs::remove(dir.file("enc.bin"));
    from_file = run({"--texts", "t.txt", "k.kb", "1", "c", "plain.bin", "enc.bin"});
    if (std::time(nullptr) == started) break;
  }
  EXPECT_EQ(from_file.status, 4);
  EXPECT_EQ(from_file.out, on_line.out);  // every console byte too
  EXPECT_EQ(from_file.err, "");
  EXPECT_EQ(read_file(dir.file("enc.bin")), expected);
  EXPECT_NE(on_line.out.find("CODIFICANDO CLAVE 9"), std::string::npos);

  // Decoding with the texts from the file gives the source back.
  EXPECT_EQ(run({"--texts", "t.txt", "k.kb", "1", "d", "enc.bin", "dec.bin"}).status, 3);
  EXPECT_EQ(read_file(dir.file("dec.bin")), read_file(dir.file("plain.bin")));

  // A file others may read still works, with a warning on stderr only.
  fs::permissions(dir.file("t.txt"), fs::perms::group_read, fs::perm_options::add);
  const RunResult shared = run({"--texts", "t.txt", "k.kb", "1", "c", "plain.bin", "enc.bin"});
  EXPECT_EQ(shared.out, on_line.out);
  EXPECT_EQ(shared.err, "Aviso: otros usuarios pueden leer el fichero de textos t.txt (chmod 600 t.txt)\n");
}

TEST_F(Scripts, TextsFileRefusals) {
  private_file("t.txt", "uno\n");
  // Texts on the command line as well: refused before anything is touched.
  RunResult both = run({"--texts", "t.txt", "k.kb", "1", "c", "plain.bin", "enc.bin", "0", "siete"});
  EXPECT_EQ(both.status, 0);
  EXPECT_EQ(both.out, "\nError con --texts los parametros 7 a 20 no se dan en la linea de ordenes\n");
  EXPECT_FALSE(exists("enc.bin"));
  // A FIFO is not read (and does not block the engine).
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  RunResult fifo = run({"--script", "--texts", "fifo", "k.kb", "1", "c", "plain.bin", "enc.bin"});
  EXPECT_EQ(fifo.status, 1);
  EXPECT_EQ(fifo.out, "");
  EXPECT_EQ(fifo.err, "Error no se puede abrir el fichero de textos fifo (tiene que ser un fichero normal)\n");
  private_file("long.txt", std::string(15, '\n'));
  RunResult lines = run({"--script", "--texts", "long.txt", "k.kb", "1", "c", "plain.bin", "enc.bin"});
  EXPECT_EQ(lines.status, 1);
  EXPECT_EQ(lines.err, "Error en el fichero de textos long.txt: tiene mas de 14 lineas (parametros 7 a 20)\n");
  EXPECT_FALSE(exists("enc.bin"));
}

// --script: nothing on stdout, one line on stderr for each error, shell
// statuses; without it the same lines keep their old statuses.
TEST_F(Scripts, StatusesAndQuietOutput) {
  struct Case {
    std::vector<std::string> args;
    int script, plain;
    const char* err;
  };
  const Case cases[] = {
      {{"k.kb", "1", "c", "plain.bin", "enc.bin"}, 0, 4, ""},
      {{"k.kb", "1", "d", "enc.bin", "dec.bin"}, 0, 3, ""},
      {{"none.kb", "1", "c", "plain.bin", "x"}, 1, 0, "Error no se puede abrir el libro de claves none.kb\n"},
      {{"k.kb", "2", "c", "plain.bin", "x"}, 1, 0,
       "Imposible Seleccionar Un Registro Borrado Operacion Cancelada\n"},
      {{"k.kb", "7", "c", "plain.bin", "x"}, 1, 0, "lo siento registro no existente; Repita la Operacion\n"},
      {{"k.kb", "1", "x", "plain.bin", "x"}, 1, 2, "Error la operacion x no es c (codificar) ni d (decodificar)\n"},
      {{"k.kb", "1", "c", "plain.bin", "x", "no.conf"}, 1, 4,
       "Error no se puede abrir el fichero de confirmacion no.conf\n"},
      {{"k.kb", "1", "c", "none.bin", "x"}, 1, 8, "Error no se puede abrir el fichero origen none.bin\n"},
      {{"k.kb", "1", "c", "plain.bin", "no/such/dir"}, 8, 8,
       "Error no se ha escrito el Destino no/such/dir, el proceso no ha terminado bien\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> quiet = {"--script"};
    quiet.insert(quiet.end(), c.args.begin(), c.args.end());
    const RunResult r = run(quiet);
    EXPECT_EQ(r.status, c.script) << c.args[1] << c.args[3];
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
    if (c.plain != 3 && c.plain != 4) {  // the round trip runs once
      const RunResult loud = run(c.args);
      EXPECT_EQ(loud.status, c.plain) << c.args[1] << c.args[3];
      EXPECT_EQ(loud.err, "");
    }
  }
  EXPECT_EQ(read_file(dir.file("dec.bin")), read_file(dir.file("plain.bin")));
  EXPECT_FALSE(exists("x"));
  // --sync changes when the run ends, not what it says or writes.
  const RunResult unsynced = run({"k.kb", "1", "d", "enc.bin", "dec.bin"});
  const RunResult synced = run({"--sync", "k.kb", "1", "d", "enc.bin", "dec.bin"});
  EXPECT_EQ(synced.status, 3);
  EXPECT_EQ(synced.out, unsynced.out);
  EXPECT_EQ(synced.err, "");
  EXPECT_EQ(read_file(dir.file("dec.bin")), read_file(dir.file("plain.bin")));
  // Options only go with a run.
  const RunResult menu = run({"--script", "k.kb"});
  EXPECT_EQ(menu.status, 1);
  EXPECT_EQ(menu.out, "");
}

constexpr const char* kMatch = "Comprobacion correcta: registro, textos y confirmacion son los de la codificacion";
constexpr const char* kMismatch =
    "Error de comprobacion: el registro, los textos o el fichero de confirmacion no son los de la "
    "codificacion, o el fichero codificado ha cambiado. No se ha escrito el Destino dec.bin";

TEST_F(Scripts, CheckFileTellsAWrongKey) {
  write_file(dir.file("conf"), random_bytes(5000, 9));
  const std::vector<std::string> encode = {"k.kb", "1", "c", "plain.bin", "enc.bin", "conf", "texto"};
  std::vector<std::string> checked = {"--check"};
  checked.insert(checked.end(), encode.begin(), encode.end());
  const RunResult e = run(checked);
  ASSERT_EQ(e.status, 4);
  const Bytes check = read_file(dir.file("enc.bin.qvxchk"));
  ASSERT_EQ(check.size(), 55u);
  EXPECT_EQ(as_string(Bytes(check.begin(), check.begin() + 7)), std::string("QVXCHK\x01", 7));
  EXPECT_EQ(fs::status(dir.file("enc.bin.qvxchk")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  // The encoding's console is that of a run without --check.
  EXPECT_EQ(e.out.find("omprobacion"), std::string::npos);

  struct Wrong {
    std::vector<std::string> args;
    const char* what;
  };
  fs::copy_file(dir.file("enc.bin"), dir.file("flipped.bin"));
  fs::copy_file(dir.file("enc.bin.qvxchk"), dir.file("flipped.bin.qvxchk"));
  Bytes flipped = read_file(dir.file("flipped.bin"));
  flipped[flipped.size() / 2] ^= 0x10;
  write_file(dir.file("flipped.bin"), flipped);
  const std::set<std::string> before = list_dir(dir.path());
  const Wrong wrong[] = {
      {{"k.kb", "3", "d", "enc.bin", "dec.bin", "conf", "texto"}, "record"},
      {{"k.kb", "1", "d", "enc.bin", "dec.bin", "conf", "text0"}, "text"},
      {{"k.kb", "1", "d", "enc.bin", "dec.bin", "no.conf", "texto"}, "confirmation file"},
      {{"k.kb", "1", "d", "flipped.bin", "dec.bin", "conf", "texto"}, "bit"},
  };
  for (const Wrong& w : wrong) {
    const RunResult d = run(w.args);
    EXPECT_EQ(d.status, 9) << w.what;
    EXPECT_NE(d.out.find(std::string("\n") + kMismatch + "\n"), std::string::npos) << w.what;
    EXPECT_EQ(list_dir(dir.path()), before) << w.what;  // nothing written, nothing left
    std::vector<std::string> quiet = {"--script"};
    quiet.insert(quiet.end(), w.args.begin(), w.args.end());
    const RunResult q = run(quiet);
    if (w.args[5] == "no.conf") {  // a script is told before the run
      EXPECT_EQ(q.status, 1);
      continue;
    }
    EXPECT_EQ(q.status, 9) << w.what;
    EXPECT_EQ(q.err, std::string(kMismatch) + "\n") << w.what;
  }
  // The right keys: one line says so, and the data is back.
  const RunResult d = run({"--check", "k.kb", "1", "d", "enc.bin", "dec.bin", "conf", "texto"});
  EXPECT_EQ(d.status, 3);
  EXPECT_NE(d.out.find(std::string("\n") + kMatch + "\n"), std::string::npos);
  EXPECT_EQ(read_file(dir.file("dec.bin")), read_file(dir.file("plain.bin")));
}

TEST_F(Scripts, CheckFileMissingOrDamaged) {
  ASSERT_EQ(run({"k.kb", "1", "c", "plain.bin", "enc.bin"}).status, 4);
  EXPECT_FALSE(exists("enc.bin.qvxchk"));  // only asked for
  // Asked for and missing, or damaged: an error of its own, nothing done.
  RunResult missing = run({"--script", "--check", "k.kb", "1", "d", "enc.bin", "dec.bin"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "Error no existe el fichero de comprobacion enc.bin.qvxchk\n");
  write_file(dir.file("enc.bin.qvxchk"), "QVXCHK\x01 corto");
  RunResult damaged = run({"--script", "--check", "k.kb", "1", "d", "enc.bin", "dec.bin"});
  EXPECT_EQ(damaged.status, 1);
  EXPECT_EQ(damaged.err, "Error el fichero de comprobacion enc.bin.qvxchk esta danado o no es de esta version\n");
  EXPECT_FALSE(exists("dec.bin"));
  // Found without being asked for: a warning, and the decoding goes on.
  RunResult found = run({"--script", "k.kb", "1", "d", "enc.bin", "dec.bin"});
  EXPECT_EQ(found.status, 0);
  EXPECT_EQ(found.err, "Aviso: el fichero de comprobacion enc.bin.qvxchk esta danado o no es de esta version; no se comprueba\n");
  EXPECT_EQ(read_file(dir.file("dec.bin")), read_file(dir.file("plain.bin")));
  // A check file never replaces a file the run needs.
  fs::copy_file(dir.file("k.kb"), dir.file("x.qvxchk"));
  RunResult clash = run({"--script", "--check", "x.qvxchk", "1", "c", "plain.bin", "x"});
  EXPECT_EQ(clash.status, 1);
  EXPECT_EQ(read_file(dir.file("x.qvxchk")), read_file(dir.file("k.kb")));
  EXPECT_FALSE(exists("x"));
  // Encoding to standard output has nowhere to put a check file.
  RunResult piped = run({"--script", "--check", "k.kb", "1", "c", "plain.bin", "-"});
  EXPECT_EQ(piped.status, 1);
  EXPECT_EQ(piped.out, "");
}

}  // namespace
}  // namespace qvx
