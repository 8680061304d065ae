#include <iostream>
#include <string>
#include <vector>

#include "MAIN_vuriv_2025/cli.h"
#include "MAIN_vuriv_2025/options.h"
#include "console/terminal.h"
#include "platform/system.h"

int main(int argc, char** argv) {
  qvx::sys::keep_memory_private();
  std::ios::sync_with_stdio(false);
  con::attach_terminal();
  // Paths arrive in UTF-8 there; the personalization texts (parameters 7
  // to 20) keep the bytes of the system's own code page (platform/system.h).
  if (qvx::sys::utf8_over_system_code_page()) {
    std::vector<std::string> texts(static_cast<std::size_t>(argc));
    std::vector<char*> args(argv, argv + argc);
    // Options in front shift the parameters; texts read from a file are
    // Latin-1 bytes already.
    const int shift = qvx::option_words(argc, argv);
    for (int k = 7 + shift; k < argc && k <= 20 + shift; ++k) {
      texts[k] = qvx::sys::in_system_code_page(argv[k]);
      args[k] = texts[k].data();
    }
    return qvx::run_engine(argc, args.data());
  }
  return qvx::run_engine(argc, argv);
}
