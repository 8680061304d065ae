#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <type_traits>
#include <vector>

#include "cipher/passes/coder.h"
#include "cipher/passes/pass_table.h"
#include "cipher/passes/texts.h"
#include "console_capture.h"
#include "testutil.h"

namespace qvx {
namespace {

using testing::Bytes;
using testing::ConsoleCapture;
using testing::TempDir;

// Texts handed to a pass; null means "use the built-in one".
struct Texts {
  const char* t[3] = {nullptr, nullptr, nullptr};
};

template <class Coder>
int call(Coder& c, int n, const Texts& x, const char* a, const char* b) {
  const char* p = x.t[0];
  if constexpr (std::is_same_v<Coder, codifica>) {
    switch (n) {
      case 1: return c.codifica_clave1(p, a, b);
      case 2: return c.codifica_clave2(p, a, b);
      case 3: return c.codifica_clave3(p, a, b);
      case 4: return c.codifica_clave4(p, a, b);
      case 5: return c.codifica_clave5(p, a, b);
      case 6: return c.codifica_clave6(p, a, b);
      case 7: return c.codifica_clave7(p, a, b);
      case 8: return c.codifica_clave8(p, a, b);
      case 9: return c.codifica_clave9(p, x.t[1], x.t[2], a, b);
      default: return c.codifica_clave10(p, x.t[1], x.t[2], a, b);
    }
  } else {
    switch (n) {
      case 1: return c.decodifica_clave1(p, a, b);
      case 2: return c.decodifica_clave2(p, a, b);
      case 3: return c.decodifica_clave3(p, a, b);
      case 4: return c.decodifica_clave4(p, a, b);
      case 5: return c.decodifica_clave5(p, a, b);
      case 6: return c.decodifica_clave6(p, a, b);
      case 7: return c.decodifica_clave7(p, a, b);
      case 8: return c.decodifica_clave8(p, a, b);
      case 9: return c.decodifica_clave9(p, x.t[1], x.t[2], a, b);
      default: return c.decodifica_clave10(p, x.t[1], x.t[2], a, b);
    }
  }
}

// One read of the whole file; the byte-wise reader costs too much under the
// sanitizers at the sizes used here.
Bytes slurp(const std::string& path) {
  Bytes b(static_cast<std::size_t>(std::filesystem::file_size(path)));
  std::ifstream f(path, std::ios::binary);
  f.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(b.size()));
  return b;
}

// Runs one pass on files in a temporary directory. The input goes where the
// pass must read it and the output is taken from where the pass must write
// it, so a pass wired to the wrong file fails here.
class Bench {
 public:
  Bench()
      : origin(dir.file("origen.bin")),
        destination(dir.file("destino.bin")),
        first(dir.file("qvx01.qvx")),
        second(dir.file("qvx02.qvx")) {}

  // Where the pass table says pass n reads and writes.
  std::string file(Direction d, int n, bool input) const {
    const codifica names(origin.c_str(), destination.c_str());
    const Route r = route(d, n);
    return file_of(names, input ? r.from : r.to, first.c_str(), second.c_str());
  }
  std::string encoding_input(int n) const { return file(Direction::encode, n, true); }
  std::string encoding_output(int n) const { return file(Direction::encode, n, false); }
  std::string decoding_input(int n) const { return file(Direction::decode, n, true); }
  std::string decoding_output(int n) const { return file(Direction::decode, n, false); }

  Bytes encode(int n, const KeyRecord& rec, const Bytes& data, const Texts& x = {}) {
    codifica c(origin.c_str(), destination.c_str());
    static_cast<KeyRecord&>(c) = rec;
    return run(c, n, x, encoding_input(n), encoding_output(n), data);
  }
  Bytes decode(int n, const KeyRecord& rec, const Bytes& data, const Texts& x = {}) {
    decodifica c(origin.c_str(), destination.c_str());
    static_cast<KeyRecord&>(c) = rec;
    return run(c, n, x, decoding_input(n), decoding_output(n), data);
  }

  template <class Coder>
  Bytes run(Coder& c, int n, const Texts& x, const std::string& in, const std::string& out,
            const Bytes& data) {
    for (const std::string* f : {&origin, &destination, &first, &second})
      std::filesystem::remove(*f);
    testing::write_file(in, data);
    ConsoleCapture cap;
    EXPECT_EQ(call(c, n, x, first.c_str(), second.c_str()), 1);
    EXPECT_EQ(c.paso, n);
    console = cap.text();
    EXPECT_TRUE(std::filesystem::exists(out)) << "pass " << n << " wrote nothing to " << out;
    return std::filesystem::exists(out) ? slurp(out) : Bytes();
  }

