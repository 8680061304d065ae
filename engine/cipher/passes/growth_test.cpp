#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cipher/passes/coder.h"
#include "console_capture.h"
#include "testutil.h"

namespace qvx {
namespace {

using namespace qvx::testing;

struct Key {
  double engorde;
  double desorden;
  int32_t signo;
  int32_t posicion;
};

// Lengths worked out by hand from the digits (L11 from the engorde, L12 from
// the desorden; signo and posicion from the desorden for both).
// 7,3,4,5,2 x 3 + 1 = 2521 (g1 7); 1,2,3,4,5 x 3 + 6 = 366 (h1 1).
constexpr Key kWide{7345210000.0, 1234560000.03, 0, 3};
// 3 x 1 = 3 (g1 3); 2 x 1 + 3 = 5 (h1 2).
constexpr Key kNarrow{3111100000.0, 2111130000.0, 0, 1};
// 2 (g1 2); 7 (h1 7: the halves swap).
constexpr Key kSwap{2111100000.0, 7111100000.01, 0, 1};
// Negative desorden, d5 left out: 7,3,4,5 x 3 + 1 = 1261 (g1 7); 9,8,7,6 x 3 + 4 = 9076 (h1 9).
constexpr Key kNegative{7345210000.0, 9876540000.13, 1, 3};
// Blocks wider than the streams' 64 KiB buffer: 9^5 x 2 = 118098 (g1 and h1 9).
constexpr Key kLarge{9999900000.0, 9999900000.0, 0, 2};

template <class C>
C coder_for(const Key& k) {
  C c("orig.bin", "dest.bin");
  c.engorde = k.engorde;
  c.desorden = k.desorden;
  c.signo = k.signo;
  c.posicion = k.posicion;
  return c;
}

class Growth : public ::testing::Test {
 protected:
  TempDir dir;
  std::string first = dir.file("qvx01.qvx");
  std::string second = dir.file("qvx02.qvx");

  Bytes enc11(codifica& c, const Bytes& in) {
    write_file(second, in);
    c.codifica_clave11(first.c_str(), second.c_str());
    return read_file(first);
  }
  Bytes enc12(codifica& c, const Bytes& in) {
    write_file(first, in);
    c.codifica_clave12(first.c_str(), second.c_str());
    return read_file(second);
  }
  Bytes dec12(decodifica& d, const Bytes& in) {
    write_file(second, in);
    d.decodifica_clave12(first.c_str(), second.c_str());
    return read_file(first);
  }
  Bytes dec11(decodifica& d, const Bytes& in) {
    write_file(first, in);
    d.decodifica_clave11(first.c_str(), second.c_str());
    return read_file(second);
  }

