#pragma once

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace ini {

// 0-based index of a line in the loaded file.
using LineIndex = std::size_t;

// The only link from an outline node back to the file: "Key_" followed by the decimal 0-based
// line index. The text form is made and read here and nowhere else.
struct NodeKey {
    LineIndex line = 0;

    static constexpr std::string_view prefix = "Key_";

    std::string ToString() const;

    // Reads a key back the tolerant way: every "Key_" is removed (exact case) and the rest must
    // be plain decimal digits that fit a line index. Anything else gives nothing.
    static std::optional<NodeKey> Parse(std::string_view text);

    friend auto operator<=>(const NodeKey&, const NodeKey&) = default;
};

// The text of one key, held without allocating. Moving on to a later line's key counts up in
// decimal when the line is near, which costs a digit or two a step where formatting anew costs
// a division for every two digits. Made for walks that write keys of lines in order.
class KeyText {
public:
    static constexpr std::size_t mostDigits = 20; // of a 64-bit line index
    static constexpr std::size_t mostBytes = NodeKey::prefix.size() + mostDigits;

    explicit KeyText(NodeKey key) noexcept;

    std::string_view Text() const noexcept { return {m_text, m_size}; }
    // Writes the text at `at`, which has room for mostBytes (all of which may be written to);
    // gives its end. A copy of fixed size costs less than one of the text's own size.
    char* WriteTo(char* at) const noexcept {
        std::memcpy(at, m_text, mostBytes);
        return at + m_size;
    }
    NodeKey Key() const noexcept { return m_key; }
    void Next() noexcept {
        ++m_key.line;
        if (char& last = m_text[m_size - 1]; last != '9')
            ++last;
        else
            Carry();
    }
    // Moves on to `key`, counting up when it is a few lines on and formatting it anew otherwise.
    void MoveTo(NodeKey key) noexcept {
        if (key.line < m_key.line || key.line - m_key.line > 16)
            *this = KeyText(key);
        while (m_key.line < key.line)
            Next();
    }

private:
    void Carry() noexcept;

    NodeKey m_key;
    char m_text[mostBytes] = {};
    std::size_t m_size = 0;
};

} // namespace ini
