#pragma once

#include "parse/block_stacks.h"
#include "parse/keywords.h"
#include "parse/line_splitter.h"
#include "parse/line_walk.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ini {

// A mistake in a block file: what the rules made of a line that was likely meant otherwise.
struct Problem {
    LineIndex line = 0; // 0-based, as node keys count
    std::string message;

    friend bool operator==(const Problem&, const Problem&) = default;
};

// Whether `word` holds, after its first byte, one that may be a blank other than the space: a
// control byte or one from 0x80 up (the no-break space in either encoding).
inline bool MayHoldOtherBlank(std::string_view word) noexcept {
    bool found = false;
    for (std::size_t at = 1; at < word.size(); ++at)
        found |= static_cast<signed char>(word[at]) < 0x20;
    return found;
}

// The same, eight bytes at a time where `line`, which `word` is a view into, has them. It runs
// for every line whose first word may begin a block name: a load of the 100 MB file is about 5%
// faster with it than with the loop above.
inline bool MayHoldOtherBlankFast(std::string_view word, std::string_view line) noexcept {
    const auto lineLeft = static_cast<std::size_t>(line.data() + line.size() - word.data());
    std::size_t at = 1;
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
        found |= static_cast<signed char>(word[at]) < 0x20;
    return found;
}

// The walk's sink that finds the mistakes modders make most, as the walk passes them (no second
// pass over the file):
// - a block still open at the end of the file, which swallowed every line after its opener
//   (every block open there is named);
// - an end line with no block open, which the walk passes over;
// - a line whose first word starts with a block name known where it stands, followed by a tab
//   or another blank that is not a space: only spaces separate words, so it opens no block;
// - the same block type and name defined twice at the top level (both lines are named).
class StructureChecks {
public:
    // Where the lines of blocks still open at the end come from: copied as the walk passes them
    // (a walk over pieces that go round), or looked up at the end in lines that stay (the
    // load's line store), which spares a copy per opener.
    enum class Openers { Copied, LookedUp };
    explicit StructureChecks(const Keywords& keywords, Openers openers = Openers::Copied)
        : m_keywords(keywords), m_copyOpeners(openers == Openers::Copied) {}

    // Inline, with the rare cases out of line: it runs for every line of a load. How deep a line
    // stands is the walk's to know: its stacks say it.
    void Line(const WalkedLine& line) { See(line, m_copyOpeners); }
    // The same for a walk over lines that stay (Openers::LookedUp), such as the load's: with
    // nothing to copy, the walk carries no code for it.
    void LineThatStays(const WalkedLine& line) {
        assert(!m_copyOpeners);
        See(line, false);
    }
    bool Stopped() const noexcept { return false; }
    // The walk has passed the last line; `open` are the blocks still open then.
    void End(const BlockStacks& open);
    // After End: names the blocks still open, and puts the problems in file order. With
    // Openers::LookedUp, `lineText` gives a line's bytes.
    void Finish(const std::function<std::string_view(LineIndex)>& lineText = {});
    const std::vector<Problem>& Problems() const noexcept { return m_problems; }
    std::vector<Problem> TakeProblems() noexcept { return std::move(m_problems); }

    // Most problems kept for one file: a file of nothing but stray end lines must not make a
    // list as large as itself. Those past it are only counted.
    static constexpr std::size_t mostProblems = 10'000;
    std::size_t Uncounted() const noexcept { return m_uncounted; }

private:
    void See(const WalkedLine& line, bool copyOpeners) {
        if (line.lineClass == LineClass::Ordinary) {
            // The rare case gets the parts of the line it needs, not the line: a line that stays
            // in registers is cheaper for the walk than one made in memory for every call.
            if (m_keywords.MayBeginName(line.stacks.TopPath(), line.firstWord) &&
                MayHoldOtherBlankFast(line.firstWord, line.text.line))
                CheckBlank(line.index, line.firstWord, line.stacks.TopPath());
            return;
        }
        // Kept raw, and made a node's text only if the block is never closed.
        if (copyOpeners && line.lineClass == LineClass::Opener)
            CopyOpener(line.stacks.Depth(), line.text.line);
        if (line.stacks.Empty())
            TopLevel(line.lineClass == LineClass::End, line.index, line.text.line, line.firstWord);
    }

    // How much of an opener's line a message quotes.
    static constexpr std::size_t mostQuoted = 200;

    void Add(LineIndex line, std::string message);
    void StrayEnd(LineIndex index, std::string_view text);
    void CopyOpener(std::size_t depth, std::string_view text);
    // An end line or an opener while no block is open.
    void TopLevel(bool end, LineIndex index, std::string_view text, std::string_view firstWord);
    void CheckBlank(LineIndex index, std::string_view firstWord, PathNode parent);
    void CheckDefinition(LineIndex index, std::string_view text, std::string_view firstWord);

    const Keywords& m_keywords;
    bool m_copyOpeners;
    // With Openers::Copied: the line of the last opener at each depth, up to mostQuoted bytes.
    std::array<std::string, Keywords::maxPathDepth> m_openers;
    std::vector<LineIndex> m_openAtEnd; // the openers' lines of the blocks open at the end
    // A top-level definition; the twice defined are told apart at the end (DefinitionCounts),
    // through hashes made while the words were at hand, so each costs no allocation on the way. Its
    // type and name are copied to m_written with Openers::Copied, and looked up in its line
    // otherwise.
    struct Definition {
        std::uint64_t hash; // DefinitionCounts::HashOf its type and name
        LineIndex line;
        std::size_t typeAt; // in m_written, or in its line
        std::size_t typeSize;
        std::size_t nameAt;
        std::size_t nameSize;
    };
    using LineText = std::function<std::string_view(LineIndex)>;
    struct Words {
        std::string_view type;
        std::string_view name;
    };
    Words WordsOf(const Definition& definition, const LineText& lineText) const;
    void ReportDuplicates(const LineText& lineText);
    std::vector<Definition> m_definitions;
    std::string m_written;
    std::vector<Problem> m_problems;
    std::size_t m_uncounted = 0;
    LineSplitter m_splitter;
};

} // namespace ini