  // Encoding 11 and 12, then decoding 12 and 11, as the pipeline runs them.
  void round_trip(const Key& k, const Bytes& data) {
    ConsoleCapture con;
    codifica c = coder_for<codifica>(k);
    write_file(second, data);
    c.codifica_clave11(first.c_str(), second.c_str());
    c.codifica_clave12(first.c_str(), second.c_str());
    decodifica d = coder_for<decodifica>(k);
    d.decodifica_clave12(first.c_str(), second.c_str());
    d.decodifica_clave11(first.c_str(), second.c_str());
    ASSERT_EQ(read_file(second), data) << "size " << data.size();
    EXPECT_EQ(d.tamano, data.size());
    EXPECT_EQ(con.text().find("ATENCION"), std::string::npos) << con.text();
  }
};

Bytes iota(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(i);
  return b;
}

// The window model: output byte i of a 2L window is input byte (i + turn) mod 2L.
Bytes turned(const Bytes& in, std::size_t block, std::size_t turn) {
  Bytes out = in;
  const std::size_t window = 2 * block;
  for (std::size_t w = 0; w < in.size() / block / 2; ++w)
    for (std::size_t i = 0; i < window; ++i) out[w * window + i] = in[w * window + (i + turn) % window];
  return out;
}

// ---- stored vectors ----

std::vector<std::pair<uint64_t, uint64_t>> filler_ranges(const std::string& text) {
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  if (text == "none" || text.empty()) return ranges;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t comma = text.find(',', at);
    if (comma == std::string::npos) comma = text.size();
    const std::string item = text.substr(at, comma - at);
    const std::size_t colon = item.find(':');
    ranges.emplace_back(std::stoull(item.substr(0, colon)), std::stoull(item.substr(colon + 1)));
    at = comma + 1;
  }
  return ranges;
}

Key key_of(const Entry& e) {
  return Key{std::strtod(get(e, "engorde").c_str(), nullptr), std::strtod(get(e, "desorden").c_str(), nullptr),
             std::stoi(get(e, "signo")), std::stoi(get(e, "posicion"))};
}

TEST_F(Growth, StoredVectors) {
  int seen = 0;
  for (const Entry& e : load_vectors("passes.txt")) {
    const std::string pass = get(e, "pass");
    if (pass != "11" && pass != "12") continue;
    ++seen;
    SCOPED_TRACE(get(e, "vector"));
    const Key k = key_of(e);
    const Bytes input = from_hex(get(e, "input"));
    const Bytes expected = from_hex(get(e, "output"));
    ConsoleCapture con;
    codifica c = coder_for<codifica>(k);
    decodifica d = coder_for<decodifica>(k);
    if (pass == "11") {
      Bytes got = enc11(c, input);
      ASSERT_EQ(got.size(), expected.size());
      for (auto [start, length] : filler_ranges(get(e, "filler")))
        for (uint64_t i = start; i < start + length; ++i) got[i] = expected[i];
      EXPECT_EQ(got, expected);
      d.tamano = expected.size();  // as decoding pass 12 leaves it
      EXPECT_EQ(dec11(d, expected), input);
    } else {
      c.tamano = input.size();
      EXPECT_EQ(enc12(c, input), expected);
      EXPECT_EQ(dec12(d, expected), input);
    }
    EXPECT_EQ(con.text().find("ATENCION"), std::string::npos);
  }
  EXPECT_EQ(seen, 8);
}

// ---- layout of pass 11 ----

TEST_F(Growth, FillerFollowsEveryCompleteBlock) {
  struct Case {
    Key key;
    std::size_t block, g1, n;
  };
  const Case cases[] = {
      {kNarrow, 3, 3, 2},          // below L: nothing inserted
      {kNarrow, 3, 3, 12},         // exact multiple: ends with filler
      {kNarrow, 3, 3, 4},          // tail of 1, shorter than g1
      {kNarrow, 3, 3, 1000},
      {kWide, 2521, 7, 2521 * 3},
      {kWide, 2521, 7, 2521 * 2 + 5},
      {kNegative, 1261, 7, 5000},  // d5 left out of the product
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.n);
    ConsoleCapture con;
    const Bytes in = random_bytes(t.n, t.n);
    codifica c = coder_for<codifica>(t.key);
    const Bytes out = enc11(c, in);
    const std::size_t blocks = t.n / t.block;
    ASSERT_EQ(out.size(), t.n + blocks * t.g1);
    EXPECT_EQ(c.tamano, out.size());
    for (std::size_t b = 0; b < blocks; ++b)
      ASSERT_TRUE(std::equal(in.begin() + b * t.block, in.begin() + (b + 1) * t.block,
                             out.begin() + b * (t.block + t.g1)));
    EXPECT_TRUE(std::equal(in.begin() + blocks * t.block, in.end(), out.begin() + blocks * (t.block + t.g1)));
    EXPECT_NE(con.text().find(" aumentado en " + std::to_string(blocks * t.g1) + " bytes"), std::string::npos);

    decodifica d = coder_for<decodifica>(t.key);
    d.tamano = out.size();
    EXPECT_EQ(dec11(d, out), in);
    EXPECT_NE(con.text().find(" Y " + std::to_string(blocks * t.g1) + " !!bytes DE PALO!!"), std::string::npos);
    EXPECT_EQ(d.tamano, t.n);
  }
}

