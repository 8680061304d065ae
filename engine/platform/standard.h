// Standard input and output as a run's data (`-` as source or
// destination): plain transfers on descriptors 0 and 1, in binary mode.
#pragma once

#include <cstddef>

namespace qvx::standard {

constexpr int kInput = 0;
constexpr int kOutput = 1;

// A terminal (a console on Windows): no place for encoded data.
bool is_terminal(int fd);
// Bytes pass unchanged (Windows would otherwise turn line ends).
void set_binary(int fd);
// Up to `n` bytes as they come; 0 at the end of the input. Sets `failed`
// on an error.
std::size_t read_some(int fd, unsigned char* dst, std::size_t n, bool& failed);
// All `n` bytes, or false (a closed pipe, a full disk).
bool write_all(int fd, const unsigned char* src, std::size_t n);

}  // namespace qvx::standard
