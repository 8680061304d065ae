// The planner against the one-pass-at-a-time path: random key records,
// texts, left-out passes, confirmation files and sizes, both directions.
// The fused sweep (runs of additive passes as one keystream, exchange
// cycles precomputed) with the vector and with the portable kernels, the
// same without the keystream rule, on two threads, a plan cut at every
// stage that would hold more than a few bytes (so spills and seeking
// stages run), the same with every spill behind positional stages kept
// (not recomputed), the sweeps on two threads as two segments of the
// output (one taking over part of the other's) and as halves of the
// chain, and every pass on its own through
// the work files with seeks must agree on every output byte and every
// console byte. Pass 11's clock is fixed so its filler agrees too.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>

#include "cipher/run/planner.h"
#include "cipher/passes/chain_threads.h"
#include "cipher/passes/simd.h"
#include "console/console.h"
#include "console_capture.h"
#include "testutil.h"

namespace qvx {
namespace {

using namespace qvx::testing;
namespace fs = std::filesystem;

uint32_t fixed_clock() { return 1234567; }

// Printable, any byte, short or empty; or, for a whole record, keys whose
// bytes from 0x80 on make blocks of gigabytes (every exchange pass all tail).
std::string random_key(std::mt19937_64& g, bool high) {
  const int kind = static_cast<int>(g() % 4);
  if (kind == 3) return "";
  if (high) {
    std::string k;
    for (std::size_t i = 0, n = 6 + g() % 59; i < n; ++i)
      k.push_back(static_cast<char>(i % 3 == 0 ? 0x20 + g() % 95 : 0x80 + g() % 128));
    return k;
  }
  const std::size_t n = kind == 2 ? 1 + g() % 5 : 6 + g() % 59;
  std::string k;
  for (std::size_t i = 0; i < n; ++i)
    k.push_back(static_cast<char>(kind == 0 ? 0x20 + g() % 95 : 1 + g() % 255));
  return k;
}

// Ten digits, now and then a zero among them (a pass that copies instead).
double random_number(std::mt19937_64& g) {
  std::string digits(1, static_cast<char>('1' + g() % 9));
  for (int i = 1; i < 10; ++i) digits.push_back(static_cast<char>(g() % 6 == 0 ? '0' : '1' + g() % 9));
  const double v = std::stod(digits) * std::pow(10.0, static_cast<double>(g() % 24) - 14);
  return g() % 3 == 0 ? -v : v;
}

struct Case {
  KeyRecord record;
  RunParameters params;
  std::string texts[8 + 6];
  Bytes plain;
  Bytes confirmation;
  bool confirmed = false;
};

Case random_case(uint64_t seed) {
  std::mt19937_64 g(seed);
  Case c;
  const bool high = g() % 4 == 0;
  for (int k = 1; k <= 10; ++k) c.record.clave(k) = random_key(g, high);
  c.record.engorde = random_number(g);
  c.record.desorden = random_number(g);
  c.record.signo = static_cast<int32_t>(g() % 2);
  static constexpr int32_t kPoints[] = {-1, 0, 1, 1, 2, 3};
  c.record.posicion = kPoints[g() % 6];
  for (int i = 0; i < 14; ++i) c.texts[i] = std::string(g() % 40, static_cast<char>('a' + g() % 26));
  const char** slots[14] = {&c.params.text[0], &c.params.text[1], &c.params.text[2], &c.params.text[3],
                            &c.params.text[4], &c.params.text[5], &c.params.text[6], &c.params.text[7],
                            &c.params.abc9[0], &c.params.abc9[1], &c.params.abc9[2], &c.params.abc10[0],
                            &c.params.abc10[1], &c.params.abc10[2]};
  for (int i = 0; i < 14; ++i) *slots[i] = g() % 2 ? c.texts[i].c_str() : nullptr;
  c.params.run9 = g() % 2;
  c.params.run10 = g() % 2;
  const uint64_t size = seed % 5 == 0 ? g() % (2u << 20) : seed % 5 == 1 ? g() % 64 : g() % 70000;
  c.plain = random_bytes(size, seed);
  c.confirmed = g() % 2;
  // Empty, shorter or longer than the data.
  const uint64_t around = size + g() % 100;
  c.confirmation = random_bytes(g() % 3 == 0 ? 0 : around < 50 ? 0 : around - 50, seed + 1);
  return c;
}

struct Outcome {
  std::string console;
  Bytes output;
  bool placed = false;
};

class PlannerAgreement : public ::testing::Test {
 protected:
  void SetUp() override { set_filler_clock(fixed_clock); }
  void TearDown() override {
    set_filler_clock(nullptr);
    set_plan_rules({});
    simd::use(simd::Kernels::best);
  }

  Outcome run(Direction d, const Case& c, const PlanRules& rules, const std::string& source) {
    set_plan_rules(rules);
    base book;
    static_cast<KeyRecord&>(book) = c.record;
    book.libro = true;
    book.fichero = dir.file("k.kb");
    book.registro = 1;
    RunParameters p = c.params;
    p.confirmation = c.confirmed ? conf.c_str() : nullptr;
    const std::string out = dir.file("out.bin");
    Outcome o;
    {
      ConsoleCapture console;
      o.placed = d == Direction::encode ? encode_from_command_line(book, source.c_str(), out.c_str(), p, work)
                                        : decode_from_command_line(book, source.c_str(), out.c_str(), p, work);
      o.console = console.text();
    }
    o.output = read_file(out);
    fs::remove(out);
    EXPECT_FALSE(fs::exists(work.first));
    EXPECT_FALSE(fs::exists(work.second));
    return o;
  }

