// The steps of borra::borrarfichero, apart so that each can be checked on its
// own (both print their own failure messages), and the silent whole erase
// that a run stopped by a signal uses on its work files.
#pragma once

#include <string>

namespace qvx::eraser {

// Every byte of the existing regular file becomes '0' (0x30), in place;
// the data has reached the disk when this returns true. Never creates a
// file.
bool overwrite_with_zeros(const std::string& path);

// Cuts the file to the single byte "0", synced to the disk.
bool cut_to_one_byte(const std::string& path);

// The whole erase of a plain file, silent: overwrite, cut, delete. Made of
// system calls only, so a signal handler may call it.
void wipe_quietly(const char* path);

}  // namespace qvx::eraser
