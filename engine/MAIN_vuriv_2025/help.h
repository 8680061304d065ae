#pragma once

namespace qvx {

// The three help screens of the command line.
void show_help();

// `qvx7 --help`: the command line, the work files and the exit statuses on
// one screen, without waiting for a key.
void show_usage();
// `qvx7 --version`.
void show_version();

}  // namespace qvx
