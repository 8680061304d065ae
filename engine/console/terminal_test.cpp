#include "console/terminal.h"

#include <gtest/gtest.h>

namespace con {
namespace {

std::string shown(std::string_view latin1, bool final, std::size_t* used = nullptr) {
  std::string out;
  const std::size_t n = latin1_for_terminal(latin1, out, final);
  if (used) *used = n;
  return out;
}

// The engine's Latin-1 becomes UTF-8; a name that is already UTF-8 (from a
// UTF-8 command line) is not encoded twice.
TEST(TerminalText, Latin1ShownInUtf8AndUtf8NamesKept) {
  EXPECT_EQ(shown("\xBFLo Creo Nuevo? n\xBA \xB7\xB7", true), "\xC2\xBFLo Creo Nuevo? n\xC2\xBA \xC2\xB7\xC2\xB7");
  EXPECT_EQ(shown("Fichero: a\xC3\xB1o.kb \xE2\x82\xAC", true), "Fichero: a\xC3\xB1o.kb \xE2\x82\xAC");
  // Malformed or overlong sequences are Latin-1 text.
  EXPECT_EQ(shown("\xC3(\xC0\xAF\xED\xA0\x80", true), "\xC3\x83(\xC3\x80\xC2\xAF\xC3\xAD\xC2\xA0\xC2\x80");
  // A character cut by a full buffer waits for its end; at a flush it is text.
  std::size_t used = 0;
  EXPECT_EQ(shown("ab\xE2\x82", false, &used), "ab");
  EXPECT_EQ(used, 2u);
  EXPECT_EQ(shown("ab\xE2\x82", true, &used), "ab\xC3\xA2\xC2\x82");
  EXPECT_EQ(used, 4u);
}

}  // namespace
}  // namespace con
