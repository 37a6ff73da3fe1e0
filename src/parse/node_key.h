#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
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

    std::string_view Text() const noexcept {
        return {reinterpret_cast<const char*>(m_words), m_size};
    }
    // Writes the text at `at`, which has room for mostBytes (all of which may be written to);
    // gives its end. A copy of fixed size costs less than one of the text's own size.
    char* WriteTo(char* at) const noexcept {
        // Word by word, as Next() stores them: a wider load over a store still in flight would
        // wait until that store, and every store before it, has reached the cache.
        for (std::size_t word = 0; word < words; ++word)
            std::memcpy(at + word * wordBytes, &m_words[word], wordBytes);
        return at + m_size;
    }
    NodeKey Key() const noexcept { return m_key; }
    void Next() noexcept {
        ++m_key.line;
        const std::size_t last = m_size - 1;
        if (Text()[last] != '9')
            m_words[last / wordBytes] += std::uint64_t{1} << (8 * (last % wordBytes));
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
    char* Bytes() noexcept { return reinterpret_cast<char*>(m_words); }
    void Carry() noexcept;

    static constexpr std::size_t wordBytes = sizeof(std::uint64_t);
    static constexpr std::size_t words = mostBytes / wordBytes;
    static_assert(mostBytes % wordBytes == 0 && std::endian::native == std::endian::little);

    NodeKey m_key;
    // The text's bytes; a byte's digit counts up as an add to its word.
    std::uint64_t m_words[words] = {};
    std::size_t m_size = 0;
};

} // namespace ini
