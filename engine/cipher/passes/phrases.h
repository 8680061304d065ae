// The built-in phrases of the block-exchange passes 13 to 22.
#pragma once

#include <string>

namespace qvx {

// The phrase of pass `pass` (13 to 22), built afresh on every call so that it
// exists in memory only while a pass runs.
std::string builtin_phrase(int pass);

}  // namespace qvx
