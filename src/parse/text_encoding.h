#pragma once

#include <cstddef>
#include <string_view>

// What the viewer, the editor and the key parser agree on about text bytes.

namespace ini {

// The UTF-8 byte order mark; at the very start of a file it belongs to no line.
inline constexpr std::string_view utf8Bom = "\xEF\xBB\xBF";

// One UTF-8 sequence: its length in bytes and the code point it stands for.
struct Utf8Sequence {
    std::size_t length = 0; // 0: the bytes do not start with a valid sequence
    char32_t point = 0;
};

// The valid UTF-8 sequence at the start of `bytes`: the rule itself. A lead byte says how many
// continuation bytes (10xxxxxx) follow; overlong forms, surrogates and values past U+10FFFF are
// not valid.
Utf8Sequence DecodeUtf8(std::string_view bytes) noexcept;

// Valid UTF-8 from end to end, by the rule above. Text that is not is shown as Windows-1252.
bool IsValidUtf8(std::string_view text) noexcept;

// Whether a text that starts with `bytes` is UTF-16: its byte order mark either way round, or,
// without one, in its first 64 bytes (two at least) no character's low byte is NUL and at least
// half of them have a NUL high byte, as Latin letters, digits and signs have. Read byte for
// byte, such a text has a NUL beside every letter.
bool StartsLikeUtf16(std::string_view bytes) noexcept;

} // namespace ini
