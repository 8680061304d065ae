// The block-exchange family, passes 13 to 22: one kernel, ten rows of
// constants. Each pass cuts its input into blocks whose part lengths come from
// its key, swaps the two parts of every block and adds a running counter and
// a phrase character to every byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/bytestream.h"
#include "cipher/passes/coder.h"
#include "cipher/passes/stage.h"

namespace qvx {

struct ExchangeConstants {
  int pass;
  int key;                    // clave(key) of the key record
  uint32_t split;             // S
  uint32_t step;              // d, the counter step
  std::size_t phrase_length;  // of the built-in phrase
};

inline constexpr std::array<ExchangeConstants, 10> kExchangeTable{{
    {13, 1, 1, 1, 125},
    {14, 2, 10, 7, 117},
    {15, 3, 3, 5, 115},
    {16, 4, 4, 18, 125},
    {17, 5, 11, 9, 121},
    {18, 6, 16, 17, 120},
    {19, 7, 4, 6, 124},
    {20, 8, 7, 20, 119},
    {21, 9, 3, 17, 123},
    {22, 10, 4, 2, 125},
}};

constexpr const ExchangeConstants& exchange_constants(int pass) { return kExchangeTable[pass - 13]; }

// The longest block kept in memory when a pass runs on its own: blocks of
// printable keys are a few hundred bytes, those of keys with bytes from
// 0x80 on are gigabytes and are read with seeks instead.
constexpr uint64_t kExchangeChunk = kHoldBound;

// Runs pass `pass` (13 to 22) on coder `c` in the coder's direction, from the
// work file that pass reads to the one it writes, with `phrase` as its phrase.
// Blocks longer than `bound` are read with seeks (tests lower it to
// exercise that path). Returns 1, like every pass.
int run_exchange(coder& c, int pass, const char* first, const char* second, std::string_view phrase,
                 uint64_t bound = kExchangeChunk);

}  // namespace qvx