  // The same run by every plan; returns the fused one's outcome.
  Outcome agree(Direction d, const Case& c, const std::string& source) {
    const Outcome fused = run(d, c, {kHoldBound, true, kOneThread}, source);
    const Outcome uncombined = run(d, c, {kHoldBound, true, kOneThread, false}, source);
    const Outcome two = run(d, c, {kHoldBound, true, 0}, source);
    const Outcome halves = run(d, c, {kHoldBound, true, 0, true, true, false}, source);
    // The segment that ends first takes over whatever the other has left.
    const Outcome taken = run(d, c, {kHoldBound, true, 0, true, true, true, 1}, source);
    const Outcome cut = run(d, c, {64, true, 0}, source);
    const Outcome spilled = run(d, c, {64, true, 0, true, false}, source);
    const Outcome apart = run(d, c, {0, false, kOneThread}, source);
    simd::use(simd::Kernels::portable);
    const Outcome portable = run(d, c, {kHoldBound, true, kOneThread}, source);
    const Outcome portable_two = run(d, c, {kHoldBound, true, 0}, source);
    simd::use(simd::Kernels::best);
    EXPECT_TRUE(fused.placed);
    for (const Outcome* o : {&uncombined, &two, &halves, &taken, &cut, &spilled, &apart, &portable, &portable_two}) {
      EXPECT_EQ(o->placed, fused.placed);
      EXPECT_TRUE(o->console == fused.console) << "consoles differ from byte "
                                              << std::mismatch(o->console.begin(), o->console.end(),
                                                               fused.console.begin(), fused.console.end())
                                                         .first -
                                                     o->console.begin()
                                              << ":\n" << o->console.substr(0, 4000);
      EXPECT_TRUE(o->output == fused.output) << "outputs differ";
    }
    return fused;
  }

  TempDir dir;
  WorkFiles work{dir.file("qvx01.qvx"), dir.file("qvx02.qvx")};
  std::string conf = dir.file("conf.bin");
};

TEST_F(PlannerAgreement, RandomRecordsSizesAndParametersBothDirections) {
  // The new paths must have run, not just agreed: count the cases that
  // took each (as the planner describes its stages).
  int keystream = 0, cycles = 0, tails = 0, recomputed = 0, ahead = 0;
  const uint64_t segmented = segmented_chains(), taken_over = taken_over_chains();
  const auto sweeps = [&](const Case& c, Direction d, bool recompute) {
    set_plan_rules({64, true, 0, true, recompute});
    const std::string how = describe_run(c.record, d, c.plain.size(), c.params);
    set_plan_rules({});
    ahead += how.find("destination (with seeks)") != std::string::npos;
    std::size_t n = 0;
    for (std::size_t at = how.find(" -> ["); at != std::string::npos; at = how.find(" -> [", at + 1)) ++n;
    return n;
  };
  for (uint64_t seed = 1; seed <= 16; ++seed) {
    SCOPED_TRACE(seed);
    const Case c = random_case(seed);
    const std::string how = describe_run(c.record, Direction::encode, c.plain.size(), c.params);
    keystream += how.find("  1-") != std::string::npos;
    cycles += how.find("cycles of") != std::string::npos;
    tails += how.find("; 13-") != std::string::npos;
    for (const Direction d : {Direction::encode, Direction::decode})
      recomputed += sweeps(c, d, true) < sweeps(c, d, false);
    write_file(dir.file("plain.bin"), c.plain);
    write_file(conf, c.confirmation);
    const Outcome enc = agree(Direction::encode, c, dir.file("plain.bin"));
    write_file(dir.file("enc.bin"), enc.output);
    const Outcome dec = agree(Direction::decode, c, dir.file("enc.bin"));
    EXPECT_TRUE(dec.output == c.plain) << "no round trip";
  }
  EXPECT_GT(keystream, 0);
  EXPECT_GT(cycles, 0);
  EXPECT_GT(tails, 0);
  EXPECT_GT(recomputed, 0);
  EXPECT_GT(ahead, 0);
  EXPECT_GT(segmented_chains() - segmented, 20u);
  EXPECT_GT(taken_over_chains() - taken_over, 2u);
}

// Pass 22 with a printable key, on pieces that cut its blocks: with the
// bound low, its blocks are written ahead, through pass 23, at offsets.
TEST_F(PlannerAgreement, BlocksCutByPiecesWrittenAhead) {
  Case c = random_case(3);
  c.record.clave(10) = "Una clave imprimible para el paso 22";
  c.plain = random_bytes(700000, 3);
  c.confirmed = true;
  c.confirmation = random_bytes(400000, 4);
  set_plan_rules({64, true, 0});
  const std::string how = describe_run(c.record, Direction::encode, c.plain.size(), c.params);
  set_plan_rules({});
  EXPECT_NE(how.find("22 23] -> destination (with seeks)"), std::string::npos) << how;
  write_file(dir.file("plain.bin"), c.plain);
  write_file(conf, c.confirmation);
  const Outcome enc = agree(Direction::encode, c, dir.file("plain.bin"));
  write_file(dir.file("enc.bin"), enc.output);
  EXPECT_TRUE(agree(Direction::decode, c, dir.file("enc.bin")).output == c.plain) << "no round trip";
}

}  // namespace
}  // namespace qvx
