// The check file of a command-line run: its name beside the encoded file,
// its key from what decoding needs, reading it back.
#pragma once

#include <string>

#include "bookformat/record.h"
#include "cipher/run/pipeline.h"
#include "crypto/check_file.h"

namespace qvx {

// Beside the encoded file: its name and the fixed suffix.
inline std::string check_file_name(const std::string& encoded) { return encoded + std::string(check::kSuffix); }

// The MAC key of a run with `record` and `params` for `salt`: keyed with
// the record's 705-byte slot, the texts each pass gets (a text left to its
// default and a pass left out are items of their own, so two command lines
// that decode alike key alike) and the confirmation file's bytes when pass
// 23 can use it. False when the confirmation file could not be read
// through or the library failed.
bool check_key(const KeyRecord& record, const RunParameters& params, const check::Salt& salt,
               crypto::HashValue& key);

enum class Found { none, damaged, ok };
// The check file `name`: none when there is no such file, damaged when it
// is not a check file this program reads (or not a regular file).
Found read_check_file(const std::string& name, check::CheckFile& out);

}  // namespace qvx
