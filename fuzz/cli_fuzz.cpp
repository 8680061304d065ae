// The engine's whole command-line run with arbitrary parameters 2 to 20
// (parameter 1 is the fixture's key book; the input, split at newlines,
// gives the rest). It must end with one of its statuses.
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "MAIN_vuriv_2025/cli.h"
#include "console/console.h"
#include "engine_fixture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static qvxfuzz::Sandbox sandbox;
  sandbox.clear();
  qvxfuzz::lay_out_fixture();

  std::vector<std::string> params = {"qvx7", "k.kb"};
  std::string current;
  for (std::size_t i = 0; i < size && params.size() < 21; ++i) {
    if (data[i] == '\n') {
      params.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  if (params.size() < 21) params.push_back(current);
  std::vector<char*> argv;
  for (auto& p : params) {
    qvxfuzz::confine(p);
    argv.push_back(p.data());
  }
  argv.push_back(nullptr);

  std::istringstream no_input;
  std::ostringstream shown;
  con::bind(no_input, shown);
  const int status = qvx::run_engine(static_cast<int>(params.size()), argv.data());
  con::restore();
  if (status != 0 && (status < 2 || status > 8)) std::abort();
  return 0;
}
