#include "bookformat/digits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

namespace qvx {
namespace {

TEST(Digits, KnownValues) {
  struct Case { double v; const char* text; int decpt; bool neg; };
  const Case cases[] = {
      {0.0, "0000000000", 1, false},         {0.5, "5000000000", 0, false},
      {12.5, "1250000000", 2, false},        {-3.75, "3750000000", 1, true},
      {1234567890123.0, "1234567890", 13, false}, {1250000000.12, "1250000000", 10, false},
      {7.0, "7000000000", 1, false},         {-0.001234, "1234000000", -2, true},
      // Rounding that carries past the tenth digit keeps ten digits.
      {99999999999.0, "1000000000", 12, false},
  };
  for (const Case& c : cases) {
    Digits d = ecvt10(c.v);
    EXPECT_EQ(d.text, c.text) << c.v;
    EXPECT_EQ(d.decpt, c.decpt) << c.v;
    EXPECT_EQ(d.negative, c.neg) << c.v;
  }
}

TEST(Digits, NonFiniteGiveZeros) {
  EXPECT_EQ(ecvt10(INFINITY).text, "0000000000");
  EXPECT_EQ(ecvt10(NAN).text, "0000000000");
}

#if defined(__GLIBC__)
// The C library is the reference: the first ten digits, the point position
// and the sign must agree over many values, random bit patterns included.
TEST(Digits, AgreesWithTheCLibrary) {
  std::mt19937_64 g(42);
  std::uniform_real_distribution<double> wide(-1e13, 1e13);
  auto check = [](double v) {
    int decpt = 0, sign = 0;
    const char* ref = ::ecvt(v, 10, &decpt, &sign);
    Digits d = ecvt10(v);
    ASSERT_EQ(d.text, std::string(ref).substr(0, 10)) << v;
    ASSERT_EQ(d.decpt, decpt) << v;
    ASSERT_EQ(d.negative, sign != 0) << v;
  };
  for (double v : {0.0, 0.5, 12.5, -3.75, 1234567890123.0, 1250000000.12, 9.9999999995, 5e-324})
    check(v);
  for (int i = 0; i < 200000; ++i) {
    uint64_t bits = g();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (std::isfinite(v)) check(v);
    check(wide(g));
    check(std::round(wide(g)) / 100.0);
  }
}
#endif

}  // namespace
}  // namespace qvx
