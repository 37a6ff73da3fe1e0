#pragma once

#include "parse/big_buffer.h"
#include "parse/block_stacks.h"
#include "parse/keywords.h"
#include "parse/line_splitter.h"
#include "parse/line_walk.h"
#include "parse/other_blanks.h"

#include <array>
#include <cassert>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ini {

// A mistake in a block file: what the rules made of a line that was likely meant otherwise.
struct Problem {
    LineIndex line = 0; // 0-based, as node keys count
    std::string message;
    // The line stands outside every block and has no node (an end line with no block open): it
    // belongs to no block, so the outline shows it at the top-level node before it.
    bool betweenBlocks = false;

    friend bool operator==(const Problem&, const Problem&) = default;
};

// The walk's sink that finds the mistakes modders make most, as the walk passes them (no second
// pass over the file):
// - a block still open at the end of the file, which swallowed every line after its opener
//   (every block open there is named);
// - an end line with no block open, which the walk passes over;
// - a line whose first word starts with a block name known where it stands, followed by a tab
//   or another blank that is not a space: only spaces separate words, so it opens no block;
//   the same after an end word inside a block, which then closes nothing; and the same for
//   such a name or end word indented with a tab, since only spaces indent a line;
// - a line at the very start of its line, inside a block, whose first word opens a block at the
//   top level and which names one (`Weapon GunB`, not `Weapon = GunB`): where it stands it opens
//   nothing, and the likely cause is an End missing above it, which hides that block;
// - a top-level opener named "=" (`Object = Factory`): the form of a value inside a block, left
//   outside it by an End too many;
// - a top-level block's name that holds a tab or another blank (`Object Tank<TAB>; x`);
// - the same block type and name defined twice at the top level (both lines are named);
// - a file of UTF-16 text, which is read byte for byte, so none of its words is read as written.
class StructureChecks {
public:
    // Where the lines of blocks still open at the end come from: copied as the walk passes them
    // (a walk over pieces that go round), or looked up at the end in lines that stay (the
    // load's line store), which spares a copy per opener.
    enum class Openers { Copied, LookedUp };
    explicit StructureChecks(const Keywords& keywords, Openers openers = Openers::Copied)
        : m_keywords(keywords), m_copyOpeners(openers == Openers::Copied) {}

    // Inline, with the rare cases out of line: it runs for every line of a load. How deep a line
    // stands is the walk's to know: its stacks say it. With Openers::Copied, a line's text must
    // stay until LinesLeaving() or Finish().
    void Line(const WalkedLine& line) { m_copyOpeners ? See<true>(line) : See<false>(line); }
    // The lines seen so far are about to leave memory: the openers of the blocks open now are
    // copied (with Openers::Copied), so that a walk copies a few lines per piece, not every
    // opener.
    void LinesLeaving();
    // The same for a walk over lines that stay (Openers::LookedUp), such as the load's: with
    // nothing to copy, the walk carries no code for it.
    void LineThatStays(const WalkedLine& line) {
        assert(!m_copyOpeners);
        See<false>(line);
    }
    bool Stopped() const noexcept { return false; }
    // The file's first bytes, before any line: they tell a file of UTF-16 text.
    void TextStarts(std::string_view bytes);
    // A line too long to hold whole (a walk over pieces that go round) comes as its first word;
    // the rest of an opener's bytes come through LongPart, for its name and its quoted start.
    bool LongLine(const WalkedLine& line);
    void LongPart(std::string_view part);
    void LongEnd();
    // Until told otherwise the checks look at every first word for another blank. A reader that
    // finds the lines that hold one (OtherBlankWords) tells them here, piece by piece, before the
    // walk reaches those lines (`starts` point at them, in rising order); from then on only those
    // lines are looked at. Nothing, from a reader that does not know, means every line again.
    // With Openers::Copied, where the walk's lines do not stay, only "none" is taken.
    void LinesWithOtherBlanks(std::optional<std::span<const char* const>> starts);
    // The file holds `bytes`: a guess from typical block sizes (a top-level block per KiB or
    // more) saves most regrowth of the list of definitions.
    void ExpectBytes(std::uint64_t bytes) { m_definitions.reserve(bytes / 1024); }
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
    template <bool copyOpeners> void See(const WalkedLine& line) {
        if (line.lineClass == LineClass::Ordinary) {
            // Where top-level openers stand, at the very start of a line: a block there that is
            // still open likely misses its End.
            if (line.firstWord.data() == line.text.line.data() && !line.stacks.Empty() &&
                m_keywords.MayOpen(noBlockOpen, line.firstWord))
                CheckMissingEnd(line.index, line.text.line, line.firstWord, line.stacks);
            // The rare case gets the parts of the line it needs, not the line: a line that stays
            // in registers is cheaper for the walk than one made in memory for every call. Where
            // lines stay, a reader marks the few with another blank in their first word, and the
            // walk keeps no more than the line's start for this test.
            if constexpr (copyOpeners) {
                if (reinterpret_cast<std::uintptr_t>(line.text.line.data()) >= m_nextMarked &&
                    MayBeginNameOrBlank(line.stacks.TopPath(), line.firstWord) &&
                    MayHoldOtherBlankFast(line.firstWord, line.text.line))
                    CheckBlank(line.index, line.text.line, line.firstWord, line.stacks);
            } else if (reinterpret_cast<std::uintptr_t>(line.text.line.data()) >= m_nextMarked) {
                LookForBlank(line.index, line.text.line, line.stacks);
            }
            return;
        }
        // Kept raw, and made a node's text only if the block is never closed.
        if constexpr (copyOpeners) {
            if (line.lineClass == LineClass::Opener) {
                const std::size_t depth = line.stacks.Depth();
                m_openerLines[depth] = line.text.line.substr(0, mostQuoted);
                m_openersToCopy |= std::uint64_t{1} << depth;
            }
        }
        if (line.stacks.Empty())
            TopLevel(line.lineClass == LineClass::End, line.index, line.text.line);
        else if (line.lineClass == LineClass::End && line.stacks.Depth() == 1)
            ClosedAtTopLevel(line.stacks.OpenKeys().front().line, line.index);
    }

