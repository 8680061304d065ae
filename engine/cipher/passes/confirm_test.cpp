#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>

#include "cipher/passes/coder.h"
#include "console_capture.h"
#include "testutil.h"

namespace qvx {
namespace {

using namespace qvx::testing;

struct Key {
  double engorde;
  double desorden;
  std::array<int, 10> b;  // engorde digit values, worked out by hand
  std::array<int, 10> a;  // desorden digit values
};

const Key kKey{7345210000.0, 1250000000.12, {7, 3, 4, 5, 2, 1, 0, 0, 0, 0}, {1, 2, 5, 0, 0, 0, 0, 0, 0, 0}};
const Key kOther{-0.000123456789, 98765.4321, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0}, {9, 8, 7, 6, 5, 4, 3, 2, 1, 0}};

// The rule byte by byte: the term is f + B - A when the confirmation file
// covers the data, f + A - B when it does not; encoding adds it.
Bytes model(const Key& k, const Bytes& x, const Bytes& conf, bool encode) {
  const bool covers = conf.size() >= x.size();
  Bytes y(x.size());
  for (std::size_t n = 0; n < x.size(); ++n) {
    const int f = n < conf.size() ? conf[n] : conf.empty() ? 0 : conf.back();
    const int rows = k.b[n % 10] - k.a[n % 10];
    const int term = f + (covers ? rows : -rows);
    y[n] = static_cast<unsigned char>(encode ? x[n] + term : x[n] - term);
  }
  return y;
}

std::string dots(int n) { return std::string(static_cast<std::size_t>(n), '\xB7'); }

const std::string kSkip = dots(7) + "...No se Confirma...." + dots(9) + "...gracias....." + dots(6);
const std::string kEncodeQuestion =
    "\n" + dots(4) + " ATENCION " + dots(3) + ". Quiere procesar la clave de confirmacion?: ";
const std::string kDecodeQuestion = "quiere procesar la clave de confirmacion?";
const std::string kAskFile = "\nintroduzca fichero de confirmacion: \n";
const std::string kCannotOpen = "\n" + dots(4) + "imposible abrir fichero!!!!  ___ Introduzcalo de nuevo porfavor: \n";

class Confirm : public ::testing::Test {
 protected:
  TempDir dir;
  std::string first = dir.file("qvx01.qvx");
  std::string second = dir.file("qvx02.qvx");
  std::string origin = dir.file("orig.bin");
  std::string destination = dir.file("dest.bin");
  std::string conf = dir.file("conf.key");

  template <class C>
  C coder_for(const Key& k) {
    C c(origin.c_str(), destination.c_str());
    c.engorde = k.engorde;
    c.desorden = k.desorden;
    return c;
  }

