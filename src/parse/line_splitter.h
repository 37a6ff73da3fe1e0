#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ini {

// One line cut into what the outline shows.
//
// `content` is the text before the first ";" with leading and trailing spaces removed and every
// run of spaces inside collapsed to one. Only the space counts as white space: a tab is an
// ordinary character. `commentTail` is the line's untouched text from its first ";" to the end
// when comments are shown, else empty. The comment as a node shows it is four spaces followed
// by that tail; the four spaces are implied here so that no line needs a copy of its own.
struct SplitLine {
    std::string_view content;
    std::string_view commentTail;

    static constexpr std::string_view commentLead = "    ";

    bool HasComment() const noexcept { return !commentTail.empty(); }
    // The comment with its four leading spaces, or empty.
    std::string Comment() const;
    // Content immediately followed by the comment: the text of an outline node.
    std::string NodeText() const;
    void AppendNodeText(std::string& out) const;
};

// Where the spaces and semicolons of a line shorter than 64 bytes are: bit i stands for byte i.
struct LineBytes {
    std::uint64_t spaces = 0;
    std::uint64_t semicolons = 0;
};

// Bytes that may be read past a short line handed to WriteNodeTextFast, and that it may write
// past what it wrote.
inline constexpr std::size_t shortLineSlack = 64;

// The lowest `count` bits of such masks set; `count` is below 64.
constexpr std::uint64_t LowBits(std::size_t count) noexcept {
    return (std::uint64_t{1} << count) - 1;
}

// Splits lines into content and comment. The views it returns point into the line passed in,
// or into this splitter's own buffer when spaces had to be collapsed; they stay valid until the
// next call.
class LineSplitter {
public:
    SplitLine ParseLine(std::string_view data, bool showComments);

private:
    // The content with each run of spaces cut to one; `doubled` is where the first run starts.
    std::string_view Collapse(std::string_view content, std::size_t doubled);

    std::string m_collapsed;
};

// The node text ParseLine gives (content, then the comment with its lead when shown), written
// straight to `out` for a line shorter than 64 bytes: the fast variant that ini-outline's printer
// needs, held to ParseLine by a test. `bytes` say where the line's spaces and semicolons are, as
// the cutter found them (CutLine::bytes). It copies in blocks of
// shortLineSlack bytes, so that many bytes past the line must be readable, and `out` must have
// room for the line, the comment's lead and shortLineSlack more. Gives the end.
char* WriteNodeTextFast(char* out, std::string_view line, bool showComments,
                        LineBytes bytes) noexcept;

// The node text of a line handed over in parts, made by the rules of ParseLine without holding
// the line: for a line too long to keep whole. Parts come in order and hold no terminator.
class NodeTextParts {
public:
    // Bytes Add may write beyond the part's own size: the comment's lead, and a space held back
    // from the part before.
    static constexpr std::size_t extraBytes = SplitLine::commentLead.size() + 1;

    explicit NodeTextParts(bool showComments = false) noexcept : m_showComments(showComments) {}
    // Writes what `part` adds to the node text at `out`, which has room for the part and
    // extraBytes more; gives the end.
    char* Add(char* out, std::string_view part) noexcept;

private:
    bool m_showComments;
    bool m_inComment = false; // the first ";" has come
    bool m_started = false;   // content was written
    bool m_spaceHeld = false; // spaces after content: one is written if more content follows
};

// A node's text in the form the outline keeps it: the line and whether comments were shown when
// the node was made. The text itself (content, then comment) is made only when asked for, so
// building an outline copies no text at all.
struct NodeText {
    std::string_view line;
    bool showComments = false;

    std::string ToString() const;
};

// The first word of a line's content, found without building the content: leading spaces are
// skipped and the word runs to the next space or ";". Empty exactly when the content is empty.
std::string_view FirstWordOf(std::string_view line) noexcept;
// The word after `word`, a word of `line` (a view into it) such as its first: found the same way
// in the rest of the line (a definition's name after its type), or empty.
std::string_view WordAfter(std::string_view line, std::string_view word) noexcept;
// WordAfter for a line shorter than 64 bytes, read off the masks the cutter made of it
// (CutLine::bytes): the fast variant the folder index needs, held to WordAfter by a test.
std::string_view WordAfterFast(std::string_view line, std::string_view word,
                               LineBytes bytes) noexcept;

} // namespace ini
