#pragma once

#include "parse/line_ends.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace ini {

// Only spaces separate words and indent a line, so a first word may hold another blank (a tab,
// say), before or after a block name, and then names no block. These are the bytes that may be
// or start such a blank: a control byte or one from 0x80 up (the no-break space in either
// encoding).
constexpr bool MayBeOtherBlank(char c) noexcept {
    return static_cast<signed char>(c) < 0x20;
}

// Whether `word` holds a byte that may be a blank other than the space.
inline bool MayHoldOtherBlank(std::string_view word) noexcept {
    bool found = false;
    for (std::size_t at = 0; at < word.size(); ++at)
        found |= MayBeOtherBlank(word[at]);
    return found;
}

// The same, eight bytes at a time where `line`, which `word` is a view into, has them: lines
// whose first word may begin a block name often start with a long one (ConditionState).
inline bool MayHoldOtherBlankFast(std::string_view word, std::string_view line) noexcept {
    const auto lineLeft = static_cast<std::size_t>(line.data() + line.size() - word.data());
    std::size_t at = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; at < word.size() && lineLeft - at >= 8; at += 8) {
            std::uint64_t bytes = 0;
            std::memcpy(&bytes, word.data() + at, sizeof bytes);
            // A byte from 0x80 up has its top bit; 0x60 added to the low seven bits of one below
            // 0x20 leaves the top bit clear, and carries into no other byte.
            constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7F, top = 0x8080808080808080;
            const std::uint64_t odd = (bytes | ~((bytes & low7) + 0x6060606060606060)) & top;
            const std::size_t inWord = std::min<std::size_t>(8, word.size() - at);
            if ((odd & (~std::uint64_t{0} >> (64 - 8 * inWord))) != 0)
                return true;
        }
    }
    bool found = false;
    for (; at < word.size(); ++at)
        found |= MayBeOtherBlank(word[at]);
    return found;
}

// Finds, in a text that grows as it is read, the lines whose first word may hold another blank
// (MayHoldOtherBlank(FirstWordOf(line)), lines as LineEndScanner cuts them). Most files have none,
// so a walk told where they are need not look at every first word. Each byte is looked at about
// once, whatever the lines' lengths.
class OtherBlankWords {
public:
    // The text's first line starts at `firstLine` (past a byte order mark).
    explicit OtherBlankWords(std::size_t firstLine = 0) : m_firstLine(firstLine), m_at(firstLine) {}

    // `text` is the whole text so far, which only ever grows; gives onLine(offset) the start of
    // each such line not given before that the bytes so far tell of, in rising order.
    template <typename OnLine> void Scan(std::string_view text, OnLine&& onLine);

    // The first byte from `from` that may be another blank and ends no line, or the text's size.
    static std::size_t FindOtherBlank(std::string_view text, std::size_t from) noexcept;

private:
    // Where the line that holds the byte at `at` starts.
    std::size_t LineStart(std::string_view text, std::size_t at) const noexcept;
    // Whether the byte at `at` stands in the first word of its line, which starts at `line`.
    static bool InFirstWord(std::string_view text, std::size_t line, std::size_t at) noexcept;

    std::size_t m_firstLine;
    std::size_t m_at;        // where the scan goes on
    bool m_lineDone = false; // the line at m_at is judged: only its end matters now
};

template <typename OnLine> void OtherBlankWords::Scan(std::string_view text, OnLine&& onLine) {
    while (m_at < text.size()) {
        if (m_lineDone) {
            const std::size_t end = FindLineBreak(text, m_at);
            m_at = std::min(end + 1, text.size());
            m_lineDone = end == text.size();
            continue;
        }
        const std::size_t at = FindOtherBlank(text, m_at);
        if (at == text.size()) {
            m_at = at;
            return;
        }
        // Either way the rest of the line can change nothing.
        if (const std::size_t line = LineStart(text, at); InFirstWord(text, line, at))
            onLine(line);
        m_lineDone = true;
        m_at = at + 1;
    }
}

} // namespace ini
