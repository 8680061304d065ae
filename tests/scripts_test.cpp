// The engine in scripts: options before the parameters, texts from a file,
// quiet runs with shell statuses.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "books.h"
#include "run_engine.h"

namespace qvx {
namespace {

using namespace qvx::testing;
namespace fs = std::filesystem;

class Scripts : public ::testing::Test {
 protected:
  void SetUp() override {
    write_book(dir.file("k.kb"), {sample_record("uno"), std::nullopt});
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
  const RunResult on_line = run(given);
  const Bytes expected = read_file(dir.file("enc.bin"));
  fs::remove(dir.file("enc.bin"));
  const RunResult from_file = run({"--texts", "t.txt", "k.kb", "1", "c", "plain.bin", "enc.bin"});
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
  // Options only go with a run.
  const RunResult menu = run({"--script", "k.kb"});
  EXPECT_EQ(menu.status, 1);
  EXPECT_EQ(menu.out, "");
}

}  // namespace
}  // namespace qvx
