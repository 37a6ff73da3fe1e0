#include "parse/other_blanks.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace ini {

std::size_t OtherBlankWords::FindOtherBlank(std::string_view text, std::size_t from) noexcept {
    const char* const data = text.data();
#ifdef __SSE2__
    const __m128i below = _mm_set1_epi8(0x20), cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    // The bytes below 0x20 other than line ends; the signed compare takes those from 0x80 up too.
    const auto others = [&](std::size_t at) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        const __m128i breaks = _mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf));
        return _mm_andnot_si128(breaks, _mm_cmpgt_epi8(below, bytes));
    };
    // Most texts hold none, or a few: 64 bytes are passed over with one test.
    for (; from + 64 <= text.size(); from += 64) {
        const __m128i any = _mm_or_si128(_mm_or_si128(others(from), others(from + 16)),
                                         _mm_or_si128(others(from + 32), others(from + 48)));
        if (_mm_movemask_epi8(any) != 0)
            break;
    }
    for (; from + 16 <= text.size(); from += 16) {
        if (const auto hits = static_cast<unsigned>(_mm_movemask_epi8(others(from))); hits != 0)
            return from + static_cast<std::size_t>(std::countr_zero(hits));
    }
#endif
    while (from < text.size() && !(MayBeOtherBlank(data[from]) && !IsLineBreak(data[from])))
        ++from;
    return from;
}

std::size_t OtherBlankWords::LineStart(std::string_view text, std::size_t at) const noexcept {
    while (at > m_firstLine && !IsLineBreak(text[at - 1]))
        --at;
    return at;
}

bool OtherBlankWords::InFirstWord(std::string_view text, std::size_t line,
                                  std::size_t at) noexcept {
    std::size_t word = line;
    while (word < at && text[word] == ' ')
        ++word;
    return text.substr(word, at - word).find_first_of(" ;") == std::string_view::npos;
}

} // namespace ini
