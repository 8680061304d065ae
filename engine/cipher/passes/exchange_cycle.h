// A whole cycle of an exchange pass's blocks, precomputed. With every part
// length above the split (every printable key), the split is the same in
// every block, so where each output byte of a cycle comes from and what is
// added to it depend only on its place in the cycle: the cycle is a few
// contiguous moves, each adding a stretch of one pattern.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cipher/passes/simd.h"

namespace qvx {

class ExchangeCycle {
 public:
  // Appends a block of `length` bytes whose last `front` bytes go first.
  // Returns where the caller writes the block's additive pattern, `length`
  // bytes in output order. REQUIRES: front <= length.
  unsigned char* add_block(std::size_t length, std::size_t front);

  // Once every block is in: works out, where it can, 32 bytes at a time
  // gathered from at most three runs, instead of move by move.
  void finish();

  std::size_t length() const { return pattern_.size(); }
  bool gathered() const { return !gathers_.empty(); }
  // `count` whole cycles from `src` to `dst` (count * length() bytes each).
  // REQUIRES: the two do not overlap.
  void apply(const unsigned char* src, unsigned char* dst, std::size_t count = 1) const;
  // Blocks `first` up to `end` of a cycle, from `src` to `dst`, both at the
  // start of block `first`: what a piece holds of a cycle it cuts.
  // REQUIRES: first <= end <= blocks(); the two do not overlap.
  void apply_blocks(const unsigned char* src, unsigned char* dst, std::size_t first, std::size_t end) const;
  std::size_t blocks() const { return starts_.size() - 1; }
  // Where block `i` starts in the cycle (the cycle's length for blocks()).
  std::size_t start(std::size_t i) const { return starts_[i]; }

 private:
  std::vector<simd::Move> moves_;
  std::vector<simd::Gather> gathers_;
  std::vector<unsigned char> pattern_;
  // Per block and one past the last: its start, its first move.
  std::vector<std::size_t> starts_{0}, first_moves_{0};
};

}  // namespace qvx
