// Whole encoding and decoding runs through the built engine.
#include <gtest/gtest.h>

#include "books.h"
#include "run_engine.h"

namespace qvx {
namespace {

using namespace qvx::testing;
namespace fs = std::filesystem;

class Pipeline : public ::testing::Test {
 protected:
  void SetUp() override {
    write_book(dir.file("k.kb"), {sample_record("uno"), sample_record("dos", 2), std::nullopt});
  }

  // Encode `data` with `extra` parameters 6.., decode with `decode_extra`,
  // and return the decoded bytes; checks statuses and leftovers on the way.
  Bytes round_trip(const Bytes& data, const std::vector<std::string>& extra,
                   const std::vector<std::string>& decode_extra, const std::string& record = "1",
                   const std::string& decode_record = "1") {
    write_file(dir.file("plain.bin"), data);
    std::vector<std::string> enc = {"k.kb", record, "c", "plain.bin", "enc.bin"};
    enc.insert(enc.end(), extra.begin(), extra.end());
    RunResult e = run_engine_in(dir.path(), enc);
    EXPECT_EQ(e.status, 4);
    std::vector<std::string> dec = {"k.kb", decode_record, "d", "enc.bin", "dec.bin"};
    dec.insert(dec.end(), decode_extra.begin(), decode_extra.end());
    RunResult d = run_engine_in(dir.path(), dec);
    EXPECT_EQ(d.status, 3);
    for (const auto& f : d.files) EXPECT_EQ(f.find("qvx0"), std::string::npos) << f;
    for (const auto& f : e.files) EXPECT_EQ(f.find("qvx0"), std::string::npos) << f;
    return read_file(dir.file("dec.bin"));
  }

