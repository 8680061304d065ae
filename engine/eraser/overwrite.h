// The two steps of borra::borrarfichero, apart so that each can be checked
// on its own. Both print their own failure messages.
#pragma once

#include <string>

namespace qvx::eraser {

// Every byte of the existing regular file becomes '0' (0x30), in place;
// the data has reached the disk when this returns true. Never creates a
// file.
bool overwrite_with_zeros(const std::string& path);

// Cuts the file to the single byte "0", synced to the disk.
bool cut_to_one_byte(const std::string& path);

}  // namespace qvx::eraser