  TempDir dir;
  std::string origin, destination, first, second;
  std::string console;
};

std::string hex_text(const testing::Entry& e, const std::string& key) {
  return testing::as_string(testing::from_hex(testing::get(e, key)));
}

KeyRecord record_of(const testing::Entry& e) {
  KeyRecord r;
  for (int k = 1; k <= 10; ++k) r.clave(k) = hex_text(e, "clave" + std::to_string(k));
  r.engorde = std::strtod(testing::get(e, "engorde").c_str(), nullptr);
  r.desorden = std::strtod(testing::get(e, "desorden").c_str(), nullptr);
  r.signo = std::atoi(testing::get(e, "signo").c_str());
  r.posicion = std::atoi(testing::get(e, "posicion").c_str());
  return r;
}

// Every key holds bytes above 0x7F and the keys have different lengths, so
// that a signed character or a shared position would show.
KeyRecord sample_record() {
  KeyRecord r;
  for (int k = 1; k <= 10; ++k) {
    std::string key;
    for (int i = 0; i < 3 + 6 * k; ++i) key.push_back(static_cast<char>(0x80 + (k * 37 + i * 11) % 0x80));
    r.clave(k) = key;
  }
  r.engorde = 7345.21;
  r.desorden = 1234567.891;
  return r;
}

TEST(AdditiveVectors, EncodeGivesOutputAndDecodeGivesInputBack) {
  int seen = 0;
  for (const auto& e : testing::load_vectors("passes.txt")) {
    const int n = std::atoi(testing::get(e, "pass").c_str());
    if (n < 1 || n > 10) continue;
    ++seen;
    SCOPED_TRACE(testing::get(e, "vector"));
    const KeyRecord rec = record_of(e);
    std::string a, b, c;
    Texts x;
    if (n <= 8) {
      a = hex_text(e, "text");
      x.t[0] = a.c_str();
    } else {
      a = hex_text(e, "textA"), b = hex_text(e, "textB"), c = hex_text(e, "textC");
      x = Texts{{a.c_str(), b.c_str(), c.c_str()}};
    }
    const Bytes input = testing::from_hex(testing::get(e, "input"));
    const Bytes output = testing::from_hex(testing::get(e, "output"));
    Bench bench;
    EXPECT_EQ(bench.encode(n, rec, input, x), output);
    EXPECT_EQ(bench.decode(n, rec, output, x), input);
  }
  EXPECT_GE(seen, 21);
}

TEST(AdditiveRoundTrip, EveryPassEverySizeBothTextKinds) {
  const KeyRecord rec = sample_record();
  const std::vector<std::size_t> sizes = {0, 1, 19, 20, 21, 255, 256, 257, 65535, 65536, 65537};
  std::mt19937 g(2025);
  const std::string p = "Texto propio \xF1\xE1\xFF de prueba";
  Bench bench;
  auto round_trip = [&](int n, bool given, std::size_t size) {
    SCOPED_TRACE("pass " + std::to_string(n) + " size " + std::to_string(size) +
                 (given ? " given texts" : " built-in texts"));
    Texts x;
    if (given) x = Texts{{p.c_str(), p.c_str() + 3, p.c_str() + 7}};
    const Bytes plain = testing::random_bytes(size, size * 31 + n);
    const Bytes coded = bench.encode(n, rec, plain, x);
    ASSERT_EQ(coded.size(), plain.size());
    if (size >= 19) {
      EXPECT_NE(coded, plain);
    }
    EXPECT_EQ(bench.decode(n, rec, coded, x), plain);
  };
  for (int n = 1; n <= 10; ++n) {
    for (bool given : {false, true})
      for (std::size_t size : sizes) round_trip(n, given, size);
    // Two sizes at random, with no relation to the block size.
    round_trip(n, n % 2 == 0, 100000 + g() % 200000);
    round_trip(n, n % 2 == 1, 1000000 + g() % 1000000);
  }
}

TEST(AdditiveTexts, WhichTextsAreUsed) {
  const KeyRecord rec = sample_record();
  const Bytes plain(600, 0);
  Bench bench;
  for (int n = 1; n <= 8; ++n) {
    const std::string own = builtin_text(n, 0);
    EXPECT_EQ(bench.encode(n, rec, plain), bench.encode(n, rec, plain, Texts{{own.c_str()}})) << n;
  }
  // Passing only B replaces only B: the built-in A and C stay in force.
  const std::string a = builtin_text(9, 0), c = builtin_text(9, 2);
  EXPECT_EQ(bench.encode(9, rec, plain, Texts{{nullptr, "B", nullptr}}),
            bench.encode(9, rec, plain, Texts{{a.c_str(), "B", c.c_str()}}));
  // Three given texts enter with one sign, so their order does not matter.
  EXPECT_EQ(bench.encode(10, rec, plain, Texts{{"uno", "dos dos", "tres tres tres"}}),
            bench.encode(10, rec, plain, Texts{{"tres tres tres", "uno", "dos dos"}}));
  // A text over 300 characters is used whole, not cut.
  std::string longer;
  for (int i = 0; i < 1000; ++i) longer.push_back(static_cast<char>('a' + i % 23));
  const std::string cut = longer.substr(0, 300);
  const Bytes coded = bench.encode(3, rec, plain, Texts{{longer.c_str()}});
  EXPECT_NE(coded, bench.encode(3, rec, plain, Texts{{cut.c_str()}}));
  EXPECT_EQ(bench.decode(3, rec, coded, Texts{{longer.c_str()}}), plain);
}

// Independent closed form: byte n gets x + sign * T with
// T = sum(keys) + texts + ring[n % 20] + k + e + r, each taken after n + 1 steps.
struct Closed {
  std::vector<std::pair<int, std::string>> keys;  // sign, key
  std::vector<std::string> texts;
  int rest = +1;  // sign of texts, ring, k, e, r
  std::string ring;
  int k0, ks, e0, es, r0, rs;

