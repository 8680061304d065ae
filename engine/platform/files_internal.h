// What the file layer's shared part needs from its POSIX or Windows file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/files.h"

namespace qvx::files::detail {

// The buffered stream's mode for a descriptor opened with `how`.
const char* stream_mode(Access how);

}  // namespace qvx::files::detail

namespace qvx::held::detail {

// Bytes from the system's own generator.
void random_bytes(unsigned char* raw, std::size_t n);
// A part of a name that nobody can work out from what they can see.
std::string unguessable();
// Removes the name of a wiped file while it still leads to the file.
// System calls only: the stop handler calls it.
void unlink_quietly(HeldFile& f);
// A run's output is named qvx03-<something>.qvx while it has a name.
inline constexpr const char* kTemporaryPrefix = "qvx03-";
inline constexpr const char* kTemporarySuffix = ".qvx";
// The names in `dir` that a run's output may have had.
std::vector<std::string> temporaries_in(const std::string& dir);

}  // namespace qvx::held::detail
