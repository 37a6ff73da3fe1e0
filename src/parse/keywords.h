#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ini {

// Position in the tree of known block paths: 0 is "no block open"; every other value stands for
// one known path, such as ;object;;draw;.
using PathNode = std::uint16_t;
inline constexpr PathNode noBlockOpen = 0;

// The compiled-in vocabulary of block types, keyed by nesting.
//
// `Grow` holds the known block paths as listed (mixed case, list order); `KeywordTable` holds
// them lower-cased in the same order. The lookups answer exactly what a search of
// `KeywordTable` for a whole path would answer, without building the path: since block names
// never hold ";", a path matches an entry exactly when its names match one by one, so the
// entries are kept as a tree of names. The children of a node are grouped by name length, and
// a group holds a few names at most, so a line costs a few comparisons and no hashing.
class Keywords {
public:
    // Appends the known paths to `Grow` and rebuilds `KeywordTable` and the lookup from it.
    // Meant to run once; a second run lists every path twice, as the table always has.
    void InitKeywords();

    const std::vector<std::string>& Grow() const noexcept { return m_grow; }
    const std::vector<std::string>& KeywordTable() const noexcept { return m_table; }

    // The path reached by opening a block named `name` (in any case) inside `parent`, or
    // noBlockOpen when that path is not in the table.
    PathNode FindChild(PathNode parent, std::string_view name) const noexcept;

    // The lower-cased block name of a path node (its last name), owned by this table.
    std::string_view NameOf(PathNode node) const noexcept { return m_nodes[node].name; }

    // Most names any listed path has: no walk ever has more blocks open than this.
    static constexpr std::size_t maxPathDepth = 8;

    // Longest block name anywhere in the table: a longer first word can open nothing.
    std::size_t LongestName() const noexcept { return m_longestName; }

    // A quick "no": whether some block name of the non-empty `word`'s length, first letter and
    // second letter (in any case) opens a block inside `parent`, a node of this table. Most
    // lines of a file are turned away here without a search.
    bool MayOpen(PathNode parent, std::string_view word) const noexcept {
        // Before InitKeywords the longest name is 0: nothing opens.
        if (word.size() > m_longestName)
            return false;
        const std::uint64_t letters = m_letters[GroupOf(parent, word.size())];
        const std::uint32_t second = LetterBit(word.size() > 1 ? word[1] : '\0');
        return (letters & LetterBit(word[0])) != 0 && ((letters >> 32) & second) != 0;
    }

    // The same quick "no" for any length: whether some block name known inside `parent`, or the
    // end word when `parent` is a block, starts with the first two letters of `word` (at least two
    // bytes; in any case); `parent` is a node of this table.
    bool MayBeginNameOrEnd(PathNode parent, std::string_view word) const noexcept {
        if (word.size() < 2)
            return false;
        const std::uint64_t letters = m_nameLetters[parent];
        return (letters & LetterBit(word[0])) != 0 && ((letters >> 32) & LetterBit(word[1])) != 0;
    }

private:
    struct Node {
        std::string name;
        PathNode parent = noBlockOpen;
        bool listed = false; // false for a name that only leads to longer listed paths
    };

    void BuildLookup();
    PathNode AddPath(std::string_view lowerPath);
    // Index of the group of names of one length inside `parent`, as MayOpen and FindChild use.
    std::size_t GroupOf(PathNode parent, std::size_t length) const noexcept {
        return parent * (m_longestName + 1) + length;
    }
    // A bit per letter, the same for both cases; every other byte shares bit 31.
    static std::uint32_t LetterBit(char c) noexcept {
        return letterBits[static_cast<unsigned char>(c)];
    }
    static constexpr std::array<std::uint32_t, 256> letterBits = [] {
        std::array<std::uint32_t, 256> bits{};
        for (std::size_t c = 0; c < bits.size(); ++c) {
            const std::size_t lower = c | 0x20;
            bits[c] =
                (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ? 1u << (lower - 'a') : 1u << 31;
        }
        return bits;
    }();

    std::vector<std::string> m_grow;
    std::vector<std::string> m_table;
    std::vector<Node> m_nodes;
    std::size_t m_longestName = 0;
    // For each group (parent, name length): a bit per first letter of the listed names there
    // (low half), and one per second letter (high half).
    std::vector<std::uint64_t> m_letters;
    // The same for all the names inside a parent, whatever their length, and "end" inside a block.
    // Never empty: before InitKeywords it holds the one node there is, with no names inside.
    std::vector<std::uint64_t> m_nameLetters = std::vector<std::uint64_t>(1);
    // The listed nodes, group by group; group g is m_grouped[m_groupStart[g]] up to
    // m_grouped[m_groupStart[g + 1]].
    std::vector<PathNode> m_grouped;
    std::vector<std::uint32_t> m_groupStart;
    // The name of m_grouped[i] at i * m_longestName, side by side, so that a search reads one
    // stretch of memory.
    std::string m_groupedNames;
    // The head of each of those names (see LoweredHead), to turn a word away with one comparison.
    std::vector<std::uint64_t> m_groupedHeads;
};

// ASCII-only lower-casing: A-Z change, every other byte stays as it is.
inline char ToLowerAscii(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string ToLowerAscii(std::string_view text);
// Whether two texts are the same in ASCII letters of any case.
inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (ToLowerAscii(a[i]) != ToLowerAscii(b[i]))
            return false;
    return true;
}

} // namespace ini
