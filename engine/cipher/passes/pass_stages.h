// The stage of each pass family, built for one input size. Each is the
// whole pass: the named pass operations run it as a one-stage plan, the
// planner chains them.
#pragma once

#include <cstdint>
#include <memory>

#include "cipher/passes/stage.h"

namespace qvx {

// Passes 1 to 10; `texts` are the personalization texts (A, B, C for 9
// and 10), null for the built-in ones.
std::unique_ptr<Stage> additive_stage(const coder& c, int pass, const char* const (&texts)[3], uint64_t n);
// Pass 11 (growth) and pass 12 (disorder).
std::unique_ptr<Stage> growth_stage(const coder& c, uint64_t n);
std::unique_ptr<Stage> disorder_stage(const coder& c, uint64_t n);
// The clock pass 11 seeds its filler from (tests fix it to compare runs
// byte for byte; null restores the real one).
void set_filler_clock(uint32_t (*seconds)());
// Passes 13 to 22.
std::unique_ptr<Stage> exchange_stage(const coder& c, int pass, uint64_t n);

// Pass 23: asked on the console (`interactive`) or by `name` (null: none).
// `kept` is the name the pass's output ends up under, which the
// confirmation file must not be.
struct Confirmation {
  bool interactive = false;
  const char* name = nullptr;
  const char* kept = nullptr;
};
std::unique_ptr<Stage> confirm_stage(const coder& c, const Confirmation& how, uint64_t n);

}  // namespace qvx
