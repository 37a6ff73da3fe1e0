#include "parse/line_splitter.h"

#include <bit>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace ini {

std::string SplitLine::Comment() const {
    if (commentTail.empty())
        return {};
    std::string text(commentLead);
    text.append(commentTail);
    return text;
}

void SplitLine::AppendNodeText(std::string& out) const {
    out.append(content);
    if (!commentTail.empty()) {
        out.append(commentLead);
        out.append(commentTail);
    }
}

std::string SplitLine::NodeText() const {
    std::string text;
    text.reserve(content.size() +
                 (commentTail.empty() ? 0 : commentLead.size() + commentTail.size()));
    AppendNodeText(text);
    return text;
}

std::string NodeText::ToString() const {
    LineSplitter splitter;
    return splitter.ParseLine(line, showComments).NodeText();
}

namespace {

#ifdef __SSE2__
__m128i Load16(const char* at) noexcept {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}
// Bit i set where byte i of the sixteen at `at` equals `c`.
unsigned Equal16(const char* at, char c) noexcept {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(Load16(at), _mm_set1_epi8(c))));
}
#endif

// What FindFirst looks for: `Is` for one byte and, with SSE2, `Lanes` for the sixteen bytes from
// a pointer (bit i for byte i).
struct NotSpace {
    static bool Is(const char* at) noexcept { return *at != ' '; }
#ifdef __SSE2__
    static unsigned Lanes(const char* at) noexcept {
        return ~Equal16(at, ' ') & 0xFFFFu;
    }
#endif
};
struct Semicolon {
    static bool Is(const char* at) noexcept { return *at == ';'; }
#ifdef __SSE2__
    static unsigned Lanes(const char* at) noexcept {
        return Equal16(at, ';');
    }
#endif
};
struct SpaceOrSemicolon {
    static bool Is(const char* at) noexcept { return *at == ' ' || *at == ';'; }
#ifdef __SSE2__
    static unsigned Lanes(const char* at) noexcept {
        return Equal16(at, ' ') | Equal16(at, ';');
    }
#endif
};
// Two spaces in a row: looks at the byte after each one too.
struct DoubleSpace {
    static bool Is(const char* at) noexcept { return at[0] == ' ' && at[1] == ' '; }
#ifdef __SSE2__
    static unsigned Lanes(const char* at) noexcept {
        return Equal16(at, ' ') & Equal16(at + 1, ' ');
    }
#endif
};

// Offset of the first byte at or after `from` that `Match` picks, or `size` when none does.
// Sixteen bytes at a time; a tail shorter than that is looked at through the last sixteen bytes
// before `size`, so nothing outside is read.
template <typename Match>
std::size_t FindFirst(const char* data, std::size_t size, std::size_t from) noexcept {
#ifdef __SSE2__
    if (size >= 16) {
        for (; from + 16 <= size; from += 16) {
            if (const unsigned hits = Match::Lanes(data + from); hits != 0)
                return from + static_cast<std::size_t>(std::countr_zero(hits));
        }
        if (from >= size)
            return size;
        const std::size_t last = size - 16;
        const unsigned hits = Match::Lanes(data + last) >> (from - last);
        return hits != 0 ? from + static_cast<std::size_t>(std::countr_zero(hits)) : size;
    }
#endif
    while (from < size && !Match::Is(data + from))
        ++from;
    return from;
}

// Where the next two spaces in a row start, or `size`.
std::size_t FindDoubleSpace(const char* data, std::size_t size, std::size_t from) noexcept {
    if (size < 2)
        return size;
    // The last byte starts no pair, and the lanes read one byte past the bytes they judge.
    const std::size_t found = FindFirst<DoubleSpace>(data, size - 1, from);
    return found == size - 1 ? size : found;
}

// The word of `line` that starts at the first non-space from `from`.
std::string_view WordFrom(std::string_view line, std::size_t from) noexcept {
    const std::size_t start = FindFirst<NotSpace>(line.data(), line.size(), from);
    const std::size_t end = FindFirst<SpaceOrSemicolon>(line.data(), line.size(), start);
    return line.substr(start, end - start);
}

} // namespace

std::string_view FirstWordOf(std::string_view line) noexcept {
    return WordFrom(line, 0);
}

std::string_view WordAfter(std::string_view line, std::string_view word) noexcept {
    return WordFrom(line, static_cast<std::size_t>(word.data() - line.data()) + word.size());
}

std::string_view WordAfterFast(std::string_view line, std::string_view word,
                               LineBytes bytes) noexcept {
    const auto from = static_cast<std::size_t>(word.data() - line.data()) + word.size();
    const std::uint64_t inLine = LowBits(line.size());
    const std::uint64_t nonSpaces = ~bytes.spaces & inLine & ~LowBits(from);
    if (nonSpaces == 0)
        return {};
    // The word runs from the first non-space to the next space, ";" or the line's end.
    const auto start = static_cast<std::size_t>(std::countr_zero(nonSpaces));
    const std::uint64_t stops = (bytes.spaces | bytes.semicolons | ~inLine) >> start;
    return line.substr(start, static_cast<std::size_t>(std::countr_zero(stops)));
}

