#include "cipher/passes/exchange.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <random>

#include "cipher/passes/pass_stages.h"
#include "cipher/passes/phrases.h"
#include "console_capture.h"
#include "testutil.h"

namespace qvx {
namespace {

using namespace qvx::testing;

// Straightforward model of one pass, byte at a time on memory: the block
// start is base + off(i) with each block's parts summed in 32 bits, and a
// split above the second part is cut to it.
Bytes model(int pass, const std::string& key, const std::string& K, const Bytes& in, bool enc) {
  const ExchangeConstants& k = exchange_constants(pass);
  if (key.size() < 6) return in;
  uint32_t tab[3][22] = {};
  for (std::size_t n = 0; n < key.size(); ++n) tab[n % 3][n / 3] = uint32_t(int32_t(int8_t(key[n])));
  auto c = [&](int i) { return tab[0][i]; };
  auto a = [&](int i) { return tab[1][i]; };
  auto b = [&](int i) { return tab[2][i]; };
  const uint64_t N = in.size();
  Bytes out;
  auto emit = [&](uint64_t from, uint64_t len, uint32_t counter) {
    std::size_t j = 1;
    uint8_t p = counter & 0xFF;
    for (uint64_t t = 0; t < len; ++t) {
      const uint8_t x = in[from + t], add = uint8_t(p + K[j]);
      out.push_back(enc ? uint8_t(x + add) : uint8_t(x - add));
      if (++j == K.size()) j = 0;
      p = uint8_t(p + k.step);
    }
  };
  uint64_t base = 0, off[22] = {}, Q = 0;
  int i = 0;
  uint32_t s = k.split;
  for (;;) {
    if (i > 21 || a(i) == 0 || b(i) == 0) {
      base = base + off[i - 1] + a(i - 1) + b(i - 1);
      i = 0;
    }
    s = s < std::min(a(i), b(i)) ? k.split : 0;
    off[i] = 0;
    for (int t = 0; t < i; ++t) off[i] += uint32_t(a(t) + b(t));
    const uint64_t P = base + off[i];
    if (N < P + s || N < P + a(i) + b(i) + s) break;
    const uint32_t e = std::min(s, b(i));
    if (enc) {
      emit(P + a(i) + e, b(i) - e, c(i));
      emit(P, a(i) + e, c(i));
    } else {
      emit(P + b(i) - e, a(i) + e, c(i));
      emit(P, b(i) - e, c(i));
    }
    Q = P + a(i) + b(i);
    ++i;
  }
  emit(Q, N - Q, c(i));
  return out;
}

// Runs one pass through its work files; checks it reads and writes the right one.
struct Bench {
  TempDir dir;
  std::string first = dir.file("qvx01.qvx"), second = dir.file("qvx02.qvx");