    // How much of an opener's line a message quotes.
    static constexpr std::size_t mostQuoted = 200;

    // Passes the marks up to `line`, which the walk has reached; whether it is marked.
    bool PassMarked(const char* line);
    // CheckBlank for a line at or past the next mark (every line when none are known). Its first
    // word is found again, so that the walk need not keep it for this call.
    void LookForBlank(LineIndex index, std::string_view line, const BlockStacks& stacks);
    void Add(LineIndex line, std::string message, bool betweenBlocks = false);
    void StrayEnd(LineIndex index, std::string_view text);
    // Out of line, so that the walk's step stays small enough to be inlined.
    void ClosedAtTopLevel(LineIndex opener, LineIndex end) noexcept;
    // An end line or an opener while no block is open (its first word is found again, as above).
    void TopLevel(bool end, LineIndex index, std::string_view text);
    // Whether a first word may start with a block name or end word known inside `parent`, or
    // with another blank before one.
    bool MayBeginNameOrBlank(PathNode parent, std::string_view firstWord) const noexcept {
        return MayBeOtherBlank(firstWord.front()) ||
               m_keywords.MayBeginNameOrEnd(parent, firstWord);
    }
    // `firstWord` is a view into `line`.
    void CheckBlank(LineIndex index, std::string_view line, std::string_view firstWord,
                    const BlockStacks& stacks);
    // CheckBlank for a first word that starts with another blank.
    void CheckIndented(LineIndex index, std::string_view line, std::string_view firstWord,
                       const BlockStacks& stacks);
    // Adds the problem of a name or end word `meant` that opens or closes nothing where it
    // stands, `written` with a blank or a byte that does not show in the line's first word:
    // `why` that is, and `fix` what to do.
    void AddUnseen(LineIndex index, std::string_view written, std::string_view firstWord,
                   std::string_view meant, std::string_view why, std::string_view fix,
                   const BlockStacks& stacks);
    // Counts a problem found now when no more are kept, so that its message need not be made;
    // whether it did.
    bool Counted();
    void CheckMissingEnd(LineIndex index, std::string_view text, std::string_view firstWord,
                         const BlockStacks& stacks);
    void CheckDefinition(LineIndex index, std::string_view text, std::string_view firstWord);
    void AddDefinition(LineIndex index, std::string_view type, std::string_view name);
    // Once the walk ended: sorts the problems by line and keeps the first mostProblems.
    void KeepFirstByLine();

    const Keywords& m_keywords;
    bool m_copyOpeners;
    // With Openers::Copied: the line of the last opener at each depth, up to mostQuoted bytes,
    // where the walk saw it or, for those marked in m_openersToCopy, copied.
    std::array<std::string_view, Keywords::maxPathDepth> m_openerLines;
    std::array<std::string, Keywords::maxPathDepth> m_openers;
    std::uint64_t m_openersToCopy = 0;
    std::vector<LineIndex> m_openAtEnd; // the openers' lines of the blocks open at the end
    // A top-level definition; the twice defined are told apart at the end (DefinitionCounts),
    // through hashes made while the words were at hand, so each costs no allocation on the way. Its
    // type and name are found again in its line where lines stay, and copied to m_written
    // otherwise (m_copied says where).
    struct Definition {
        std::uint64_t hash; // DefinitionCounts::HashOf its type and name
        LineIndex line;
    };
    struct CopiedWords {
        std::size_t typeAt; // the name follows the type
        std::uint32_t typeSize;
        std::uint32_t nameSize;
    };
    using LineText = std::function<std::string_view(LineIndex)>;
    struct Words {
        std::string_view type;
        std::string_view name;
    };
    Words WordsOf(std::size_t definition, const LineText& lineText) const;
    void ReportDuplicates(const LineText& lineText);
    BigArray<Definition> m_definitions; // in huge pages: a load of many blocks faults far less
    std::vector<CopiedWords> m_copied;  // with Openers::Copied, one per definition
    std::string m_written;
    std::vector<Problem> m_problems;
    std::size_t m_uncounted = 0;
    bool m_finishing = false; // the walk ended: problems come in any order
    // A top-level opener too long to hold whole, its name gathered part by part.
    // A long opener's line as its parts come: its name when it is a definition, and its start
    // for the message about a block never closed.
    struct LongDefinition {
        LineIndex index = 0;
        std::string type;
        std::string name;
        bool nameDone = false;
        bool defines = false;
        std::optional<std::size_t> quotedDepth; // of the opener whose line is quoted
    };
    LongDefinition m_long;
    // The last top-level block closed so far, when one was: its opener's line and its end's.
    struct ClosedBlock {
        LineIndex opener;
        LineIndex end;
    };
    std::optional<ClosedBlock> m_lastClosed;
    LineSplitter m_splitter;
    // With marked lines: those the walk has not reached yet, from m_markedAt on, and where the
    // next starts (past every line when none is left); without, 0: every line is looked at.
    bool m_marked = false;
    std::vector<std::uintptr_t> m_markedLines;
    std::size_t m_markedAt = 0;
    std::uintptr_t m_nextMarked = 0;
};

} // namespace ini