SplitLine LineSplitter::ParseLine(std::string_view data, bool showComments) {
    SplitLine result;
    std::string_view content = data;
    if (const std::size_t at = FindFirst<Semicolon>(data.data(), data.size(), 0);
        at != data.size()) {
        content = data.substr(0, at);
        if (showComments)
            result.commentTail = data.substr(at);
    }

    const std::size_t first = FindFirst<NotSpace>(content.data(), content.size(), 0);
    if (first == content.size())
        return result; // nothing but spaces: empty content
    std::size_t last = content.size();
    while (content[last - 1] == ' ')
        --last;
    content = content.substr(first, last - first);

    // Most lines have single spaces only; they need no copy.
    const std::size_t doubled = FindDoubleSpace(content.data(), content.size(), 0);
    result.content = doubled == content.size() ? content : Collapse(content, doubled);
    return result;
}

namespace {

// Copies `count` bytes (at most shortLineSlack) as one block of shortLineSlack bytes.
char* CopyBlock(char* out, const char* from, std::size_t count) noexcept {
    std::memcpy(out, from, shortLineSlack);
    return out + count;
}

} // namespace

char* WriteNodeTextFast(char* out, std::string_view data, bool showComments,
                        LineBytes bytes) noexcept {
    // The cut of ParseLine read off the masks (bit i is byte i), with the kept stretches copied
    // straight out; a space after a space is dropped.
    std::size_t contentEnd = data.size();
    if (bytes.semicolons != 0)
        contentEnd = static_cast<std::size_t>(std::countr_zero(bytes.semicolons));
    const std::uint64_t nonSpaces = ~bytes.spaces & LowBits(contentEnd);
    if (nonSpaces != 0) {
        const auto first = static_cast<std::size_t>(std::countr_zero(nonSpaces));
        const auto last = static_cast<std::size_t>(64 - std::countl_zero(nonSpaces));
        const std::uint64_t dropped =
            bytes.spaces & (bytes.spaces << 1) & LowBits(last) & ~LowBits(first + 1);
        std::size_t from = first;
        for (std::uint64_t rest = dropped; rest != 0; rest = dropped & ~LowBits(from)) {
            const auto run = static_cast<std::size_t>(std::countr_zero(rest));
            out = CopyBlock(out, data.data() + from, run - from);
            from = run + static_cast<std::size_t>(std::countr_zero(~(dropped >> run)));
        }
        out = CopyBlock(out, data.data() + from, last - from);
    }
    if (showComments && bytes.semicolons != 0) {
        std::memcpy(out, SplitLine::commentLead.data(), SplitLine::commentLead.size());
        out = CopyBlock(out + SplitLine::commentLead.size(), data.data() + contentEnd,
                        data.size() - contentEnd);
    }
    return out;
}

char* NodeTextParts::Add(char* out, std::string_view part) noexcept {
    const char* const data = part.data();
    const std::size_t size = part.size();
    std::size_t at = 0;
    while (at < size && !m_inComment) {
        if (data[at] == ';') {
            // The content ends here: a space held back was trailing.
            m_inComment = true;
            if (m_showComments) {
                std::memcpy(out, SplitLine::commentLead.data(), SplitLine::commentLead.size());
                out += SplitLine::commentLead.size();
            }
        } else if (data[at] == ' ') {
            m_spaceHeld = m_started;
            at = FindFirst<NotSpace>(data, size, at);
        } else {
            if (m_spaceHeld) {
                *out++ = ' ';
                m_spaceHeld = false;
            }
            const std::size_t word = FindFirst<SpaceOrSemicolon>(data, size, at);
            std::memcpy(out, data + at, word - at);
            out += word - at;
            at = word;
            m_started = true;
        }
    }
    if (m_inComment && m_showComments) {
        // The comment is the line's untouched text from its first ";".
        std::memcpy(out, data + at, size - at);
        out += size - at;
    }
    return out;
}

std::string_view LineSplitter::Collapse(std::string_view content, std::size_t doubled) {
    // Each run of spaces keeps its first; the content ends in a non-space, so every run is
    // followed by the next word.
    const char* const text = content.data();
    const std::size_t size = content.size();
    m_collapsed.assign(text, doubled + 1);
    for (;;) {
        const std::size_t word = FindFirst<NotSpace>(text, size, doubled + 1);
        doubled = FindDoubleSpace(text, size, word);
        if (doubled == size) {
            m_collapsed.append(text + word, size - word);
            break;
        }
        m_collapsed.append(text + word, doubled + 1 - word);
    }
    return m_collapsed;
}

} // namespace ini
