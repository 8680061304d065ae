// The common open and save dialogs, as the panel uses them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qvxpanel::win32 {

// Proposes `proposed`; the chosen path, of any length, or nothing when the
// user cancels. A dialog that fails says so in a message box.
std::optional<std::string> file_dialog(std::string_view proposed, bool save);

}  // namespace qvxpanel::win32
