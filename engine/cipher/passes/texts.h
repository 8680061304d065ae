// The built-in personalization texts of the additive passes (1 to 10). A pass
// uses its own text wherever the caller hands it no text of its own.
#pragma once

#include <string>

namespace qvx {

// Text `letter` of pass `pass`: letter 0 for passes 1 to 8; 0, 1, 2 (A, B, C)
// for passes 9 and 10. Built afresh on every call (a pass calls it when it
// starts). Empty for any other pass or letter.
std::string builtin_text(int pass, int letter);

}  // namespace qvx
