#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

// The one place that knows how a block file is cut into lines.
//
// A CR, a CR LF pair and a lone LF each end a line; the terminator is not part of the line.
// A last line without terminator is a line; a terminator at the very end starts no further
// empty line; an empty text has no lines. A UTF-8 byte order mark at the very start of a file
// belongs to no line.

namespace ini {

// The text without a leading UTF-8 byte order mark, if it has one.
std::string_view StripUtf8Bom(std::string_view text) noexcept;

// Position of the first CR or LF at or after `from`, or the text's size when there is none.
std::size_t FindLineBreak(std::string_view text, std::size_t from) noexcept;

// Walks the lines of one text in order; each byte is looked at once.
class LineEndScanner {
public:
    explicit LineEndScanner(std::string_view text) noexcept : m_text(text) {}

    // The next line without its terminator, or nothing once the text is used up.
    std::optional<std::string_view> Next() noexcept;

    // Offset of the first byte not consumed yet (the start of the next line).
    std::size_t Position() const noexcept { return m_pos; }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

// Length of the line terminator at the end of a raw line span (0, 1 or 2 bytes).
// A span is the bytes from one line's start up to the next line's start.
std::size_t TerminatorLength(std::string_view span) noexcept;

} // namespace ini

namespace ini {

// Cuts the lines at the front of `bytes` whose end is known, calling onLine(line, start) for
// each with the line without its terminator and the offset where it starts. Within a text that
// goes on (`atEnd` false) a line ending in CR waits for the next byte, which may make it CR LF,
// and a last line without terminator waits too. `onLine` returns false to stop at once.
// Gives the offset of the first byte not consumed: the start of the first line not handed out.
template <typename OnLine>
std::size_t CutCompleteLines(std::string_view bytes, bool atEnd, OnLine&& onLine) {
    std::size_t start = 0;
    const std::size_t size = bytes.size();
    while (start < size) {
        const std::size_t end = FindLineBreak(bytes, start);
        std::size_t next;
        if (end == size) {
            if (!atEnd)
                break;
            next = size;
        } else if (bytes[end] == '\r') {
            if (end + 1 == size && !atEnd)
                break;
            next = end + 1 < size && bytes[end + 1] == '\n' ? end + 2 : end + 1;
        } else {
            next = end + 1;
        }
        if (!onLine(bytes.substr(start, end - start), start))
            return start;
        start = next;
    }
    return start;
}

} // namespace ini