// ---- layout of pass 12 ----

TEST_F(Growth, WindowsTurnAsTheModelSays) {
  struct Case {
    Key key;
    std::size_t block, h1;
  };
  const Case cases[] = {{kNarrow, 5, 2}, {kSwap, 7, 7}, {kWide, 366, 1}, {kLarge, 118098, 9}};
  for (const Case& t : cases) {
    const std::size_t enc_turn = t.h1 < t.block ? t.block + t.h1 : t.block;
    const std::size_t dec_turn = t.h1 < t.block ? t.block - t.h1 : t.block;
    const std::size_t L = t.block;
    for (std::size_t n : {L - 1, L, L + 1, 2 * L - 1, 2 * L, 2 * L + 1, 4 * L, 7 * L + 3, std::size_t{5000}}) {
      SCOPED_TRACE(std::to_string(L) + " / " + std::to_string(n));
      ConsoleCapture con;
      const Bytes in = random_bytes(n, n + L);
      codifica c = coder_for<codifica>(t.key);
      c.tamano = n;
      const Bytes out = enc12(c, in);
      EXPECT_EQ(out, turned(in, L, enc_turn));
      if (n < 2 * L) {
        EXPECT_EQ(out, in);
      }
      decodifica d = coder_for<decodifica>(t.key);
      EXPECT_EQ(turned(out, L, dec_turn), in);  // the model itself undoes
      EXPECT_EQ(dec12(d, out), in);
      EXPECT_EQ(d.tamano, n);
      EXPECT_NE(con.text().find(" Desordenada en " + std::to_string(n / L / 2) + " veces"), std::string::npos);
    }
  }
}

TEST_F(Growth, SwapWhenTheOffsetReachesTheBlock) {
  ConsoleCapture con;
  codifica c = coder_for<codifica>(kSwap);  // L = h1 = 7
  c.tamano = 21;
  const Bytes out = enc12(c, iota(21));
  const Bytes expected{7, 8, 9, 10, 11, 12, 13, 0, 1, 2, 3, 4, 5, 6, 14, 15, 16, 17, 18, 19, 20};
  EXPECT_EQ(out, expected);
}

TEST_F(Growth, NegativeDesordenLeavesTheFifthDigitOut) {
  ConsoleCapture con;
  // Digits 1,1,1,1,3: with d5 L would be 3 and 4 bytes would stay; without
  // it L is 1 and every byte pair swaps. A zero d5 is then no reason to copy.
  for (double desorden : {1111300000.0, 1111000000.0}) {
    codifica c = coder_for<codifica>(Key{1111100000.0, desorden, 1, 1});
    c.tamano = 5;
    EXPECT_EQ(enc12(c, iota(5)), (Bytes{1, 0, 3, 2, 4}));
  }
  codifica c = coder_for<codifica>(Key{1111100000.0, 1111300000.0, 0, 1});
  c.tamano = 5;
  EXPECT_EQ(enc12(c, iota(5)), iota(5));
}

TEST_F(Growth, ProductWrapsAt32Bits) {
  ConsoleCapture con;
  // 2 x -2147483647 wraps to 2: L = 2 and h1 = 2, so 4-byte windows swap halves.
  codifica c = coder_for<codifica>(Key{2111100000.0, 2111100000.0, 0, -2147483647});
  c.tamano = 9;
  EXPECT_EQ(enc12(c, iota(9)), (Bytes{2, 3, 0, 1, 6, 7, 4, 5, 8}));
  // 11 with the same digits: L = 2, g1 = 2.
  EXPECT_EQ(enc11(c, iota(5)).size(), 5u + 2 * 2);

  // -1 reads as 4294967295: a file far below that passes unchanged, yet the
  // pass announces itself and reports (it is not the plain copy).
  con.clear();
  codifica big = coder_for<codifica>(Key{1111100000.0, 1111100000.0, 0, -1});
  big.tamano = 300;
  const Bytes data = random_bytes(300, 1);
  EXPECT_EQ(enc12(big, data), data);
  EXPECT_EQ(enc11(big, data), data);
  const std::string text = con.text();
  EXPECT_NE(text.find("Codificando el fichero :_"), std::string::npos);
  EXPECT_NE(text.find(" Desordenada en 0 veces"), std::string::npos);
  EXPECT_NE(text.find(" aumentado en 0 bytes"), std::string::npos);
  EXPECT_EQ(text.find("copiando ficheros"), std::string::npos);
}

