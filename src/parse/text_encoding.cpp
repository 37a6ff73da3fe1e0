#include "parse/text_encoding.h"

#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace ini {

bool IsValidUtf8(std::string_view text) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p < end) {
        // Pure ASCII runs are checked many bytes at a time, so typical files cost next to nothing.
#ifdef __SSE2__
        if (end - p >= 64) {
            const auto* const v = reinterpret_cast<const __m128i*>(p);
            const __m128i any =
                _mm_or_si128(_mm_or_si128(_mm_loadu_si128(v), _mm_loadu_si128(v + 1)),
                             _mm_or_si128(_mm_loadu_si128(v + 2), _mm_loadu_si128(v + 3)));
            if (_mm_movemask_epi8(any) == 0) {
                p += 64;
                continue;
            }
        }
#endif
        if (end - p >= 8) {
            std::uint64_t chunk;
            std::memcpy(&chunk, p, 8);
            if ((chunk & 0x8080808080808080ULL) == 0) {
                p += 8;
                continue;
            }
        }
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra = 0;
        unsigned char min2 = 0x80, max2 = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0)
                min2 = 0xA0;
            if (c == 0xED)
                max2 = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0)
                min2 = 0x90;
            if (c == 0xF4)
                max2 = 0x8F;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        if (p[1] < min2 || p[1] > max2)
            return false;
        for (int i = 2; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
        }
        p += extra + 1;
    }
    return true;
}

} // namespace ini