  TempDir dir;
};

TEST_F(Pipeline, RoundTripsOverSizes) {
  for (std::size_t n : {0, 1, 2, 116, 117, 118, 233, 234, 235, 1679, 1680, 1681, 65535, 65536, 65537, 3000017}) {
    Bytes data = random_bytes(n, n + 1);
    EXPECT_EQ(round_trip(data, {}, {}), data) << n;
    if (n > 64) {
      EXPECT_NE(read_file(dir.file("enc.bin")), data) << n;
    }
  }
}

// Records that take each way of the engine: printable keys (one keystream
// for passes 1 to 10, exchange cycles), keys with bytes from 0x80 on (every
// exchange pass all tail, one keystream for 13 to 22), keys with bytes 1 to
// 16 (splits that change from block to block), keys too short to exchange.
TEST_F(Pipeline, RoundTripsForEveryKindOfKey) {
  const auto keyed = [](const std::string& name, auto key_of) {
    KeyRecord r = sample_record(name);
    for (int k = 1; k <= 10; ++k) r.clave(k) = key_of(k);
    return r;
  };
  const auto high = [](int k) {
    std::string s;
    for (int i = 0; i < 24; ++i) s.push_back(static_cast<char>(i % 3 == 0 ? 'A' + (i + k) % 26 : 0x80 + (i * 37 + k) % 127));
    return s;
  };
  const auto low = [](int k) {
    std::string s;
    for (int i = 0; i < 20 + k; ++i) s.push_back(static_cast<char>(1 + (i * 7 + k) % 40));
    return s;
  };
  const auto short_keys = [](int k) { return std::string(static_cast<std::size_t>(k % 6), 'q'); };
  write_book(dir.file("k.kb"), {sample_record("uno"), keyed("alta", high), keyed("baja", low),
                                keyed("corta", short_keys)});
  for (const char* record : {"1", "2", "3", "4"}) {
    for (std::size_t n : {0, 1, 807, 4097, 65536 + 17, (1 << 20) + 3}) {
      Bytes data = random_bytes(n, n + 7);
      EXPECT_EQ(round_trip(data, {}, {}, record, record), data) << record << " " << n;
    }
  }
}

TEST_F(Pipeline, FullParameterLines) {
  Bytes data = random_bytes(200000, 5);
  write_file(dir.file("short.conf"), random_bytes(1000, 6));
  write_file(dir.file("long.conf"), random_bytes(300000, 7));
  std::vector<std::string> texts = {"uno",  "dos",   "tres", "cuatro", "cinco", "seis", "siete",
                                    "ocho", "nueveA", "nueveB", "nueveC", "diezA", "diezB", "diezC"};
  for (const char* conf : {"short.conf", "long.conf"}) {
    std::vector<std::string> extra = {conf};
    extra.insert(extra.end(), texts.begin(), texts.end());
    EXPECT_EQ(round_trip(data, extra, extra), data) << conf;
  }
  // The other confirmation file, another text or another record: other bytes.
  std::vector<std::string> extra = {"short.conf"};
  extra.insert(extra.end(), texts.begin(), texts.end());
  std::vector<std::string> wrong = extra;
  wrong[0] = "long.conf";
  EXPECT_NE(round_trip(data, extra, wrong), data);
  wrong = extra;
  wrong[3] = "TRES";
  EXPECT_NE(round_trip(data, extra, wrong), data);
  EXPECT_NE(round_trip(data, extra, extra, "1", "2"), data);
}

// Passes 9 and 10 can each be left out by a "0" ending their triple; any
// combination must decode with the same command line.
TEST_F(Pipeline, LeftOutPassesStillDecode) {
  Bytes data = random_bytes(70001, 9);
  const std::vector<std::string> head = {"0", "0", "0", "0", "0", "0", "0", "0", "0"};
  for (int mask = 0; mask < 4; ++mask) {
    std::vector<std::string> extra = head;
    for (const char* t : {"a9", "b9", (mask & 1) ? "0" : "c9", "a10", "b10", (mask & 2) ? "0" : "c10"})
      extra.push_back(t);
    EXPECT_EQ(round_trip(data, extra, extra), data) << mask;
  }
}

TEST_F(Pipeline, WorkFilesBesideTheSourceWithSixParameters) {
  std::filesystem::create_directory(dir.path() / "data");
  write_file(dir.file("data/a.bin"), random_bytes(5000, 3));
  RunResult r = run_engine_in(dir.path(), {"k.kb", "1", "c", "data/a.bin", "enc.bin", "0"});
  EXPECT_EQ(r.status, 4);
  // Their names show in the wipe: overwrite-and-delete leaves nothing behind.
  EXPECT_EQ(list_dir(dir.path() / "data"), std::set<std::string>{"a.bin"});
  RunResult d = run_engine_in(dir.path(), {"k.kb", "1", "d", "enc.bin", "dec.bin", "0"});
  EXPECT_EQ(d.status, 3);
  EXPECT_EQ(read_file(dir.file("dec.bin")), read_file(dir.file("data/a.bin")));
}

// A record whose keys are all empty and whose numbers have zero digits
// makes every pass a plain copy: the whole console output is then fixed.
TEST_F(Pipeline, ExactOutputOfACopyOnlyRun) {
  KeyRecord r;
  r.nombre = "vacia";
  r.engorde = 10;
  r.desorden = 10;
  write_book(dir.file("v.kb"), {r});
  write_file(dir.file("p.txt"), std::string("abc"));
  RunResult e = run_engine_in(dir.path(), {"v.kb", "1", "c", "p.txt", "e.bin"});
  ASSERT_EQ(e.status, 4);
  std::string view =
      "\nNombre de la Clave Maestra: vacia\nclave1: \nclave2: \nclave3: \nclave4: \nclave5: "
      "\nclave6: \nclave7: \nclave8: \nclave9: \nclave10: \nengorde: 1000000000\ndesorden: 1000000000.020\n";
  std::string want = "reg: 1\n705" + view + "numero :_1 activado satisfactoriamente\n" + view;
  auto copy = [](const std::string& from) {
    return "  Chars de 3 chars iniciales de  " + from + "\ncopiando ficheros con 3  Chars de 3 chars iniciales ";
  };
  for (int n = 1; n <= 22; ++n) {
    want += "\nprocesando..CODIFICANDO CLAVE " + std::to_string(n) + "...Espere un Momento Porfavor\n";
    if (n == 2) want += "\n" + view;
    std::string from = n == 1 ? "p.txt" : (n % 2 == 0 ? "qvx01.qvx" : "qvx02.qvx");
    want += copy(from);
  }
  want += "\nprocesando..CODIFICANDO CONFIRMACION CLAVE 23...Espere un Momento Porfavor\n";
  want += std::string(7, '\xB7') + "...No se Confirma...." + std::string(9, '\xB7') + "...gracias....." +
          std::string(6, '\xB7') + copy("qvx02.qvx");
  want += "\nEspere un momento, Borrando ficheros temporales.\n";
  EXPECT_EQ(e.out, want);
  EXPECT_EQ(as_string(read_file(dir.file("e.bin"))), "abc");
  EXPECT_EQ(e.files, (std::set<std::string>{"k.kb", "v.kb", "p.txt", "e.bin"}));

  RunResult d = run_engine_in(dir.path(), {"v.kb", "1", "d", "e.bin", "d.bin"});
  ASSERT_EQ(d.status, 3);
  auto uncopy = [] { return std::string("\n copiando ficheros con 3 chars de 3 chars iniciales "); };
  std::string dwant = "reg: 1\n705" + view + "numero :_1 activado satisfactoriamente\n" + view;
  dwant += "\nDecodificando Clave 23 DE CONFIRMACION \n";
  dwant += std::string(7, '\xB7') + "...No se Confirma...." + std::string(9, '\xB7') + "...gracias....." +
           std::string(6, '\xB7') + uncopy();
  for (int n = 22; n >= 1; --n) dwant += "\nDecodificando Clave " + std::to_string(n) + "\n" + uncopy();
  EXPECT_EQ(d.out, dwant);
  EXPECT_EQ(as_string(read_file(dir.file("d.bin"))), "abc");
  EXPECT_EQ(d.files, (std::set<std::string>{"k.kb", "v.kb", "p.txt", "e.bin", "d.bin"}));
}

// From the menus, pass 23 asks before its data: every pass must still
// report, in encoding and in decoding, whether the question is declined or
// answered with a confirmation file.
TEST_F(Pipeline, MenuRunsReportEveryPass) {
  write_file(dir.file("plain.bin"), random_bytes(70000, 8));
  write_file(dir.file("conf.bin"), random_bytes(900, 9));
  for (const std::string answer : {"n\n", "s\nconf.bin\n"}) {
    SCOPED_TRACE(answer);
    fs::remove(dir.file("enc.bin"));
    fs::remove(dir.file("dec.bin"));
    RunResult r = run_engine_in(dir.path(), {}, "C\nk.kb\nE\n1\nS\nO\nplain.bin\nenc.bin\n" + answer +
                                                    "D\nenc.bin\ndec.bin\n" + answer + "S\n");
    EXPECT_EQ(r.status, 5);
    int reported = 0;  // one OK line per pass 1 to 22, each way
    for (std::size_t at = r.out.find("OK!.."); at != std::string::npos; at = r.out.find("OK!..", at + 1)) ++reported;
    EXPECT_EQ(reported, 44);
    if (answer[0] == 'n') {
      EXPECT_NE(r.out.find("...gracias.....\xB7\xB7\xB7\xB7\xB7\xB7  Chars de "), std::string::npos);
      EXPECT_NE(r.out.find("...gracias.....\xB7\xB7\xB7\xB7\xB7\xB7\n copiando ficheros con "), std::string::npos);
    }
    EXPECT_EQ(read_file(dir.file("dec.bin")), random_bytes(70000, 8));
  }
}

TEST_F(Pipeline, MissingSourceAndUnwritableDestination) {
  RunResult r = run_engine_in(dir.path(), {"k.kb", "1", "c", "nothing.bin", "enc.bin"});
  EXPECT_EQ(r.status, 8);
  EXPECT_NE(r.out.find(" no puede Abrirse "), std::string::npos);
  for (const auto& f : r.files) EXPECT_EQ(f.find("qvx0"), std::string::npos) << f;

  write_file(dir.file("plain.bin"), random_bytes(1000, 1));
  r = run_engine_in(dir.path(), {"k.kb", "1", "c", "plain.bin", "no/such/dir/enc.bin"});
  EXPECT_EQ(r.status, 8);
  for (const auto& f : r.files) EXPECT_EQ(f.find("qvx0"), std::string::npos) << f;
  EXPECT_EQ(read_file(dir.file("plain.bin")), random_bytes(1000, 1));
}

}  // namespace
}  // namespace qvx
