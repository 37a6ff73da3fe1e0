#pragma once

#include <QString>

#include <optional>
#include <string_view>

// Windows-1252 for the editor's QString text; the table itself lives in parse/cp1252.h.

namespace ini {

QString DecodeCp1252(std::string_view bytes);

// The byte that stands for a character, or nothing when Windows-1252 has none.
std::optional<char> EncodeCp1252(char16_t character) noexcept;

} // namespace ini
