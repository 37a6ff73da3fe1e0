#include "parse/line_ends.h"

#include <cstring>

namespace ini {

namespace {

std::size_t FindByte(std::string_view text, std::size_t from, char byte) noexcept {
    if (from >= text.size())
        return std::string_view::npos;
    const void* hit = std::memchr(text.data() + from, byte, text.size() - from);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data())
               : std::string_view::npos;
}

} // namespace

std::string_view StripUtf8Bom(std::string_view text) noexcept {
    constexpr std::string_view bom = "\xEF\xBB\xBF";
    if (text.substr(0, bom.size()) == bom)
        text.remove_prefix(bom.size());
    return text;
}

std::optional<std::string_view> LineEndScanner::Next() noexcept {
    if (m_pos >= m_text.size())
        return std::nullopt;
    // Re-search only when the cached hit lies behind us: keeps lone-CR and lone-LF files linear.
    if (!m_crValid || (m_nextCr != std::string_view::npos && m_nextCr < m_pos)) {
        m_nextCr = FindByte(m_text, m_pos, '\r');
        m_crValid = true;
    }
    if (!m_lfValid || (m_nextLf != std::string_view::npos && m_nextLf < m_pos)) {
        m_nextLf = FindByte(m_text, m_pos, '\n');
        m_lfValid = true;
    }
    const std::size_t end = m_nextCr < m_nextLf ? m_nextCr : m_nextLf;
    const std::size_t start = m_pos;
    if (end == std::string_view::npos) {
        m_pos = m_text.size();
        return m_text.substr(start);
    }
    m_pos = end + 1;
    if (m_text[end] == '\r' && m_pos < m_text.size() && m_text[m_pos] == '\n')
        ++m_pos;
    return m_text.substr(start, end - start);
}

std::size_t TerminatorLength(std::string_view span) noexcept {
    if (span.empty())
        return 0;
    if (span.back() == '\n')
        return span.size() >= 2 && span[span.size() - 2] == '\r' ? 2 : 1;
    return span.back() == '\r' ? 1 : 0;
}

} // namespace ini
