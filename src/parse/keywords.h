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
// entries are kept as a tree of names and one line costs one hash probe.
class Keywords {
public:
    // Appends the known paths to `Grow` and rebuilds `KeywordTable` and the lookup from it.
    // Meant to run once; a second run lists every path twice, as the table always has.
    void InitKeywords();

    const std::vector<std::string>& Grow() const noexcept { return m_grow; }
    const std::vector<std::string>& KeywordTable() const noexcept { return m_table; }

    // The path reached by opening a block named `lowerName` inside `parent`, or nothing when
    // that path is not in the table. `lowerName` must already be lower case.
    // Returns noBlockOpen for "not found".
    PathNode FindChild(PathNode parent, std::string_view lowerName) const noexcept;

    // The lower-cased block name of a path node (its last name), owned by this table.
    std::string_view NameOf(PathNode node) const noexcept { return m_nodes[node].name; }

    // Longest block name anywhere in the table: a longer first word can open nothing.
    std::size_t LongestName() const noexcept { return m_longestName; }

    // A quick "no": whether some block name of this length and lower-cased first letter opens a
    // block inside `parent`. Most lines of a file are turned away here without hashing.
    bool MayOpen(PathNode parent, std::size_t length, char lowerFirst) const noexcept {
        if (length > m_longestName || parent >= m_nodes.size())
            return false;
        return (m_firstLetters[parent * (m_longestName + 1) + length] & LetterBit(lowerFirst)) != 0;
    }

private:
    struct Node {
        std::string name;
        PathNode parent = noBlockOpen;
        bool listed = false; // false for a name that only leads to longer listed paths
    };
    struct Slot {
        std::uint32_t hash = 0;
        PathNode node = noBlockOpen; // noBlockOpen marks an empty slot
    };

    void BuildLookup();
    PathNode FindNode(PathNode parent, std::string_view lowerName) const noexcept;
    PathNode AddPath(std::string_view lowerPath);
    static std::uint32_t Hash(PathNode parent, std::string_view name) noexcept;
    static std::uint32_t LetterBit(char c) noexcept {
        return c >= 'a' && c <= 'z' ? 1u << (c - 'a') : 1u << 31;
    }

    std::vector<std::string> m_grow;
    std::vector<std::string> m_table;
    std::vector<Node> m_nodes;
    std::vector<Slot> m_slots; // open addressing over (parent, name); size is a power of two
    std::size_t m_longestName = 0;
    // For each (parent, name length): a bit per first letter of the listed names there.
    std::vector<std::uint32_t> m_firstLetters;
};

// ASCII-only lower-casing: A-Z change, every other byte stays as it is.
inline char ToLowerAscii(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string ToLowerAscii(std::string_view text);

} // namespace ini
