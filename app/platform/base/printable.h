// Text from files (grid tokens, titles, file names) on its way to a terminal
// or a message box: control and non-printable bytes are shown escaped, so a
// file can never move the cursor, ring the bell or change the colours.
#pragma once

#include <string>
#include <string_view>

namespace kova {

// `text` with every byte that is not printable written as "\xNN" (two lower
// hex digits): C0 controls, DEL, C1 controls and bytes that do not form valid
// UTF-8. Printable ASCII and valid UTF-8 sequences of printable characters
// stay as they are.
std::string EscapeControlBytes(std::string_view text);

}  // namespace kova
