#pragma once

#include <string_view>

// What the viewer, the editor and the key parser agree on about text bytes.

namespace ini {

// The UTF-8 byte order mark; at the very start of a file it belongs to no line.
inline constexpr std::string_view utf8Bom = "\xEF\xBB\xBF";

// Valid UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF. Text that is not is
// shown as Windows-1252.
bool IsValidUtf8(std::string_view text) noexcept;

} // namespace ini
