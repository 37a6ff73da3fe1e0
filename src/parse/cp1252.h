#pragma once

#include <optional>

namespace ini {

// Windows-1252, the code page block files not in UTF-8 are shown in, done by table so it is the
// same on every machine whatever codecs are installed. The five bytes the code page leaves
// unassigned (0x81 0x8D 0x8F 0x90 0x9D) map to the C1 controls of the same value, so every byte
// decodes to a character that encodes back to that byte.
char16_t Cp1252ToUnicode(unsigned char byte) noexcept;

// The byte that stands for a character, or nothing when Windows-1252 has none.
std::optional<unsigned char> UnicodeToCp1252(char16_t character) noexcept;

} // namespace ini
