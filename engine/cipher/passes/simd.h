// Byte-wise additions modulo 256 over long runs: all the arithmetic the
// passes do on the data. Each kernel has a portable body (GCC vector
// extensions: SSE2 on every x86-64, plain code on other processors) and,
// on x86-64 outside Windows, an AVX2 body chosen once, at the first call,
// when the processor has it.
#pragma once

#include <cstddef>
#include <cstdint>

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

// 32 bytes of a cycle's output gathered from up to three runs of its
// input: lanes lane[r] up to lane[r + 1] (or 32, for the last run) take
// src[from[r] + lane]. A run's 32-byte load may start up to 31 bytes
// before the cycle or end as far after it; only the lanes of the run are
// kept.
constexpr std::size_t kGatherWidth = 32;
struct Gather {
  uint32_t at;              // where the 32 bytes go, and their pattern is
  int32_t from[3];          // source of lane 0 of each run's load
  uint8_t runs;             // 1 to 3
  uint8_t lane[3];          // first lane of each run; lane[0] is 0
};
// For each gather: dst[at + i] = src[from[r] + i] + add[at + i] for the
// lanes i of each run r; the same for each of `cycles` cycles `stride`
// bytes further on in dst and src.
// REQUIRES: 31 bytes before src and after its last cycle can be read;
// dst and src do not overlap.
void add_gathers(unsigned char* dst, const unsigned char* src, const unsigned char* add, const Gather* gathers,
                 std::size_t count, std::size_t cycles, std::size_t stride);

// Which bodies run: the best the processor has, or the portable ones
// (tests run both and compare).
enum class Kernels { best, portable };
void use(Kernels k);
// "avx2" or "portable": what runs now.
const char* in_use();

}  // namespace qvx::simd