TEST_F(Growth, ZeroFactorCopies) {
  // A zero among the factors, or posicion 0: both passes copy, both ways.
  const Key keys[] = {{1025000000.0, 1025000000.0, 0, 3},
                      {7345210000.0, 1234560000.0, 0, 0},
                      {7345010000.0, 1234060000.0, 0, 3}};  // d5 = 0 counts when signo is 0
  for (const Key& k : keys) {
    ConsoleCapture con;
    const Bytes data = random_bytes(20000, 3);
    codifica c = coder_for<codifica>(k);
    decodifica d = coder_for<decodifica>(k);
    EXPECT_EQ(enc11(c, data), data);
    EXPECT_EQ(c.tamano, data.size());
    EXPECT_EQ(enc12(c, data), data);
    EXPECT_EQ(dec12(d, data), data);
    EXPECT_EQ(dec11(d, data), data);
    const std::string text = con.text();
    EXPECT_EQ(text.find("OK!"), std::string::npos);
    EXPECT_EQ(text.find("Codificando"), std::string::npos);
    EXPECT_NE(text.find("copiando ficheros con 20000"), std::string::npos);
  }
}

// ---- the size field ----

TEST_F(Growth, SizeHandOverAndWarnings) {
  ConsoleCapture con;
  const Bytes data = random_bytes(3000, 9);
  codifica c = coder_for<codifica>(kNarrow);
  write_file(second, data);
  c.codifica_clave11(first.c_str(), second.c_str());
  EXPECT_EQ(c.tamano, 3000u + 1000 * 3);
  c.codifica_clave12(first.c_str(), second.c_str());
  EXPECT_EQ(con.text().find("ATENCION"), std::string::npos);

  // Pass 12 checks what it wrote against what pass 11 said it wrote.
  con.clear();
  c.tamano = 6005;
  c.codifica_clave12(first.c_str(), second.c_str());
  EXPECT_NE(con.text().find("SE HAN PERDIDO 5 BYTES. ESTA CODIFICACION TIENE QUE DESECHARLA"), std::string::npos);

  // Decoding 11 checks output plus filler against decoding 12's size, then
  // leaves its own output size for decoding pass 1.
  con.clear();
  decodifica d = coder_for<decodifica>(kNarrow);
  const Bytes grown = read_file(first);
  d.tamano = grown.size() + 3;
  EXPECT_EQ(dec11(d, grown), data);
  EXPECT_NE(con.text().find("SE HAN PERDIDO 3 BYTES"), std::string::npos);
  EXPECT_EQ(d.tamano, 3000u);
}

TEST_F(Growth, FullDiskIsReported) {
  ConsoleCapture con;
  write_file(first, random_bytes(100000, 4));
  codifica c = coder_for<codifica>(kWide);
  c.tamano = 100000;
  c.codifica_clave12(first.c_str(), "/dev/full");
  const std::string text = con.text();
  EXPECT_NE(text.find("OK!..Codificado clave 12  con 0 bytes "), std::string::npos) << text;
  EXPECT_NE(text.find("SE HAN PERDIDO 100000 BYTES"), std::string::npos);
  // The notice follows whatever the check found.
  EXPECT_NE(text.rfind("Borrando Ficheros Temporales"), std::string::npos);
}

// ---- console bytes ----

