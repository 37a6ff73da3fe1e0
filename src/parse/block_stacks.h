#pragma once

#include "parse/keywords.h"
#include "parse/node_key.h"

#include <array>
#include <span>
#include <string_view>

namespace ini {

enum class LineClass : int { Opener = 1, Ordinary = 2, End = 3 };

// What the classifier found out about one line's content.
struct Classification {
    LineClass lineClass = LineClass::Ordinary;
    // The lower-cased first word for an opener, owned by the keyword table; "end" for an end
    // line; empty for an ordinary line, whose first word nobody needs.
    std::string_view firstWord;
    // The block path the opener reaches; noBlockOpen for other lines.
    PathNode path = noBlockOpen;
};

// The blocks open at one point of a line walk, outermost first. `OpenKeys` holds the key of each
// block's opening line; the path of each is kept beside it, and only UpdateOpenBlocks changes
// them. Openers are pushed only when their whole path is known, so the depth never exceeds the
// longest path in the keyword table.
class BlockStacks {
public:
    std::span<const NodeKey> OpenKeys() const noexcept { return {m_keys.data(), m_depth}; }
    bool Empty() const noexcept { return m_depth == 0; }
    std::size_t Depth() const noexcept { return m_depth; }
    // The path of the innermost open block, noBlockOpen when none is open.
    PathNode TopPath() const noexcept { return m_depth == 0 ? noBlockOpen : m_paths[m_depth - 1]; }

    // Opener: push. End: pop the innermost block; an end with nothing open changes nothing (a
    // stray "End" must not stop the walk). Ordinary line: nothing.
    void UpdateOpenBlocks(const Classification& line, NodeKey key) noexcept {
        if (line.lineClass == LineClass::Opener) {
            // An opener's path is listed, so the depth stays within the table's deepest path.
            m_keys[m_depth] = key;
            m_paths[m_depth] = line.path;
            ++m_depth;
        } else if (line.lineClass == LineClass::End && m_depth > 0) {
            --m_depth;
        }
    }

private:
    std::size_t m_depth = 0;
    std::array<NodeKey, Keywords::maxPathDepth> m_keys{};
    std::array<PathNode, Keywords::maxPathDepth> m_paths{};
};

// Classifies a non-empty content: an opener when the open blocks' names followed by the
// content's lower-cased first word form a known block path; an end line when that first word is
// "end" in any case (this wins over the table); otherwise an ordinary line. Only the space
// separates words, so "Object=Alpha" and a first word starting with a tab never open a block.
Classification ClassifyLine(std::string_view content, const BlockStacks& stacks,
                            const Keywords& keywords) noexcept;
// The opener a first word that passed Keywords::MayOpen makes inside `parent`, if any.
inline Classification FindOpener(std::string_view firstWord, PathNode parent,
                                 const Keywords& keywords) noexcept {
    if (const PathNode path = keywords.FindChild(parent, firstWord); path != noBlockOpen)
        return {LineClass::Opener, keywords.NameOf(path), path};
    return {};
}

// Whether a line's first word makes it a block end: "end" in any case. Ends get no node.
inline bool IsEndWord(std::string_view firstWord) noexcept {
    return firstWord.size() == 3 && ToLowerAscii(firstWord[0]) == 'e' &&
           ToLowerAscii(firstWord[1]) == 'n' && ToLowerAscii(firstWord[2]) == 'd';
}

// The same as ClassifyLine, given only the content's first word (see FirstWordOf). Inline, as
// most lines are turned away after a look at the word's length and first two letters.
inline Classification ClassifyFirstWord(std::string_view firstWord, const BlockStacks& stacks,
                                        const Keywords& keywords) noexcept {
    if (firstWord.empty())
        return {};
    if (IsEndWord(firstWord))
        return {LineClass::End, "end", noBlockOpen};
    const PathNode parent = stacks.TopPath();
    if (!keywords.MayOpen(parent, firstWord))
        return {};
    return FindOpener(firstWord, parent, keywords);
}

} // namespace ini
