// The two console menus.
#pragma once

#include "cipher/run/pipeline.h"
#include "keybook/base.h"

namespace qvx {

// The main menu, until it is left with S or the input ends.
void main_menu(base& book, const WorkFiles& work);

// The key-book menu entered from the command line (the main menu enters it
// itself): `book_arg` is parameter 1, `record_arg` parameter 2 (null when
// only one parameter was given). REQUIRES: book_arg is not null.
void keybook_menu(base& book, const char* book_arg, const char* record_arg);

}  // namespace qvx
