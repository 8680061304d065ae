#include "console/console.h"

#include <gtest/gtest.h>

#include "console_capture.h"
#include "testutil.h"

namespace qvx {
namespace {

using qvx::testing::ConsoleCapture;

TEST(Console, LineShapeAndLatin1Bytes) {
  ConsoleCapture cap;
  con::line("\xBFLo Creo Nuevo?");
  con::repeat('\xB7', 3);
  EXPECT_EQ(cap.text(), "\n\xBFLo Creo Nuevo?\n\xB7\xB7\xB7");
}

TEST(Console, WordsCharsAndNumbers) {
  ConsoleCapture cap("  codifica  x\n -17 12abc 99999999999 s\n rest of line\nnext");
  std::string w;
  EXPECT_EQ(con::word(w, 3), con::Got::ok);
  EXPECT_EQ(w, "cod");  // the rest of an over-long word is dropped, not read next
  char c = 0;
  EXPECT_EQ(con::ch(c), con::Got::ok);
  EXPECT_EQ(c, 'x');
  int32_t n = 5;
  EXPECT_EQ(con::number(n), con::Got::ok);
  EXPECT_EQ(n, -17);
  EXPECT_EQ(con::number(n), con::Got::bad);  // never a stale value taken for input
  EXPECT_EQ(n, -17);
  EXPECT_EQ(con::number(n), con::Got::bad);  // out of 32-bit range
  EXPECT_EQ(con::ch(c), con::Got::ok);
  con::discard_line();
  con::discard_line();
  EXPECT_EQ(con::word(w, 100), con::Got::ok);
  EXPECT_EQ(w, "next");
  EXPECT_EQ(con::word(w, 100), con::Got::eof);
  EXPECT_EQ(con::ch(c), con::Got::eof);
  EXPECT_EQ(con::number(n), con::Got::eof);
  EXPECT_TRUE(con::at_eof());
}

TEST(Console, NumbersAreReadAsWholeWords) {
  const std::string zeros(70, '0');
  ConsoleCapture cap(zeros + "1 -" + zeros + "7 1" + zeros + " +2147483648");
  int32_t n = 5;
  EXPECT_EQ(con::number(n), con::Got::ok);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(con::number(n), con::Got::ok);
  EXPECT_EQ(n, -7);
  EXPECT_EQ(con::number(n), con::Got::bad);  // long, but never wrapped into range
  EXPECT_EQ(con::number(n), con::Got::bad);
  EXPECT_EQ(n, -7);
}

TEST(Console, RealNumbers) {
  ConsoleCapture cap("-12.5 7 inf x");
  double d = 0;
  EXPECT_EQ(con::real(d), con::Got::ok);
  EXPECT_EQ(d, -12.5);
  EXPECT_EQ(con::real(d), con::Got::ok);
  EXPECT_EQ(d, 7.0);
  EXPECT_EQ(con::real(d), con::Got::bad);
  EXPECT_EQ(con::real(d), con::Got::bad);
  EXPECT_EQ(con::real(d), con::Got::eof);
}

TEST(Console, ClearingARedirectedScreenWritesNothing) {
  ConsoleCapture cap;
  con::cls();
  EXPECT_EQ(cap.text(), "");
}

}  // namespace
}  // namespace qvx