  uint8_t term(std::size_t n) const {
    long t = 0;
    for (const auto& [s, key] : keys)
      if (!key.empty()) t += s * static_cast<uint8_t>(key[n % key.size()]);
    long rest_sum = static_cast<uint8_t>(ring[n % 20]);
    for (const auto& x : texts)
      if (!x.empty()) rest_sum += static_cast<uint8_t>(x[n % x.size()]);
    const long m = static_cast<long>(n) + 1;
    rest_sum += ((k0 + m * ks) & 0xFF) + ((e0 + m * es) & 0xFF) + ((r0 + m * rs) & 0xFF);
    return static_cast<uint8_t>(t + rest * rest_sum);
  }
};

std::string ring_of(const KeyRecord& r) { return ecvt10(r.engorde).text + ecvt10(r.desorden).text; }

TEST(AdditiveClosedForm, PassesOneFourFiveAndTenAcrossBlocks) {
  KeyRecord rec = sample_record();
  const std::string ring = ring_of(rec);
  const Bytes plain = testing::random_bytes(3 * 65536 + 4099, 77);
  auto check = [&](const Closed& f, const Bytes& coded) {
    ASSERT_EQ(coded.size(), plain.size());
    for (std::size_t n = 0; n < plain.size(); ++n)
      ASSERT_EQ(coded[n], static_cast<uint8_t>(plain[n] + f.term(n))) << "byte " << n;
  };
  const std::string p = "personal \xE9\xFE";
  Bench bench;
  {
    SCOPED_TRACE("pass 1: x + clave1 + P + ring + (n + 1) + engorde digit 1 + desorden digit 1");
    Closed f{{{+1, rec.clave1}}, {p}, +1, ring, 0, 1, ring[0], 0, ring[10], 0};
    check(f, bench.encode(1, rec, plain, Texts{{p.c_str()}}));
  }
  {
    SCOPED_TRACE("pass 4: the desorden term falls by 3 per byte");
    Closed f{{{+1, rec.clave4}, {+1, rec.clave1}}, {builtin_text(4, 0)}, +1, ring, 22, 49, ring[3], 25,
             ring[13], -3};
    check(f, bench.encode(4, rec, plain));
  }
  {
    SCOPED_TRACE("pass 5: the counter falls by 19 per byte");
    Closed f{{{+1, rec.clave5}, {+1, rec.clave3}, {+1, rec.clave4}}, {p}, +1, ring, 198, -19,
             ring[4], 27, ring[14], 112};
    check(f, bench.encode(5, rec, plain, Texts{{p.c_str()}}));
  }
  {
    SCOPED_TRACE("pass 10 with only clave10 and empty texts: x - (clave10 + ring + k + e + r)");
    KeyRecord only = rec;
    for (int k = 1; k <= 9; ++k) only.clave(k).clear();
    Closed f{{{-1, only.clave10}}, {}, -1, ring, 10, -1, ring[9], -1, ring[19], -1};
    check(f, bench.encode(10, only, plain, Texts{{"", "", ""}}));
  }
}

TEST(AdditiveClosedForm, RingAndKeyPeriods) {
  KeyRecord rec;
  rec.clave1 = "\xC8";
  rec.engorde = 1234567890;
  rec.desorden = 9876543.21;
  Bench bench;
  const Bytes zeros(70000, 0);
  {
    // Encoding zeros gives T itself. Pass 1 with a one-byte key and an empty
    // text: T(n + 20) - T(n) is the counter's 20 steps only.
    const Bytes t = bench.encode(1, rec, zeros, Texts{{""}});
    ASSERT_EQ(t.size(), zeros.size());
    bool ring_moves = false;
    for (std::size_t n = 0; n + 20 < t.size(); ++n) {
      ASSERT_EQ(static_cast<uint8_t>(t[n + 20] - t[n]), 20) << n;
      ring_moves |= static_cast<uint8_t>(t[n + 1] - t[n]) != 1;
    }
    EXPECT_TRUE(ring_moves);
  }
  {
    // Pass 6 with only clave6 (64 characters), a flat ring and an empty
    // text: the three steps add 68 per byte, 64 * 68 = 0 modulo 256, so the
    // output repeats every 64 bytes and nowhere sooner.
    KeyRecord flat;
    for (int i = 0; i < 64; ++i) flat.clave6.push_back(static_cast<char>(0x41 + (i * 7) % 60 + (i % 2) * 0x80));
    const Bytes t = bench.encode(6, flat, zeros, Texts{{""}});
    ASSERT_EQ(t.size(), zeros.size());
    for (std::size_t n = 0; n + 64 < t.size(); ++n) ASSERT_EQ(t[n + 64], t[n]) << n;
    for (std::size_t i = 0; i < 64; ++i) {
      const unsigned expected = static_cast<uint8_t>(flat.clave6[i]) + 3 * '0' + 7 + (i + 1) * 68;
      EXPECT_EQ(t[i], static_cast<uint8_t>(expected)) << i;
    }
  }
}

TEST(AdditiveFrame, EmptyGoverningKeyIsAPlainCopyInBothDirections) {
  const KeyRecord full = sample_record();
  const Bytes plain = testing::random_bytes(3000, 5);
  Bench bench;
  for (int n = 1; n <= 10; ++n) {
    SCOPED_TRACE(n);
    KeyRecord rec = full;
    rec.clave(n).clear();
    EXPECT_EQ(bench.encode(n, rec, plain), plain);
    const std::string from = bench.encoding_input(n);
    EXPECT_EQ(bench.console,
              "  Chars de 3000 chars iniciales de  " + from + "\ncopiando ficheros con 3000  Chars de 3000 chars iniciales ");
    EXPECT_EQ(bench.decode(n, rec, plain), plain);
    EXPECT_EQ(bench.console, "\n copiando ficheros con 3000 chars de 3000 chars iniciales ");
  }
}

TEST(AdditiveFrame, ExactConsoleOfEncodingAndDecodingPasses) {
  const KeyRecord rec = sample_record();
  const Bytes five = {1, 2, 3, 4, 5};
  Bench bench;
  const std::string names = bench.origin + " en el Destino " + bench.destination + "\n";

  bench.encode(3, rec, five);
  EXPECT_EQ(bench.console, "\nCodificando el fichero :_" + names + "\n\xB7OK!..Codificado clave 3  con 5 bytes \n");
  bench.encode(10, rec, {});
  EXPECT_EQ(bench.console, "\nCodificando el fichero :_" + names + "\n\xB7OK!..Codificado clave 10  con 0 bytes \n");
  bench.decode(7, rec, five);
  EXPECT_EQ(bench.console, "\nDecodificando el fichero :_" + names + "\n\xB7OK!..Decodificado clave 7 con 5 bytes \n");
  bench.decode(2, rec, five);
  EXPECT_EQ(bench.console, "\nDecodificando el fichero :_" + names +
                               "\n\xB7OK!..Decodificado clave 2 con 5 bytes \n"
                               "\nBorrando Ficheros Temporales, Espere un Momento Porfavor......\n");

  // Decoding pass 1 checks its size against what decoding pass 11 left.
  decodifica d(bench.origin.c_str(), bench.destination.c_str());
  static_cast<KeyRecord&>(d) = rec;
  d.tamano = 5;
  bench.run(d, 1, {}, bench.first, bench.destination, five);
  const std::string ok1 = "\nDecodificando el fichero :_" + names + "\n\xB7OK!..Decodificado clave 1 con 5 bytes \n";
  const std::string bye = "\nEspere un Momento Porfavor, Borrando Ficheros Temporales....\n";
  EXPECT_EQ(bench.console, ok1 + bye);
  d.tamano = 7;
  bench.run(d, 1, {}, bench.first, bench.destination, five);
  EXPECT_EQ(bench.console, ok1 +
                               "\n\xB7" "ATENCION HAY UN ERROR EN LA CODIFICACION!__PROBABLEMENTE NO HAY SUFICIENTE ESPACIO EN EL DISCO___"
                               "\nSE HAN PERDIDO 2 BYTES. ESTA CODIFICACION TIENE QUE DESECHARLA" + bye);
  EXPECT_EQ(d.tamano, 7u);  // decoding never stores a size
}

TEST(AdditiveFrame, EncodingPassTwoChecksWhatPassOneMeasured) {
  const KeyRecord rec = sample_record();
  Bench bench;
  codifica c(bench.origin.c_str(), bench.destination.c_str());
  static_cast<KeyRecord&>(c) = rec;
  const Bytes plain = testing::random_bytes(1000, 3);
  bench.run(c, 1, {}, bench.origin, bench.first, plain);
  EXPECT_EQ(c.tamano, 1000u);

  ConsoleCapture cap;
  c.codifica_clave2(nullptr, bench.first.c_str(), bench.second.c_str());
  EXPECT_EQ(cap.text().find("ATENCION"), std::string::npos);

  // The first work file lost a byte on its way: pass 2 says so.
  std::filesystem::resize_file(bench.first, 999);
  cap.clear();
  c.codifica_clave2(nullptr, bench.first.c_str(), bench.second.c_str());
  EXPECT_NE(cap.text().find("\n\xB7OK!..Codificado clave 2  con 999 bytes \n\n\xB7" "ATENCION HAY UN ERROR"),
            std::string::npos);
  EXPECT_NE(cap.text().find("SE HAN PERDIDO 1 BYTES."), std::string::npos);
}

TEST(AdditiveFailures, UnopenableInputOrOutputIsReportedAndNothingClaimsSuccess) {
  const KeyRecord rec = sample_record();
  Bench bench;
  const std::string report_tail = " no puede Abrirse \n Error no se ha abierto el archivo para ";
  const std::string names = "\n el Archivo " + bench.origin + " o " + bench.destination;
  {
    // The origin is missing; the output is still created, as it is opened first.
    codifica c(bench.origin.c_str(), bench.destination.c_str());
    static_cast<KeyRecord&>(c) = rec;
    ConsoleCapture cap;
    EXPECT_EQ(c.codifica_clave1(nullptr, bench.first.c_str(), bench.second.c_str()), 1);
    EXPECT_EQ(cap.text(), names + report_tail + "codificar\n");
    EXPECT_TRUE(std::filesystem::exists(bench.first));
    EXPECT_EQ(c.tamano, 0u);
  }
  {
    // The output is a directory.
    std::filesystem::create_directory(bench.second);
    testing::write_file(bench.first, testing::random_bytes(100, 1));
    decodifica d(bench.origin.c_str(), bench.destination.c_str());
    static_cast<KeyRecord&>(d) = rec;
    ConsoleCapture cap;
    EXPECT_EQ(d.decodifica_clave3(nullptr, bench.first.c_str(), bench.second.c_str()), 1);
    EXPECT_EQ(cap.text(), names + report_tail + "decodificar\n");
    EXPECT_EQ(testing::read_file(bench.first).size(), 100u);  // the input is left alone
    std::filesystem::remove(bench.second);
  }
  if (std::filesystem::exists("/dev/full")) {
    // Every write fails: the pass must not report the bytes as done.
    testing::write_file(bench.first, testing::random_bytes(200000, 2));
    decodifica d(bench.origin.c_str(), "/dev/full");
    static_cast<KeyRecord&>(d) = rec;
    d.tamano = 200000;
    ConsoleCapture cap;
    EXPECT_EQ(d.decodifica_clave1(nullptr, bench.first.c_str(), bench.second.c_str()), 1);
    EXPECT_EQ(cap.text().find("OK!"), std::string::npos);
    EXPECT_NE(cap.text().find("\nError Copiando en Disco\n"), std::string::npos);
  }
}

}  // namespace
}  // namespace qvx
