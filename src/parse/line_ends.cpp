#include "parse/line_ends.h"

#include "parse/text_encoding.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace ini {

std::string_view StripUtf8Bom(std::string_view text) noexcept {
    if (text.substr(0, utf8Bom.size()) == utf8Bom)
        text.remove_prefix(utf8Bom.size());
    return text;
}

std::size_t FindLineBreak(std::string_view text, std::size_t from) noexcept {
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t i = from;
#ifdef __SSE2__
    // Sixteen bytes at a time: most lines are found within two or three steps.
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= size; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const int mask =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, cr), _mm_cmpeq_epi8(chunk, lf)));
        if (mask != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    for (; i < size; ++i) {
        if (IsLineBreak(data[i]))
            return i;
    }
    return size;
}

std::optional<std::string_view> LineEndScanner::Next() noexcept {
    if (m_pos >= m_text.size())
        return std::nullopt;
    const std::size_t start = m_pos;
    const std::size_t end = FindLineBreak(m_text, start);
    if (end == m_text.size()) {
        m_pos = end;
    } else {
        m_pos = end + 1;
        if (m_text[end] == '\r' && m_pos < m_text.size() && m_text[m_pos] == '\n')
            ++m_pos;
    }
    return m_text.substr(start, end - start);
}

std::size_t CountLineEnds(std::string_view text) noexcept {
    if (text.empty())
        return 0;
    std::size_t ends = 0;
    // Branch-free, so that the compiler can take many bytes at a time.
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        ends += static_cast<std::size_t>((text[i] == '\n') |
                                         ((text[i] == '\r') & (text[i + 1] != '\n')));
    return ends + (text.back() == '\n' || text.back() == '\r' ? 1 : 0);
}

std::size_t CountLineEndsFast(std::string_view text) noexcept {
    std::size_t ends = 0;
    std::size_t i = 0;
#ifdef __SSE2__
    // Each step marks the LFs and the CRs not followed by an LF in one byte count per lane (a
    // marked byte is 0xFF, so subtracting adds one); the counts are summed before they can wrap.
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const char* const data = text.data();
    while (i + 17 <= text.size()) {
        __m128i counts = _mm_setzero_si128();
        for (int step = 0; step < 255 && i + 17 <= text.size(); ++step, i += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 1));
            const __m128i loneCr =
                _mm_andnot_si128(_mm_cmpeq_epi8(next, lf), _mm_cmpeq_epi8(bytes, cr));
            counts = _mm_sub_epi8(counts, _mm_or_si128(_mm_cmpeq_epi8(bytes, lf), loneCr));
        }
        const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
        ends += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
                static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
    }
#endif
    return ends + CountLineEnds(text.substr(i));
}

std::size_t TerminatorLength(std::string_view span) noexcept {
    LineEndScanner scanner(span);
    const std::size_t line = scanner.Next().value_or(std::string_view()).size();
    return scanner.Position() - line;
}

} // namespace ini
