#include "cipher/passes/exchange_cycle.h"

namespace qvx {

unsigned char* ExchangeCycle::add_block(std::size_t length, std::size_t front) {
  const std::size_t at = pattern_.size();
  const std::size_t rest = length - front;
  if (front > 0) moves_.push_back({at, at + rest, front});
  if (rest > 0) moves_.push_back({at + front, at, rest});
  pattern_.resize(at + length);
  return pattern_.data() + at;
}

void ExchangeCycle::apply(const unsigned char* src, unsigned char* dst, std::size_t count) const {
  simd::add_moves(dst, src, pattern_.data(), moves_.data(), moves_.size(), count, length());
}

}  // namespace qvx
