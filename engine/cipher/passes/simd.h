// Byte-wise additions modulo 256 over long runs: all the arithmetic the
// passes do on the data. Each kernel has a portable body (GCC vector
// extensions: SSE2 on every x86-64, plain code on other processors) and,
// on x86-64 outside Windows, an AVX2 body chosen once, at the first call,
// when the processor has it.
#pragma once

#include <cstddef>

namespace qvx::simd {

// data[i] += tables[0][i] + ... + tables[count - 1][i], modulo 256.
// REQUIRES: every table holds at least n bytes; none overlaps data.
void add_tables(unsigned char* data, std::size_t n, const unsigned char* const* tables, std::size_t count);
// data[i] -= the same sum.
void subtract_tables(unsigned char* data, std::size_t n, const unsigned char* const* tables, std::size_t count);
// dst[i] = src[i] + add[i]. REQUIRES: dst is src, or they do not overlap.
void add_into(unsigned char* dst, const unsigned char* src, const unsigned char* add, std::size_t n);

// One contiguous move of an exchange cycle.
struct Move {
  std::size_t to, from, length;
};
// For each move: dst[to + i] = src[from + i] + add[to + i], i < length;
// the same again for each of `cycles` cycles `stride` bytes further on in
// dst and src (add stays). Move by move, so that a move's loop runs with
// the same length cycle after cycle.
// REQUIRES: dst and src do not overlap.
void add_moves(unsigned char* dst, const unsigned char* src, const unsigned char* add, const Move* moves,
               std::size_t count, std::size_t cycles = 1, std::size_t stride = 0);

// Which bodies run: the best the processor has, or the portable ones
// (tests run both and compare).
enum class Kernels { best, portable };
void use(Kernels k);
// "avx2" or "portable": what runs now.
const char* in_use();

}  // namespace qvx::simd
