// The byte kernels, both bodies, against plain loops: every length up to a
// few vectors (the short moves and the ends take their own branches), up
// to nine tables, misaligned starts, cycles gathered and moved.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "cipher/passes/exchange_cycle.h"
#include "cipher/passes/simd.h"

namespace qvx {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes noise(std::mt19937& g, std::size_t n) {
  Bytes b(n);
  for (auto& c : b) c = static_cast<unsigned char>(g());
  return b;
}

class Kernels : public ::testing::TestWithParam<simd::Kernels> {
 protected:
  void SetUp() override { simd::use(GetParam()); }
  void TearDown() override { simd::use(simd::Kernels::best); }
};

TEST_P(Kernels, TablesAddAndSubtractTheirSum) {
  std::mt19937 g(1);
  for (std::size_t n = 0; n <= 100; ++n) {
    for (std::size_t count = 0; count <= 9; ++count) {
      std::vector<Bytes> tables;
      std::vector<const unsigned char*> at;
      for (std::size_t t = 0; t < count; ++t) tables.push_back(noise(g, n + 3));
      for (std::size_t t = 0; t < count; ++t) at.push_back(tables[t].data() + t % 3);
      const Bytes data = noise(g, n + 1);
      Bytes want = data;
      for (std::size_t i = 0; i < n; ++i)
        for (std::size_t t = 0; t < count; ++t) want[1 + i] = static_cast<unsigned char>(want[1 + i] + at[t][i]);
      Bytes got = data;
      simd::add_tables(got.data() + 1, n, at.data(), count);
      ASSERT_EQ(got, want) << n << " " << count;
      simd::subtract_tables(got.data() + 1, n, at.data(), count);
      ASSERT_EQ(got, data) << n << " " << count;
    }
  }
}

TEST_P(Kernels, MovesLandWhereTheySayWithTheirPattern) {
  std::mt19937 g(2);
  for (int round = 0; round < 300; ++round) {
    // Moves that fill the output in order, from anywhere in the source.
    std::vector<simd::Move> moves;
    std::size_t to = 0;
    const std::size_t src_size = 200;
    for (int k = 0, count = static_cast<int>(g() % 6); k < count; ++k) {
      const std::size_t length = g() % 80;
      moves.push_back({to, g() % (src_size - length), length});
      to += length;
    }
    // Several cycles, each `stride` bytes on in the source and the output.
    const std::size_t cycles = 1 + g() % 3, stride = std::max(to, src_size);
    const Bytes src = noise(g, stride * cycles), pattern = noise(g, to);
    Bytes want(stride * cycles), got(stride * cycles);
    for (std::size_t c = 0; c < cycles; ++c)
      for (const auto& m : moves)
        for (std::size_t i = 0; i < m.length; ++i)
          want[c * stride + m.to + i] = static_cast<unsigned char>(src[c * stride + m.from + i] + pattern[m.to + i]);
    simd::add_moves(got.data(), src.data(), pattern.data(), moves.data(), moves.size(), cycles, stride);
    ASSERT_EQ(got, want) << round;
    Bytes in_place = src;
    simd::add_into(in_place.data(), in_place.data(), src.data(), src.size());
    for (std::size_t i = 0; i < src.size(); ++i) ASSERT_EQ(in_place[i], static_cast<unsigned char>(2 * src[i]));
  }
}

// A cycle of blocks, each with its last `front` bytes put first: gathered
// 32 bytes at a time when no stretch takes more than three runs (the first
// and last cycle move by move), move by move otherwise; against a plain loop.
TEST_P(Kernels, CyclesGatheredOrMovedPutEveryBlockFrontFirst) {
  std::mt19937 g(3);
  int gathered = 0, moved = 0;
  for (int round = 0; round < 400; ++round) {
    ExchangeCycle cycle;
    struct Block {
      std::size_t length, front;
      Bytes pattern;
    };
    std::vector<Block> blocks;
    // Long parts (as printable keys make) in most rounds, short ones in some.
    const std::size_t least = round % 4 == 0 ? 1 : 12, spread = round % 4 == 0 ? 20 : 150;
    for (int k = 0, count = 1 + static_cast<int>(g() % 8); k < count; ++k) {
      const std::size_t length = least + g() % spread, front = g() % (length + 1);
      const Bytes pattern = noise(g, length);
      std::copy(pattern.begin(), pattern.end(), cycle.add_block(length, front));
      blocks.push_back({length, front, pattern});
    }
    cycle.finish();
    (cycle.gathered() ? gathered : moved)++;
    const std::size_t len = cycle.length(), cycles = 1 + g() % 5;
    const Bytes src = noise(g, len * cycles);
    Bytes want(len * cycles), got(len * cycles);
    for (std::size_t at = 0; at < want.size();)
      for (const Block& b : blocks) {
        for (std::size_t i = 0; i < b.length; ++i) {
          const std::size_t from = i < b.front ? at + b.length - b.front + i : at + i - b.front;
          want[at + i] = static_cast<unsigned char>(src[from] + b.pattern[i]);
        }
        at += b.length;
      }
    cycle.apply(src.data(), got.data(), cycles);
    ASSERT_EQ(got, want) << round;
  }
  EXPECT_GT(gathered, 100);
  EXPECT_GT(moved, 20);
}

INSTANTIATE_TEST_SUITE_P(Bodies, Kernels, ::testing::Values(simd::Kernels::best, simd::Kernels::portable));

}  // namespace
}  // namespace qvx
