#include "bookformat/digits.h"

#include <cfloat>
#include <cmath>
#include <cstdio>

namespace qvx {

Digits ecvt10(double v) {
  Digits r;
  r.negative = std::signbit(v);
  if (!std::isfinite(v)) {
    r.text.assign(10, '0');
    return r;
  }
  // Scale into [1, 10) with a power of ten built by repeated multiplication,
  // then print nine decimals: this is how the C library does it, and its
  // intermediate rounding decides the last digit in rare cases.
  double value = std::fabs(v);
  int exponent = 0;
  if (value != 0.0) {
    double d = value;
    double f = 1.0;
    if (d < 1.0) {
      if (d < DBL_MIN) {  // subnormal: lift into the normal range first
        value *= 1e16;
        d = value;
        exponent += 16;
      }
      do {
        f *= 10.0;
        ++exponent;
      } while (d * f < 1.0);
      value *= f;
    } else if (d >= 10.0) {
      do {
        f *= 10.0;
        --exponent;
      } while (d >= f * 10.0);
      value /= f;
    }
  }
  char buf[400];
  int n = std::snprintf(buf, sizeof buf, "%.9f", value);
  int i = 0;
  while (i < n && buf[i] >= '0' && buf[i] <= '9') r.text.push_back(buf[i++]);
  r.decpt = i;
  for (++i; i < n; ++i) r.text.push_back(buf[i]);
  r.decpt -= exponent;
  r.text.resize(10);  // drop the carry's eleventh digit
  return r;
}

}  // namespace qvx