  // Encoding reads the second work file and writes the destination.
  Bytes encode(const Key& k, const Bytes& data, const char* name) {
    codifica c = coder_for<codifica>(k);
    write_file(second, data);
    c.codifica_clave23(name, first.c_str(), second.c_str());
    return read_file(destination);
  }
  Bytes encode_asking(const Key& k, const Bytes& data) {
    codifica c = coder_for<codifica>(k);
    write_file(second, data);
    c.codifica_clave23(first.c_str(), second.c_str());
    return read_file(destination);
  }
  // Decoding reads the origin and writes the second work file.
  Bytes decode(const Key& k, const Bytes& data, const char* name) {
    decodifica d = coder_for<decodifica>(k);
    write_file(origin, data);
    d.decodifica_clave23(name, first.c_str(), second.c_str());
    return read_file(second);
  }
  Bytes decode_asking(const Key& k, const Bytes& data) {
    decodifica d = coder_for<decodifica>(k);
    write_file(origin, data);
    d.decodifica_clave23(first.c_str(), second.c_str());
    return read_file(second);
  }
};

TEST_F(Confirm, StoredVectors) {
  int seen = 0;
  for (const Entry& e : load_vectors("passes.txt")) {
    if (get(e, "pass") != "23") continue;
    ++seen;
    SCOPED_TRACE(get(e, "vector"));
    Key k{std::strtod(get(e, "engorde").c_str(), nullptr), std::strtod(get(e, "desorden").c_str(), nullptr), {}, {}};
    const Bytes input = from_hex(get(e, "input"));
    const Bytes output = from_hex(get(e, "output"));
    write_file(conf, from_hex(get(e, "confirmation")));
    ConsoleCapture con;
    EXPECT_EQ(encode(k, input, conf.c_str()), output);
    EXPECT_EQ(decode(k, output, conf.c_str()), input);
    EXPECT_EQ(con.text(), "");  // the pass keeps quiet when it works
  }
  EXPECT_EQ(seen, 3);
}

// Sizes chosen to cross the pass's internal chunks and the point where the
// confirmation file runs out.
TEST_F(Confirm, LongerEqualAndShorterConfirmationFiles) {
  struct Case {
    std::size_t data, key;
  };
  const Case cases[] = {{40000, 50000}, {40000, 40000}, {100003, 20001}, {70000, 1}, {33, 32}};
  for (const Case& t : cases) {
    SCOPED_TRACE(std::to_string(t.data) + " / " + std::to_string(t.key));
    const Bytes data = random_bytes(t.data, t.data);
    const Bytes key = random_bytes(t.key, t.key + 1);
    write_file(conf, key);
    ConsoleCapture con;
    const Bytes encoded = encode(kKey, data, conf.c_str());
    EXPECT_EQ(encoded, model(kKey, data, key, true));
    EXPECT_EQ(decode(kKey, encoded, conf.c_str()), data);
    EXPECT_EQ(decode(kKey, data, conf.c_str()), model(kKey, data, key, false));
  }
}

TEST_F(Confirm, EmptyInputAndEmptyConfirmationFile) {
  ConsoleCapture con;
  write_file(conf, random_bytes(10, 1));
  write_file(destination, random_bytes(10, 2));  // must be emptied
  EXPECT_TRUE(encode(kKey, {}, conf.c_str()).empty());
  EXPECT_TRUE(std::filesystem::exists(destination));
  // An empty confirmation file gives 0 for every byte; the digit rows still
  // apply, as for any file that does not cover the data.
  write_file(conf, Bytes{});
  const Bytes data = random_bytes(1000, 3);
  const Bytes encoded = encode(kKey, data, conf.c_str());
  EXPECT_EQ(encoded, model(kKey, data, {}, true));
  EXPECT_NE(encoded, data);
  EXPECT_EQ(decode(kKey, encoded, conf.c_str()), data);
  EXPECT_TRUE(encode(kKey, {}, conf.c_str()).empty());
  EXPECT_EQ(con.text(), "");
}

TEST_F(Confirm, WrongOrMissingConfirmationGivesOtherBytes) {
  ConsoleCapture con;
  const Bytes data = random_bytes(5000, 6);
  write_file(conf, random_bytes(6000, 7));
  const Bytes encoded = encode(kKey, data, conf.c_str());
  const std::string other = dir.file("other.key");
  write_file(other, random_bytes(6000, 8));
  EXPECT_NE(decode(kKey, encoded, other.c_str()), data);
  EXPECT_NE(decode(kKey, encoded, nullptr), data);
  EXPECT_NE(decode(kOther, encoded, conf.c_str()), data);
  EXPECT_EQ(decode(kKey, encoded, conf.c_str()), data);
}

TEST_F(Confirm, SkippedByParameter) {
  const Bytes data = random_bytes(5, 9);
  const std::string copy = "  Chars de 5 chars iniciales de  " + second +
                           "\ncopiando ficheros con 5  Chars de 5 chars iniciales ";
  {
    ConsoleCapture con;
    EXPECT_EQ(encode(kKey, data, nullptr), data);
    EXPECT_EQ(con.text(), kSkip + copy);
  }
  {
    ConsoleCapture con;
    const std::string missing = dir.file("missing.key");
    codifica c = coder_for<codifica>(kKey);
    write_file(second, data);
    c.codifica_clave23(missing.c_str(), first.c_str(), second.c_str());
    EXPECT_EQ(read_file(destination), data);
    EXPECT_EQ(con.text(), kSkip + copy);
    EXPECT_STREQ(c.pconfirmacion(), missing.c_str());
  }
  {
    ConsoleCapture con;
    EXPECT_EQ(decode(kKey, data, nullptr), data);
    EXPECT_EQ(con.text().rfind(kSkip, 0), 0u);
  }
}

TEST_F(Confirm, InteractiveAnswers) {
  const Bytes data = random_bytes(3000, 10);
  const Bytes key = random_bytes(700, 11);
  write_file(conf, key);
  const Bytes keyed = model(kKey, data, key, true);

  for (const char* yes : {"s", "S", "si", "Sure"}) {
    ConsoleCapture con(std::string(yes) + "\n" + conf + "\n");
    EXPECT_EQ(encode_asking(kKey, data), keyed) << yes;
    EXPECT_EQ(con.text(), kEncodeQuestion + kAskFile);
  }
  for (const char* no : {"n", "N", "x s", "no", ""}) {
    ConsoleCapture con(std::string(no) + "\n" + conf + "\n");
    EXPECT_EQ(encode_asking(kKey, data), data) << no;
    EXPECT_EQ(con.text().rfind(kEncodeQuestion + kSkip, 0), 0u);
  }
  {
    ConsoleCapture con("  si  " + conf + "\n");
    EXPECT_EQ(decode_asking(kKey, keyed), data);
    EXPECT_EQ(con.text(), kDecodeQuestion + kAskFile);
  }
}

TEST_F(Confirm, InteractiveAsksAgainUntilAFileOpens) {
  const Bytes data = random_bytes(500, 12);
  const Bytes key = random_bytes(50, 13);
  write_file(conf, key);
  const std::string missing = dir.file("missing.key");
  {
    ConsoleCapture con("s " + missing + " " + missing + " " + conf + "\n");
    codifica c = coder_for<codifica>(kKey);
    write_file(second, data);
    c.codifica_clave23(first.c_str(), second.c_str());
    EXPECT_EQ(read_file(destination), model(kKey, data, key, true));
    EXPECT_EQ(con.text(), kEncodeQuestion + kAskFile + kCannotOpen + kAskFile + kCannotOpen + kAskFile);
    EXPECT_STREQ(c.pconfirmacion(), conf.c_str());
  }
  {
    // Input ends while asking: the pass is declined and the data copied.
    ConsoleCapture con("s " + missing);
    EXPECT_EQ(encode_asking(kKey, data), data);
    EXPECT_EQ(con.text().rfind(kEncodeQuestion + kAskFile + kCannotOpen + kAskFile + kSkip, 0), 0u);
  }
}

// Naming the destination as the confirmation file would empty the key
// before it is read: it is treated as a file that cannot be used.
TEST_F(Confirm, DestinationIsNoConfirmationFile) {
  const Bytes data = random_bytes(800, 14);
  {
    ConsoleCapture con;
    write_file(destination, random_bytes(2000, 15));
    EXPECT_EQ(encode(kKey, data, destination.c_str()), data);
    EXPECT_EQ(con.text().rfind(kSkip, 0), 0u);
  }
  {
    const Bytes key = random_bytes(900, 16);
    write_file(conf, key);
    write_file(destination, random_bytes(2000, 15));
    ConsoleCapture con("s " + destination + " " + conf + "\n");
    EXPECT_EQ(encode_asking(kKey, data), model(kKey, data, key, true));
    EXPECT_EQ(con.text(), kEncodeQuestion + kAskFile + kCannotOpen + kAskFile);
  }
}

TEST_F(Confirm, UnopenableFilesTransformNothing) {
  const std::string report =
      "\n el Archivo " + origin + " o " + destination +
      " no puede Abrirse \n Error no se ha abierto el archivo para codificar\n";
  write_file(conf, random_bytes(100, 17));
  {
    ConsoleCapture con;
    codifica c = coder_for<codifica>(kKey);
    c.codifica_clave23(conf.c_str(), first.c_str(), second.c_str());  // no second work file
    EXPECT_EQ(con.text(), report);
    EXPECT_TRUE(read_file(destination).empty());
  }
  {
    ConsoleCapture con;
    decodifica d = coder_for<decodifica>(kKey);
    d.decodifica_clave23(conf.c_str(), first.c_str(), second.c_str());  // no origin
    EXPECT_EQ(con.text(), report);
    EXPECT_TRUE(read_file(second).empty());
  }
  {
    ConsoleCapture con;
    const Bytes data = random_bytes(100, 18);
    write_file(origin, data);
    decodifica d = coder_for<decodifica>(kKey);
    const std::string nowhere = dir.file("no/such/dir");
    d.decodifica_clave23(conf.c_str(), first.c_str(), nowhere.c_str());
    EXPECT_EQ(con.text(), report);
    EXPECT_EQ(read_file(origin), data);
  }
}

TEST_F(Confirm, FullDiskIsReported) {
  ConsoleCapture con;
  write_file(conf, random_bytes(100, 19));
  write_file(second, random_bytes(70000, 20));
  codifica c(origin.c_str(), "/dev/full");
  c.codifica_clave23(conf.c_str(), first.c_str(), second.c_str());
  EXPECT_NE(con.text().find("SE HAN PERDIDO 70000 BYTES"), std::string::npos) << con.text();
}

TEST_F(Confirm, RoundTripsOverManySizes) {
  const std::size_t L = 1000;
  std::vector<std::size_t> sizes{0, 1, L - 1, L, L + 1, 2 * L - 1, 2 * L, 2 * L + 1, 65535, 65536, 65537};
  std::mt19937_64 pick(23);
  for (int i = 0; i < 2; ++i) sizes.push_back(pick() % (3 << 20));
  write_file(conf, random_bytes(L, 21));
  ConsoleCapture con;
  for (const Key& k : {kKey, kOther, Key{0.0, -7.25, {}, {}}})
    for (std::size_t n : sizes) {
      const Bytes data = random_bytes(n, n + 5);
      const Bytes encoded = encode(k, data, conf.c_str());
      ASSERT_EQ(encoded.size(), n);
      ASSERT_EQ(decode(k, encoded, conf.c_str()), data) << n;
    }
  EXPECT_EQ(con.text(), "");
}

}  // namespace
}  // namespace qvx
