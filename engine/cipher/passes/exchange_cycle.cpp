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
  const unsigned char* pattern = pattern_.data();
  for (std::size_t k = 0; k < count; ++k, src += length(), dst += length())
    simd::add_moves(dst, src, pattern, moves_.data(), moves_.size());
}

}  // namespace qvx
