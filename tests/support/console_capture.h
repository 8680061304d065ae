// The console routed through strings, for tests of the layers that talk
// to the user (console and above; testutil.h stays console-free so the
// lowest layers' tests link nothing above them).
#pragma once

#include <sstream>
#include <string>

#include "console/console.h"

namespace qvx::testing {

// Routes the console through strings for the lifetime of the object.
class ConsoleCapture {
 public:
  explicit ConsoleCapture(const std::string& input = "") : in_(input) { con::bind(in_, out_); }
  ~ConsoleCapture() { con::restore(); }
  std::string text() const { return out_.str(); }
  void clear() { out_.str(""); }

 private:
  std::istringstream in_;
  std::ostringstream out_;
};

}  // namespace qvx::testing
