// The steps of borra::borrarfichero, apart so that each can be checked on its
// own (both print their own failure messages), and the erase of a file a
// run holds open.
#pragma once

#include <string>

#include "platform/files.h"

namespace qvx::eraser {

// Every byte of the existing regular file becomes '0' (0x30), in place;
// the data has reached the disk when this returns true. Never creates a
// file.
bool overwrite_with_zeros(const std::string& path);

// Cuts the file to the single byte "0", synced to the disk.
bool cut_to_one_byte(const std::string& path);

// What became of a held file's erase.
struct Erased {
  bool wiped = true;    // every byte overwritten, and the file cut
  bool removed = true;  // its name is gone
};

// The erase of a file the run holds: overwrite and cut through its
// descriptor, then remove its name, with the messages of borrarfichero and
// eliminaresto. A failed overwrite still cuts the file and removes it: the
// data must not stay behind in any case.
Erased erase_held(HeldFile& f);

}  // namespace qvx::eraser
