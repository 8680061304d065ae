#include <iostream>

#include "MAIN_vuriv_2025/cli.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  return qvx::run_engine(argc, argv);
}
