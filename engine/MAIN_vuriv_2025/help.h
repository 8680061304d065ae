#pragma once

namespace qvx {

// The three help screens of the command line.
void show_help();

}  // namespace qvx
