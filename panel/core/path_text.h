// Paths may name files with any character, while the panel's texts are
// Latin-1 bytes. A character beyond Latin-1 is kept in a text as its UTF-8
// sequence; every other byte is Latin-1. So Latin-1 texts read exactly as
// they always did, and any byte string survives the way to a wide text and
// back unchanged.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qvxpanel {

// UTF-16 where wchar_t has 16 bits (Windows), code points elsewhere.
std::wstring path_wide(std::string_view text);
// Unpaired surrogates, which name no character, become '?'.
std::string path_text(std::wstring_view wide);

// The file a path text names, for the standard streams and std::filesystem.
std::filesystem::path file_path(const std::string& text);

}  // namespace qvxpanel