TEST_F(Growth, ExactConsoleLines) {
  const std::string start = "\nCodificando el fichero :_orig.bin en el Destino dest.bin\n";
  const std::string notice = "\nBorrando Ficheros Temporales, Espere un Momento Porfavor......\n";
  ConsoleCapture con;
  codifica c = coder_for<codifica>(kNarrow);  // L11 = 3, g1 = 3; L12 = 5
  const Bytes grown = enc11(c, iota(7));
  EXPECT_EQ(con.text(), start + "\n\xB7OK!..Codificado clave 11  con 13 bytes  aumentado en 6 bytes\n" + notice);

  con.clear();
  c.tamano = 10;
  const Bytes mixed = enc12(c, iota(10));
  EXPECT_EQ(con.text(), start + "\n\xB7OK!..Codificado clave 12  con 10 bytes  Desordenada en 1 veces\n" + notice);

  con.clear();
  decodifica d = coder_for<decodifica>(kNarrow);
  EXPECT_EQ(dec12(d, mixed), iota(10));
  EXPECT_EQ(con.text(), start + "\n\xB7OK!..DECodificada clave 12  con 10 bytes  Desordenada en 1 veces\n");

  con.clear();
  d.tamano = 13;
  EXPECT_EQ(dec11(d, grown), iota(7));
  EXPECT_EQ(con.text(),
            "\nDECodificando el fichero :_orig.bin en el Destino dest.bin\n"
            "\n\xB7OK!..DECodificada clave 11  con 7 bytes  Y 6 !!bytes DE PALO!!\n");
}

TEST_F(Growth, UnopenableFilesTransformNothing) {
  const std::string report =
      "\n el Archivo orig.bin o dest.bin no puede Abrirse \n Error no se ha abierto el archivo para codificar\n";
  const std::string nowhere = dir.file("no/such/dir");
  using Pass = int (*)(const char*, const char*);
  // Each pass with its (input, output) in work-file order.
  const Pass passes[] = {
      [](const char* in, const char* out) {
        codifica c = coder_for<codifica>(kNarrow);
        return c.codifica_clave11(out, in);
      },
      [](const char* in, const char* out) {
        codifica c = coder_for<codifica>(kNarrow);
        return c.codifica_clave12(in, out);
      },
      [](const char* in, const char* out) {
        decodifica d = coder_for<decodifica>(kNarrow);
        return d.decodifica_clave12(out, in);
      },
      [](const char* in, const char* out) {
        decodifica d = coder_for<decodifica>(kNarrow);
        return d.decodifica_clave11(in, out);
      },
  };
  const Bytes data = iota(40);
  for (Pass pass : passes) {
    {
      ConsoleCapture con;
      std::remove(first.c_str());
      std::remove(second.c_str());
      EXPECT_EQ(pass(first.c_str(), second.c_str()), 1);  // input missing
      EXPECT_EQ(con.text(), report);
      EXPECT_TRUE(read_file(second).empty());
    }
    {
      ConsoleCapture con;
      write_file(first, data);
      EXPECT_EQ(pass(first.c_str(), nowhere.c_str()), 1);
      EXPECT_EQ(con.text(), report);
      EXPECT_EQ(read_file(first), data);
    }
  }
}

// ---- round trips ----

TEST_F(Growth, RoundTripsOverManySizes) {
  struct Case {
    Key key;
    std::size_t l11, l12, largest;
  };
  const Case cases[] = {
      {kWide, 2521, 366, 3 << 20},
      {kNarrow, 3, 5, 200 << 10},
      {kSwap, 2, 7, 200 << 10},
      {kNegative, 1261, 9076, 2 << 20},
      {kLarge, 118098, 118098, 1 << 20},
  };
  for (const Case& t : cases) {
    std::vector<std::size_t> sizes{0, 1, 65535, 65536, 65537};
    for (std::size_t L : {t.l11, t.l12})
      for (std::size_t n : {L - 1, L, L + 1, 2 * L - 1, 2 * L, 2 * L + 1}) sizes.push_back(n);
    std::mt19937_64 pick(t.largest);
    for (int i = 0; i < 2; ++i) sizes.push_back(pick() % t.largest);
    for (std::size_t n : sizes) round_trip(t.key, random_bytes(n, n * 31 + t.l11));
  }
}

}  // namespace
}  // namespace qvx
