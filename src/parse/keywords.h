#pragma once

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

    // A quick "no": whether some block name of this length, lower-cased first letter and
    // lower-cased second letter ('\0' for a one-letter word) opens a block inside `parent`. Most
    // lines of a file are turned away here without a search.
    bool MayOpen(PathNode parent, std::size_t length, char lowerFirst,
                 char lowerSecond) const noexcept {
        if (length > m_longestName || parent >= m_nodes.size())
            return false;
        const std::size_t group = GroupOf(parent, length);
        return (m_firstLetters[group] & LetterBit(lowerFirst)) != 0 &&
               (m_secondLetters[group] & LetterBit(lowerSecond)) != 0;
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
    static std::uint32_t LetterBit(char c) noexcept {
        return c >= 'a' && c <= 'z' ? 1u << (c - 'a') : 1u << 31;
    }

    std::vector<std::string> m_grow;
    std::vector<std::string> m_table;
    std::vector<Node> m_nodes;
    std::size_t m_longestName = 0;
    // For each group (parent, name length): a bit per first letter of the listed names there,
    // and one per second letter.
    std::vector<std::uint32_t> m_firstLetters;
    std::vector<std::uint32_t> m_secondLetters;
    // The listed nodes, group by group; group g is m_grouped[m_groupStart[g]] up to
    // m_grouped[m_groupStart[g + 1]].
    std::vector<PathNode> m_grouped;
    std::vector<std::uint32_t> m_groupStart;
};

// ASCII-only lower-casing: A-Z change, every other byte stays as it is.
inline char ToLowerAscii(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string ToLowerAscii(std::string_view text);

} // namespace ini
