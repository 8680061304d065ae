#include <iostream>

#include "MAIN_vuriv_2025/cli.h"
#include "console/terminal.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  con::attach_terminal();
  return qvx::run_engine(argc, argv);
}
