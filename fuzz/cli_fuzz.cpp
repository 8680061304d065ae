// The engine's whole command-line run with arbitrary parameters 2 to 20
// (parameter 1 is the fixture's key book; the input, split at newlines,
// gives the rest). It must end with one of its statuses.
//
// An input whose first byte is below 8 also chooses options by its bits:
// 1 --script, 2 --check, 4 --texts t.txt, the texts file being whatever
// follows the first NUL byte.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
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

  // "-" as source or destination meets an empty standard input and a
  // standard output nobody reads.
  static const bool quiet_streams = [] {
    const int null = ::open("/dev/null", O_RDWR);
    return null >= 0 && ::dup2(null, 0) == 0 && ::dup2(null, 1) == 1;
  }();
  (void)quiet_streams;

  std::vector<std::string> params = {"qvx7"};
  unsigned options = 0;
  if (size > 0 && data[0] < 8) {
    options = data[0];
    ++data;
    --size;
  }
  if (options & 1) params.push_back("--script");
  if (options & 2) params.push_back("--check");
  if (options & 4) {
    const auto* nul = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const std::size_t at = nul ? static_cast<std::size_t>(nul - data) : size;
    qvxfuzz::put_file("t.txt", data + at + (nul ? 1 : 0), nul ? size - at - 1 : 0);
    size = at;
    params.insert(params.end(), {"--texts", "t.txt"});
  }
  const std::size_t first = params.size();
  params.push_back("k.kb");
  std::string current;
  for (std::size_t i = 0; i < size && params.size() < first + 20; ++i) {
    if (data[i] == '\n') {
      params.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  if (params.size() < first + 20) params.push_back(current);
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
  const bool known = (options & 1) ? (status <= 1 || status == 8 || status == 9) : (status == 0 || (status >= 2 && status <= 9));
  if (!known) std::abort();
  return 0;
}
