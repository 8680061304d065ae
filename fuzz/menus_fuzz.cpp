// The console menus fed arbitrary standard input. The first byte chooses
// how the engine is started (no parameter: main menu; the book: key-book
// menu; the book and a record: the same with a record selected); the menus
// must come back with their status, within the fuzzer's time limit.
#include <cstdlib>
#include <sstream>
#include <string>

#include "MAIN_vuriv_2025/cli.h"
#include "console/console.h"
#include "engine_fixture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static qvxfuzz::Sandbox sandbox;
  if (size == 0) return 0;
  sandbox.clear();
  qvxfuzz::lay_out_fixture();

  std::string typed(reinterpret_cast<const char*>(data + 1), size - 1);
  qvxfuzz::confine(typed);
  std::string a0 = "qvx7", a1 = "k.kb", a2 = "1";
  char* argv[] = {a0.data(), a1.data(), a2.data(), nullptr};
  const int argc = 1 + data[0] % 3;
  const int expected[] = {qvx::kMainMenuLeft, qvx::kBookMenuLeft, qvx::kBookMenuWithRecordLeft};

  std::istringstream input(typed);
  std::ostringstream shown;
  con::bind(input, shown);
  const int status = qvx::run_engine(argc, argv);
  con::restore();
  // A record that does not select ends the two-parameter start at once.
  if (status != expected[argc - 1] && !(argc == 3 && status == qvx::kNothingDone)) std::abort();
  return 0;
}
