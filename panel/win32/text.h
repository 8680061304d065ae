// The panel's texts are Latin-1 bytes; the windows are Unicode. Every byte
// maps to the code point of the same value, so what a control shows reads
// back as the very same bytes, whatever the system's code page.
#pragma once

#include <string>
#include <string_view>

namespace qvxpanel::win32 {

std::wstring widen(std::string_view latin1);
// Characters beyond Latin-1 (typed by the user) become '?'.
std::string narrow(std::wstring_view wide);

// Edit controls break lines at "\r\n"; the state keeps "\n".
std::string to_control_lines(std::string_view text);
std::string from_control_lines(std::string_view text);

}  // namespace qvxpanel::win32
