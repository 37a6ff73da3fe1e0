#include "parse/text_encoding.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace ini {

Utf8Sequence DecodeUtf8(std::string_view bytes) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    if (bytes.empty())
        return {};
    const std::uint8_t lead = byte(0);
    if (lead < 0x80)
        return {1, lead};
    std::size_t length = 0;
    char32_t point = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        point = lead & 0x1F;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        point = lead & 0x0F;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        point = lead & 0x07;
        least = 0x10000;
    } else {
        return {};
    }
    if (bytes.size() < length)
        return {};
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return {};
        point = (point << 6) | (byte(i) & 0x3F);
    }
    if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
        return {};
    return {length, point};
}

namespace {

// How many bytes from `at` are ASCII, in whole blocks: files are mostly ASCII, and a block of
// 64 or 8 bytes is told at once.
std::size_t AsciiRun(const char* at, std::size_t size) noexcept {
    std::size_t run = 0;
#ifdef __SSE2__
    for (; size - run >= 64; run += 64) {
        const auto* const v = reinterpret_cast<const __m128i*>(at + run);
        const __m128i any =
            _mm_or_si128(_mm_or_si128(_mm_loadu_si128(v), _mm_loadu_si128(v + 1)),
                         _mm_or_si128(_mm_loadu_si128(v + 2), _mm_loadu_si128(v + 3)));
        if (_mm_movemask_epi8(any) != 0)
            break;
    }
#endif
    for (; size - run >= 8; run += 8) {
        std::uint64_t chunk;
        std::memcpy(&chunk, at + run, 8);
        if ((chunk & 0x8080808080808080ULL) != 0)
            break;
    }
    return run;
}

} // namespace

bool IsValidUtf8(std::string_view text) noexcept {
    while (!text.empty()) {
        text.remove_prefix(AsciiRun(text.data(), text.size()));
        if (text.empty())
            break;
        const std::size_t length = DecodeUtf8(text).length;
        if (length == 0)
            return false;
        text.remove_prefix(length);
    }
    return true;
}

bool StartsLikeUtf16(std::string_view bytes) noexcept {
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF"))
        return true;
    const std::size_t units = std::min<std::size_t>(bytes.size(), 64) / 2;
    if (units < 2)
        return false;
    // Low byte first, or high byte first.
    for (const std::size_t low : {0, 1}) {
        std::size_t highNuls = 0;
        bool lowNul = false;
        for (std::size_t unit = 0; unit < units; ++unit) {
            lowNul = lowNul || bytes[2 * unit + low] == '\0';
            highNuls += bytes[2 * unit + 1 - low] == '\0' ? 1 : 0;
        }
        if (!lowNul && 2 * highNuls >= units)
            return true;
    }
    return false;
}

} // namespace ini
