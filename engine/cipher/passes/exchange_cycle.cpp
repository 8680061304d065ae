#include "cipher/passes/exchange_cycle.h"

#include <algorithm>

namespace qvx {

unsigned char* ExchangeCycle::add_block(std::size_t length, std::size_t front) {
  const std::size_t at = pattern_.size();
  const std::size_t rest = length - front;
  if (front > 0) moves_.push_back({at, at + rest, front});
  if (rest > 0) moves_.push_back({at + front, at, rest});
  pattern_.resize(at + length);
  starts_.push_back(pattern_.size());
  first_moves_.push_back(moves_.size());
  return pattern_.data() + at;
}

void ExchangeCycle::finish() {
  constexpr std::size_t kWidth = simd::kGatherWidth;
  gathers_.clear();
  const std::size_t length = pattern_.size();
  if (length < kWidth) return;
  std::vector<simd::Gather> gathers;
  std::size_t m = 0;  // the move the stretch starts in
  for (std::size_t at = 0;; at += kWidth) {
    // The last stretch ends at the cycle's end, over the one before it.
    at = std::min(at, length - kWidth);
    while (moves_[m].to + moves_[m].length <= at) ++m;
    simd::Gather g{};
    g.at = static_cast<uint32_t>(at);
    for (std::size_t k = m; k < moves_.size() && moves_[k].to < at + kWidth; ++k) {
      // A stretch over more than three moves: the cycle stays move by move.
      if (g.runs == 3) return;
      const std::size_t lane = std::max(moves_[k].to, at) - at;
      g.lane[g.runs] = static_cast<uint8_t>(lane);
      g.from[g.runs] = static_cast<int32_t>(moves_[k].from + (at + lane - moves_[k].to)) - static_cast<int32_t>(lane);
      ++g.runs;
    }
    gathers.push_back(g);
    if (at + kWidth == length) break;
  }
  gathers_ = std::move(gathers);
}

void ExchangeCycle::apply(const unsigned char* src, unsigned char* dst, std::size_t count) const {
  // Gathers read up to 31 bytes around a cycle: the first and the last
  // cycle go move by move.
  const std::size_t len = length();
  if (!gathered() || count < 3) {
    simd::add_moves(dst, src, pattern_.data(), moves_.data(), moves_.size(), count, len);
    return;
  }
  simd::add_moves(dst, src, pattern_.data(), moves_.data(), moves_.size());
  simd::add_gathers(dst + len, src + len, pattern_.data(), gathers_.data(), gathers_.size(), count - 2, len);
  const std::size_t last = (count - 1) * len;
  simd::add_moves(dst + last, src + last, pattern_.data(), moves_.data(), moves_.size());
}

void ExchangeCycle::apply_blocks(const unsigned char* src, unsigned char* dst, std::size_t first,
                                 std::size_t end) const {
  // A block's moves stay inside it: each is placed from the first block's start.
  const std::size_t base = starts_[first];
  for (std::size_t k = first_moves_[first]; k < first_moves_[end]; ++k) {
    const simd::Move& m = moves_[k];
    const simd::Move here{0, 0, m.length};
    simd::add_moves(dst + (m.to - base), src + (m.from - base), pattern_.data() + m.to, &here, 1);
  }
}

}  // namespace qvx
