#include "cipher/passes/simd.h"

#include <atomic>
#include <cstring>
#include <utility>

// The 32-byte vectors exist only inside the AVX2 bodies; passing them by
// value elsewhere would change no ABI we use.
#pragma GCC diagnostic ignored "-Wpsabi"

#if defined(__x86_64__) && !defined(_WIN32) && (defined(__GNUC__) || defined(__clang__))
// mingw's compilers do not keep the stack aligned for 32-byte spills, so
// the Windows build keeps the portable bodies.
#define QVX_AVX2 1
#endif

namespace qvx::simd {
namespace {

using V16 = unsigned char __attribute__((vector_size(16)));
using V32 = unsigned char __attribute__((vector_size(32)));

template <class V>
__attribute__((always_inline)) inline V load(const unsigned char* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class V>
__attribute__((always_inline)) inline void store(unsigned char* p, V v) {
  std::memcpy(p, &v, sizeof v);
}

// Up to eight tables per sweep over the data, which stays in the first
// cache level between sweeps (callers hand it over a few KiB at a time).
// One sweep for all of them: each more sweep loads and stores the data
// once more, where the tables cost a load each either way.
constexpr std::size_t kTablesPerSweep = 8;

template <class V, std::size_t... K>
__attribute__((always_inline)) inline V sum_at(const unsigned char* const* t, std::size_t i,
                                               std::index_sequence<K...>) {
  return (load<V>(t[K] + i) + ...);
}

template <class V, bool Add, std::size_t K>
__attribute__((always_inline)) inline void sweep(unsigned char* d, std::size_t n, const unsigned char* const* t) {
  std::size_t i = 0;
  for (; i + sizeof(V) <= n; i += sizeof(V)) {
    const V sum = sum_at<V>(t, i, std::make_index_sequence<K>{});
    const V x = load<V>(d + i);
    store(d + i, Add ? x + sum : x - sum);
  }
  for (; i < n; ++i) {
    unsigned char sum = 0;
    for (std::size_t k = 0; k < K; ++k) sum = static_cast<unsigned char>(sum + t[k][i]);
    d[i] = static_cast<unsigned char>(Add ? d[i] + sum : d[i] - sum);
  }
}

template <class V, bool Add, std::size_t... K>
__attribute__((always_inline)) inline void sweep_of(std::size_t count, unsigned char* d, std::size_t n,
                                                    const unsigned char* const* t, std::index_sequence<K...>) {
  // The sweep with K + 1 tables, for the count there is.
  ((count == K + 1 ? sweep<V, Add, K + 1>(d, n, t) : void()), ...);
}

template <class V, bool Add>
__attribute__((always_inline)) inline void tables_body(unsigned char* d, std::size_t n, const unsigned char* const* t,
                                                       std::size_t count) {
  for (; count > kTablesPerSweep; count -= kTablesPerSweep, t += kTablesPerSweep)
    sweep<V, Add, kTablesPerSweep>(d, n, t);
  sweep_of<V, Add>(count, d, n, t, std::make_index_sequence<kTablesPerSweep>{});
}

template <class V>
__attribute__((always_inline)) inline void into_body(unsigned char* dst, const unsigned char* src,
                                                     const unsigned char* add, std::size_t n) {
  using V8 = unsigned char __attribute__((vector_size(8)));
  std::size_t i = 0;
  for (; i + sizeof(V) <= n; i += sizeof(V)) store(dst + i, load<V>(src + i) + load<V>(add + i));
  // The moves of a cycle are short: their ends go in halving steps.
  if constexpr (sizeof(V) > 16) {
    if (i + 16 <= n) {
      store(dst + i, load<V16>(src + i) + load<V16>(add + i));
      i += 16;
    }
  }
  if (i + 8 <= n) {
    store(dst + i, load<V8>(src + i) + load<V8>(add + i));
    i += 8;
  }
  for (; i < n; ++i) dst[i] = static_cast<unsigned char>(src[i] + add[i]);
}

// One move of at least sizeof(W) bytes: whole vectors, then one more that
// ends at the move's end and overlaps the last one. Writing the overlap
// twice gives the same bytes, since dst and src are apart.
template <class W>
__attribute__((always_inline)) inline void move_overlapping(unsigned char* dst, const unsigned char* src,
                                                            const unsigned char* add, std::size_t n) {
  std::size_t i = 0;
  for (; i + sizeof(W) <= n; i += sizeof(W)) store(dst + i, load<W>(src + i) + load<W>(add + i));
  if (i < n) {
    const std::size_t last = n - sizeof(W);
    store(dst + last, load<W>(src + last) + load<W>(add + last));
  }
}

template <class V>
__attribute__((always_inline)) inline void moves_body(unsigned char* dst, const unsigned char* src,
                                                      const unsigned char* add, const Move* moves, std::size_t count,
                                                      std::size_t cycles, std::size_t stride) {
  using V8 = unsigned char __attribute__((vector_size(8)));
  for (std::size_t k = 0; k < count; ++k) {
    const Move& m = moves[k];
    unsigned char* d = dst + m.to;
    const unsigned char* s = src + m.from;
    const unsigned char* a = add + m.to;
    const std::size_t n = m.length;
    if (n >= sizeof(V))
      for (std::size_t c = 0; c < cycles; ++c, d += stride, s += stride) move_overlapping<V>(d, s, a, n);
    else if (n >= 16)
      for (std::size_t c = 0; c < cycles; ++c, d += stride, s += stride) move_overlapping<V16>(d, s, a, n);
    else if (n >= 8)
      for (std::size_t c = 0; c < cycles; ++c, d += stride, s += stride) move_overlapping<V8>(d, s, a, n);
    else
      for (std::size_t c = 0; c < cycles; ++c, d += stride, s += stride) into_body<V>(d, s, a, n);
  }
}

// Lanes from l on: kRamp + 32 - l.
alignas(64) constexpr unsigned char kRamp[64] = {
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};

// The lanes of `b` where `mask` is all ones, the rest of `a`. Written with
// ands and ors, the compiler makes three operations that load `a` twice;
// as a select on the mask's sign (`Select`), AVX2 does it in one blend and
// saves the load, and the loads are what bound the gathers. SSE2 has no
// such blend: there the select would only add a compare.
using S32 = signed char __attribute__((vector_size(32)));
template <bool Select>
__attribute__((always_inline)) inline V32 blend(V32 a, V32 b, V32 mask) {
  if constexpr (Select)
    return reinterpret_cast<S32>(mask) < 0 ? b : a;
  else
    return (a & ~mask) | (b & mask);
}

template <class V, int Runs, bool Select>
__attribute__((always_inline)) inline void gather_cycles(unsigned char* d, const unsigned char* s, const Gather& g,
                                                         V pattern, std::size_t count, std::size_t stride) {
  const unsigned char* s0 = s + g.from[0];
  const std::ptrdiff_t to1 = g.from[1] - g.from[0], to2 = g.from[2] - g.from[0];
  const V m1 = Runs > 1 ? load<V>(kRamp + kGatherWidth - g.lane[1]) : V{};
  const V m2 = Runs > 2 ? load<V>(kRamp + kGatherWidth - g.lane[2]) : V{};
  for (std::size_t c = 0; c < count; ++c, d += stride, s0 += stride) {
    V v = load<V>(s0);
    if constexpr (Runs > 1) v = blend<Select>(v, load<V>(s0 + to1), m1);
    if constexpr (Runs > 2) v = blend<Select>(v, load<V>(s0 + to2), m2);
    store(d, v + pattern);
  }
}

template <class V, bool Select>
__attribute__((always_inline)) inline void gathers_body(unsigned char* dst, const unsigned char* src,
                                                        const unsigned char* add, const Gather* gathers,
                                                        std::size_t count, std::size_t cycles, std::size_t stride) {
  static_assert(sizeof(V) == kGatherWidth);
  for (std::size_t k = 0; k < count; ++k) {
    const Gather& g = gathers[k];
    const V pattern = load<V>(add + g.at);
    if (g.runs == 1) gather_cycles<V, 1, Select>(dst + g.at, src, g, pattern, cycles, stride);
    else if (g.runs == 2) gather_cycles<V, 2, Select>(dst + g.at, src, g, pattern, cycles, stride);
    else gather_cycles<V, 3, Select>(dst + g.at, src, g, pattern, cycles, stride);
  }
}

void add_tables_portable(unsigned char* d, std::size_t n, const unsigned char* const* t, std::size_t count) {
  tables_body<V16, true>(d, n, t, count);
}
void subtract_tables_portable(unsigned char* d, std::size_t n, const unsigned char* const* t, std::size_t count) {
  tables_body<V16, false>(d, n, t, count);
}
void add_into_portable(unsigned char* dst, const unsigned char* src, const unsigned char* add, std::size_t n) {
  into_body<V16>(dst, src, add, n);
}
void add_moves_portable(unsigned char* dst, const unsigned char* src, const unsigned char* add, const Move* moves,
                        std::size_t count, std::size_t cycles, std::size_t stride) {
  moves_body<V16>(dst, src, add, moves, count, cycles, stride);
}
// Two SSE2 halves on x86-64; plain code elsewhere.
void add_gathers_portable(unsigned char* dst, const unsigned char* src, const unsigned char* add,
                          const Gather* gathers, std::size_t count, std::size_t cycles, std::size_t stride) {
  gathers_body<V32, false>(dst, src, add, gathers, count, cycles, stride);
}

#if defined(QVX_AVX2)
__attribute__((target("avx2"))) void add_tables_avx2(unsigned char* d, std::size_t n, const unsigned char* const* t,
                                                     std::size_t count) {
  tables_body<V32, true>(d, n, t, count);
}
__attribute__((target("avx2"))) void subtract_tables_avx2(unsigned char* d, std::size_t n,
                                                          const unsigned char* const* t, std::size_t count) {
  tables_body<V32, false>(d, n, t, count);
}
__attribute__((target("avx2"))) void add_into_avx2(unsigned char* dst, const unsigned char* src,
                                                   const unsigned char* add, std::size_t n) {
  into_body<V32>(dst, src, add, n);
}
__attribute__((target("avx2"))) void add_moves_avx2(unsigned char* dst, const unsigned char* src,
                                                    const unsigned char* add, const Move* moves, std::size_t count,
                                                    std::size_t cycles, std::size_t stride) {
  moves_body<V32>(dst, src, add, moves, count, cycles, stride);
}
__attribute__((target("avx2"))) void add_gathers_avx2(unsigned char* dst, const unsigned char* src,
                                                      const unsigned char* add, const Gather* gathers,
                                                      std::size_t count, std::size_t cycles, std::size_t stride) {
  gathers_body<V32, true>(dst, src, add, gathers, count, cycles, stride);
}
#endif

struct Bodies {
  void (*add_tables)(unsigned char*, std::size_t, const unsigned char* const*, std::size_t);
  void (*subtract_tables)(unsigned char*, std::size_t, const unsigned char* const*, std::size_t);
  void (*add_into)(unsigned char*, const unsigned char*, const unsigned char*, std::size_t);
  void (*add_moves)(unsigned char*, const unsigned char*, const unsigned char*, const Move*, std::size_t, std::size_t,
                    std::size_t);
  void (*add_gathers)(unsigned char*, const unsigned char*, const unsigned char*, const Gather*, std::size_t,
                      std::size_t, std::size_t);
  const char* name;
};

constexpr Bodies kPortable{add_tables_portable, subtract_tables_portable, add_into_portable,
                           add_moves_portable,  add_gathers_portable,     "portable"};
#if defined(QVX_AVX2)
constexpr Bodies kAvx2{add_tables_avx2, subtract_tables_avx2, add_into_avx2, add_moves_avx2, add_gathers_avx2, "avx2"};
#endif

const Bodies* best() {
#if defined(QVX_AVX2)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return &kAvx2;
#endif
  return &kPortable;
}

// Chosen when the program starts; nothing calls a kernel before main.
std::atomic<const Bodies*> g_chosen{best()};
std::atomic<const Bodies*>& chosen() { return g_chosen; }

const Bodies& bodies() { return *chosen().load(std::memory_order_relaxed); }

}  // namespace

void add_tables(unsigned char* data, std::size_t n, const unsigned char* const* tables, std::size_t count) {
  bodies().add_tables(data, n, tables, count);
}

void subtract_tables(unsigned char* data, std::size_t n, const unsigned char* const* tables, std::size_t count) {
  bodies().subtract_tables(data, n, tables, count);
}

void add_into(unsigned char* dst, const unsigned char* src, const unsigned char* add, std::size_t n) {
  bodies().add_into(dst, src, add, n);
}

void add_moves(unsigned char* dst, const unsigned char* src, const unsigned char* add, const Move* moves,
               std::size_t count, std::size_t cycles, std::size_t stride) {
  bodies().add_moves(dst, src, add, moves, count, cycles, stride);
}

void add_gathers(unsigned char* dst, const unsigned char* src, const unsigned char* add, const Gather* gathers,
                 std::size_t count, std::size_t cycles, std::size_t stride) {
  bodies().add_gathers(dst, src, add, gathers, count, cycles, stride);
}

void use(Kernels k) { chosen().store(k == Kernels::portable ? &kPortable : best(), std::memory_order_relaxed); }

const char* in_use() { return bodies().name; }

}  // namespace qvx::simd
