#pragma once

#include <QString>

#include <optional>
#include <string_view>

// Windows-1252 done by table, the same on every machine whatever codecs Qt was built with. Its
// five unassigned bytes (0x81 0x8D 0x8F 0x90 0x9D) map to the C1 controls of the same value,
// so every byte decodes to a character that encodes back to that byte.

namespace ini {

QString DecodeCp1252(std::string_view bytes);

// The byte that stands for a character, or nothing when Windows-1252 has none.
std::optional<char> EncodeCp1252(char16_t character) noexcept;

} // namespace ini
