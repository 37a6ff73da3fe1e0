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
        ends += static_cast<std::size_t>(int{text[i] == '\n'} |
                                         (int{text[i] == '\r'} & int{text[i + 1] != '\n'}));
    return ends + (text.back() == '\n' || text.back() == '\r' ? 1 : 0);
}

std::size_t TerminatorLength(std::string_view span) noexcept {
    LineEndScanner scanner(span);
    const std::size_t line = scanner.Next().value_or(std::string_view()).size();
    return scanner.Position() - line;
}

} // namespace ini
