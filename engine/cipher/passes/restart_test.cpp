// A stage restarted part-way (the second segment of a chain) hands on, from
// where it says it starts, exactly what the same stage fed from byte 0
// hands on there: for every family whose state is worked out rather than
// carried (pass 11's filler draws replayed, pass 12's windows, an exchange
// pass's blocks, cycles and alternating splits), in both directions, at
// random points, with the input cut into random pieces.
#include <gtest/gtest.h>

#include <random>

#include "cipher/passes/pass_stages.h"
#include "testutil.h"

namespace qvx {
namespace {

using namespace qvx::testing;

uint32_t fixed_clock() { return 7654321; }

class Collect : public Sink {
 public:
  void take(unsigned char* data, std::size_t n) override { got.insert(got.end(), data, data + n); }
  Bytes got;
};

// `in` from `from` on, in pieces of 1 to 3000 bytes.
void feed(Stage& s, const Bytes& in, uint64_t from, std::mt19937_64& g) {
  Bytes piece;
  for (uint64_t at = from; at < in.size();) {
    const auto n = static_cast<std::size_t>(std::min<uint64_t>(1 + g() % 3000, in.size() - at));
    piece.assign(in.begin() + static_cast<std::ptrdiff_t>(at), in.begin() + static_cast<std::ptrdiff_t>(at + n));
    s.take(piece.data(), n);
    at += n;
  }
  s.end();
}

// The key kinds whose blocks differ in shape: printable (every part above
// the split: precomputed cycles), bytes 1 to 20 (parts at or below it, so
// the split goes to 0 and back) and a mix.
// Kind 3: seven columns of parts no longer than pass 18's split, which
// then goes to 0 and back block by block, so cycle by cycle too.
std::string exchange_key(std::mt19937_64& g, int kind) {
  std::string k;
  for (std::size_t i = 0, n = kind == 3 ? 21 : 6 + g() % 59; i < n; ++i)
    k.push_back(static_cast<char>(kind == 0   ? 0x20 + g() % 95
                                  : kind == 1 ? 1 + g() % 20
                                  : kind == 2 ? 1 + g() % 126
                                              : 1 + g() % 16));
  return k;
}

template <class Make>
void check_restarts(Make make, const Bytes& in, std::mt19937_64& g) {
  Collect whole;
  const auto full = make(in.size());
  ASSERT_TRUE(full->restartable());
  full->connect(&whole);
  feed(*full, in, 0, g);
  ASSERT_EQ(whole.got.size(), full->out_size());
  for (int k = 0; k < 6; ++k) {
    const uint64_t want = k == 0 ? full->out_size() : g() % (full->out_size() + 1);
    SCOPED_TRACE("restart for output byte " + std::to_string(want));
    Collect part;
    const auto s = make(in.size());
    s->connect(&part);
    uint64_t out_at = 0;
    const uint64_t in_at = s->restart(want, out_at);
    ASSERT_LE(out_at, want);
    ASSERT_LE(in_at, in.size());
    feed(*s, in, in_at, g);
    EXPECT_EQ(s->taken(), in.size());
    EXPECT_EQ(s->given(), full->out_size());
    EXPECT_TRUE(Bytes(whole.got.begin() + static_cast<std::ptrdiff_t>(out_at), whole.got.end()) == part.got);
  }
}

TEST(Restart, EveryShapeOfStageHandsOnWhatAWholeRunDoes) {
  set_filler_clock(fixed_clock);
  std::mt19937_64 g(42);
  for (int round = 0; round < 32; ++round) {
    SCOPED_TRACE(round);
    const Bytes in = random_bytes(g() % 60000, round);
    for (const bool enc : {true, false}) {
      codifica e("o", "d");
      decodifica d("o", "d");
      coder& c = enc ? static_cast<coder&>(e) : d;
      // Every pass with every kind of key, then pass 18 with kind 3.
      const int pass = round < 30 ? 13 + round / 3 : 18;
      c.clave(pass - 12) = exchange_key(g, round < 30 ? round % 3 : 3);
      // Blocks of a few to a few thousand bytes, filler of 1 to 9.
      c.engorde = static_cast<double>(1000000000 + g() % 9000000000);
      c.desorden = static_cast<double>(1000000000 + g() % 9000000000);
      c.signo = static_cast<int32_t>(g() % 2);
      c.posicion = static_cast<int32_t>(g() % 3);
      check_restarts([&](uint64_t n) { return exchange_stage(c, pass, n); }, in, g);
      check_restarts([&](uint64_t n) { return growth_stage(c, n); }, in, g);
      check_restarts([&](uint64_t n) { return disorder_stage(c, n); }, in, g);
    }
  }
  set_filler_clock(nullptr);
}

}  // namespace
}  // namespace qvx