  Bytes run(int pass, bool enc, const std::string& key, const Bytes& in, const std::string* phrase = nullptr,
            std::size_t chunk = kExchangeChunk) {
    const bool reads_first = (pass % 2 == 0) == enc;
    write_file(reads_first ? first : second, in);
    std::remove((reads_first ? second : first).c_str());
    ConsoleCapture quiet;
    codifica e("o", "d");
    decodifica d("o", "d");
    coder& c = enc ? static_cast<coder&>(e) : d;
    c.clave(pass - 12) = key;
    EXPECT_EQ(run_exchange(c, pass, first.c_str(), second.c_str(), phrase ? *phrase : builtin_phrase(pass), chunk), 1);
    EXPECT_EQ(c.tamano, in.size());
    return read_file(reads_first ? second : first);
  }
};

TEST(Exchange, Vectors) {
  Bench bench;
  int seen = 0;
  for (const Entry& v : load_vectors("passes.txt")) {
    const int pass = std::stoi(get(v, "pass"));
    if (pass < 13 || pass > 22) continue;
    ++seen;
    SCOPED_TRACE("pass " + std::to_string(pass) + " " + get(v, "note"));
    const std::string key = as_string(from_hex(get(v, "clave" + std::to_string(pass - 12))));
    const std::string phrase = as_string(from_hex(get(v, "phrase")));
    const Bytes in = from_hex(get(v, "input")), out = from_hex(get(v, "output"));
    EXPECT_EQ(bench.run(pass, true, key, in, &phrase), out);
    EXPECT_EQ(bench.run(pass, false, key, out, &phrase), in);
    EXPECT_EQ(model(pass, key, phrase, in, true), out);
  }
  EXPECT_EQ(seen, 32);
}

TEST(Exchange, BuiltInPhrases) {
  for (const auto& k : kExchangeTable) {
    const std::string p = builtin_phrase(k.pass);
    EXPECT_EQ(p.size(), k.phrase_length);
    EXPECT_TRUE(std::all_of(p.begin(), p.end(), [](char ch) { return std::isalnum((unsigned char)ch) || ch == ' '; }));
  }
}

// Random key bytes, without the NUL that would end the key.
std::string random_key(std::size_t n, uint64_t seed) {
  Bytes b = random_bytes(n, seed);
  std::replace(b.begin(), b.end(), uint8_t{0}, uint8_t{1});
  return as_string(b);
}

// Pure additive transform of a whole input kept in place (the tail rule).
Bytes tail_only(int pass, uint8_t counter, const Bytes& in) {
  const std::string K = builtin_phrase(pass);
  Bytes out(in.size());
  for (std::size_t t = 0; t < in.size(); ++t)
    out[t] = uint8_t(in[t] + counter + t * exchange_constants(pass).step + K[(1 + t) % K.size()]);
  return out;
}

TEST(Exchange, KeyLengthsAndCycles) {
  Bench bench;
  const Bytes in = random_bytes(5000, 1);
  const std::string k64 = random_key(64, 2);
  std::string printable64;
  for (int n = 0; n < 64; ++n) printable64 += char(0x21 + (n * 37) % 94);
  // Five characters copy; characters that fill no complete column are unused,
  // so 7 and 8 characters cut like 6 (cycles of 2 blocks) and 64 like 63.
  EXPECT_EQ(bench.run(15, true, "ABCDE", in), in);
  const Bytes six = bench.run(15, true, "ABCDEF", in);
  EXPECT_EQ(bench.run(15, true, "ABCDEFG", in), six);
  EXPECT_EQ(bench.run(15, true, "ABCDEFGH", in), six);
  EXPECT_EQ(bench.run(15, true, "ABCDEFABCDEF", in), six);
  EXPECT_NE(bench.run(15, true, "ABCDEFGHI", in), six);
  EXPECT_EQ(six, model(15, "ABCDEF", builtin_phrase(15), in, true));
  EXPECT_EQ(bench.run(15, true, printable64.substr(0, 63), in), bench.run(15, true, printable64, in));
  EXPECT_EQ(bench.run(15, true, printable64, in), model(15, printable64, builtin_phrase(15), in, true));
  EXPECT_EQ(bench.run(15, true, k64, in), model(15, k64, builtin_phrase(15), in, true));
}

TEST(Exchange, WhereTheBlockPhaseEnds) {
  Bench bench;
  const Bytes in = random_bytes(600, 3);
  // Pass 13 (S = 1), first block 'B' + 'C' = 133 bytes.
  const std::string key = "ABCDEFGHI";
  auto first = [&](std::size_t n) { return Bytes(in.begin(), in.begin() + n); };
  EXPECT_EQ(bench.run(13, true, key, first(100)), tail_only(13, 'A', first(100)));
  // Ending exactly at the input's end leaves no byte for the split: all tail.
  EXPECT_EQ(bench.run(13, true, key, first(133)), tail_only(13, 'A', first(133)));
  // One byte more and the block is exchanged: its last 'C' - 1 bytes lead.
  const Bytes x = bench.run(13, true, key, first(134));
  const Bytes lead = tail_only(13, 'A', Bytes(in.begin() + 'B' + 1, in.begin() + 133));
  EXPECT_TRUE(std::equal(lead.begin(), lead.end(), x.begin()));
  EXPECT_EQ(x, model(13, key, builtin_phrase(13), first(134), true));
  // A byte from 0x80 in row 1 or 2 is a part of over 4e9 bytes: from that
  // block on everything is tail, with that block's counter.
  EXPECT_EQ(bench.run(13, true, "A\x90" "CDEF", in), tail_only(13, 'A', in));
  const Bytes high = bench.run(13, true, "ABCDE\xFF", in);
  EXPECT_EQ(high, model(13, "ABCDE\xFF", builtin_phrase(13), in, true));
  const Bytes rest = tail_only(13, 'D', Bytes(in.begin() + 133, in.end()));
  EXPECT_TRUE(std::equal(rest.begin(), rest.end(), high.begin() + 133));
}

TEST(Exchange, SplitAboveSecondPart) {
  Bench bench;
  // Pass 14 (S = 10): block 0 has parts 5 and 3, so the split falls to 0;
  // block 1 (parts 'P' and 4) then gets S = 10 > 4 and keeps its order.
  const std::string key = std::string("A\x05\x03" "B") + "P\x04";
  const Bytes in = random_bytes(200, 4);
  const Bytes x = bench.run(14, true, key, in);
  EXPECT_EQ(x, model(14, key, builtin_phrase(14), in, true));
  const Bytes kept = tail_only(14, 'B', Bytes(in.begin() + 8, in.begin() + 8 + 'P' + 4));
  EXPECT_TRUE(std::equal(kept.begin(), kept.end(), x.begin() + 8));
  EXPECT_EQ(bench.run(14, false, key, x), in);
}

TEST(Exchange, RoundTrips) {
  Bench bench;
  std::string printable;
  for (int n = 0; n < 40; ++n) printable += char(0x20 + (n * 53) % 95);
  const std::vector<std::string> keys = {
      "k3y!Zq", printable, random_key(64, 5), "\x01\x02\x03\x10\x0f\x01\x07\x08\x09",
      "\x81\x7f\x80\xfe\x01\xff\x05\x06\x07", "abc"};
  for (const auto& k : kExchangeTable) {
    for (std::size_t ki = 0; ki < keys.size(); ++ki) {
      for (std::size_t n : {0, 1, 2, 199, 200, 201, 1234}) {
        SCOPED_TRACE("pass " + std::to_string(k.pass) + " key " + std::to_string(ki) + " size " + std::to_string(n));
        const Bytes in = random_bytes(n, n * 31 + ki);
        const Bytes x = bench.run(k.pass, true, keys[ki], in);
        ASSERT_EQ(x.size(), n);
        EXPECT_EQ(bench.run(k.pass, false, keys[ki], x), in);
        if (n > 200 && ki + 1 < keys.size()) {
          EXPECT_NE(x, in);
        }
      }
    }
  }
  // Around the stream's 64 KiB blocks and a few MiB, with the per-block
  // buffer shrunk below every block length to drive the streaming path too.
  for (std::size_t n : {65535, 65536, 65537, 2 * 1024 * 1024 + 77}) {
    const Bytes in = random_bytes(n, n);
    const std::string p = builtin_phrase(18);
    const Bytes x = bench.run(18, true, printable, in);
    EXPECT_EQ(bench.run(18, true, printable, in, &p, 61), x);
    EXPECT_EQ(bench.run(18, false, printable, x, &p, 61), in);
    EXPECT_EQ(bench.run(18, false, printable, x), in);
  }
}

class Collect : public Sink {
 public:
  void take(unsigned char* data, std::size_t n) override { got.insert(got.end(), data, data + n); }
  Bytes got;
};

// Pieces that cut a precomputed cycle anywhere: the blocks of a cycle a
// piece holds only part of go straight from the cycle, up to the block
// the piece cuts and up to where the blocks end (the last needs the
// split's bytes behind it), whatever the sizes around a cycle's end.
TEST(Exchange, PiecesCutCyclesAnywhere) {
  std::mt19937_64 g(11);
  for (int round = 0; round < 40; ++round) {
    const int pass = 13 + round % 10;
    std::string key;
    for (std::size_t i = 0, n = 6 + g() % 59; i < n; ++i) key.push_back(static_cast<char>(0x21 + g() % 94));
    uint64_t cycle = 0;
    for (std::size_t i = 0; i + 2 < key.size(); i += 3) cycle += uint8_t(key[i + 1]) + uint8_t(key[i + 2]);
    const uint64_t split = exchange_constants(pass).split;
    // Around the end of a whole number of cycles, and anywhere.
    const uint64_t n = round % 2 ? cycle * (1 + g() % 4) + split + g() % 5 - 2 : g() % 20000;
    const Bytes in = random_bytes(n, round);
    for (const bool enc : {true, false}) {
      SCOPED_TRACE("pass " + std::to_string(pass) + " size " + std::to_string(n) + (enc ? " encoding" : " decoding"));
      codifica e("o", "d");
      decodifica d("o", "d");
      coder& c = enc ? static_cast<coder&>(e) : d;
      c.clave(pass - 12) = key;
      Collect out;
      const auto stage = exchange_stage(c, pass, n);
      stage->connect(&out);
      Bytes piece;
      for (uint64_t at = 0; at < n;) {
        const auto m = static_cast<std::size_t>(std::min<uint64_t>(1 + g() % (2 * cycle), n - at));
        piece.assign(in.begin() + static_cast<std::ptrdiff_t>(at), in.begin() + static_cast<std::ptrdiff_t>(at + m));
        stage->take(piece.data(), m);
        at += m;
      }
      stage->end();
      ASSERT_EQ(out.got, model(pass, key, builtin_phrase(pass), in, enc));
    }
  }
}

TEST(Exchange, Console) {
  TempDir dir;
  const std::string first = dir.file("a"), second = dir.file("b");
  write_file(second, std::string("0123456789"));
  codifica e("orig.txt", "dest.txt");
  e.clave1 = "ABCDEF";
  {
    ConsoleCapture cap;
    e.codifica_clave13(first.c_str(), second.c_str());
    EXPECT_EQ(cap.text(), "\nCodificando el fichero :_orig.txt en el Destino dest.txt\n"
                          "\n\xB7" "OK!..Codificado clave 13  con 10 bytes \n");
  }
  EXPECT_EQ(e.paso, 13);
  decodifica d("orig.txt", "dest.txt");
  d.clave1 = "ABCDEF";
  ConsoleCapture cap;
  d.decodifica_clave13(first.c_str(), second.c_str());
  EXPECT_EQ(cap.text(), "\nDECodificando el fichero :_orig.txt en el Destino dest.txt\n"
                        "\n\xB7" "OK!..DECodificado clave 13  con 10 bytes \n");
  EXPECT_EQ(read_file(second), Bytes({'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}));
  EXPECT_EQ(d.paso, 0);
  cap.clear();
  d.decodifica_clave13(dir.file("missing").c_str(), second.c_str());
  EXPECT_EQ(cap.text(), "\n el Archivo orig.txt o dest.txt no puede Abrirse \n"
                        " Error no se ha abierto el archivo para codificar\n");
}

TEST(Exchange, FullDiskIsReported) {
  if (!file_exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TempDir dir;
  write_file(dir.file("b"), random_bytes(100, 6));
  codifica e("o", "d");
  e.clave1 = "ABCDEF";
  ConsoleCapture cap;
  e.codifica_clave13("/dev/full", dir.file("b").c_str());
  EXPECT_NE(cap.text().find("con 100 bytes \n\n\xB7" "ATENCION HAY UN ERROR"), std::string::npos) << cap.text();
  EXPECT_NE(cap.text().find("SE HAN PERDIDO 100 BYTES."), std::string::npos);
}

}  // namespace
}  // namespace qvx
