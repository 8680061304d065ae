// The significant digits of a number, exactly as the C library's ecvt gives
// them with 10 digits: rounded, padded with '0', no sign, point or exponent.
// The engine stores and derives its keys from these digits, so they must
// match that function on every platform we build for. Where rounding
// carries past the tenth digit (9.9999999999) the C library hands back an
// eleventh '0'; we keep ten digits, which is what every stored record and
// every key derivation expects, and the same point position.
#pragma once

#include <string>

namespace qvx {

struct Digits {
  std::string text;  // always 10 digit characters
  int decpt = 0;     // digits before the decimal point
  bool negative = false;

  int value(int i) const { return text[static_cast<std::size_t>(i)] - '0'; }  // 0-based, i < 10
  char code(int i) const { return text[static_cast<std::size_t>(i)]; }
};

// Non-finite values have no digits: they give ten '0' and a point position
// of 0, so the slot text, the digit ring and the block lengths stay defined.
Digits ecvt10(double v);

}  // namespace qvx
