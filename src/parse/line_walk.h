#pragma once

#include "parse/block_stacks.h"
#include "parse/keywords.h"
#include "parse/line_ends.h"
#include "parse/line_splitter.h"
#include "parse/node_key.h"

#include <algorithm>
#include <concepts>
#include <functional>
#include <string_view>

namespace ini {

// One non-empty line as a node step sees it. `stacks` are the blocks open before this line, so
// an opener is judged while its own block is not open yet and an end line while the block it
// closes still is.
struct WalkedLine {
    LineIndex index;
    LineClass lineClass;
    NodeText text;
    const BlockStacks& stacks;
    // The line's first word as it stands (FirstWordOf), which decided its class.
    std::string_view firstWord;
    // Where the line's spaces and semicolons are, when the cutter found out (a line shorter than
    // 64 bytes cut by CutCompleteLinesFast); for WriteNodeTextFast.
    const LineBytes* bytes = nullptr;
};

enum class WalkOutcome { Finished, Stopped };

// The line walk every outline builder shares, one line at a time: a line whose content is empty
// is skipped; any other is classified against the walk's own stacks, then pending events get
// their chance, then the caller's node step runs, then the stacks are updated. Only the first
// word decides the class, so the content is never built here; the node step gets the text in
// its lazy form.
//
// `showComments()` is asked once per non-empty line (the only lines whose text anybody sees),
// so a change of the switch takes effect from the next line. `letEventsRun()` is called once per
// non-empty line and returns false to stop the walk (the window is closing, say); the caller
// decides how often it really runs events.
template <typename ShowComments, typename NodeStep, typename LetEventsRun> class LineWalker {
public:
    LineWalker(const Keywords& keywords, ShowComments showComments, NodeStep nodeStep,
               LetEventsRun letEventsRun)
        : m_keywords(keywords), m_showComments(std::move(showComments)),
          m_nodeStep(std::move(nodeStep)), m_letEventsRun(std::move(letEventsRun)) {}

    // Walks line `index`; false once the walk was stopped.
    bool Step(LineIndex index, std::string_view line) {
        return Step(index, line, FirstWordOf(line));
    }
    // The same for a line as the cutter hands it out, with what it found out.
    bool Step(LineIndex index, const CutLine& line) {
        return Step(index, line.text, line.firstWord, line.classed ? &line.bytes : nullptr);
    }
    // The same, given the line's first word as FirstWordOf finds it.
    bool Step(LineIndex index, std::string_view line, std::string_view word,
              const LineBytes* bytes = nullptr) {
        if (word.empty())
            return true;
        const Classification found = ClassifyFirstWord(word, m_stacks, m_keywords);
        const bool comments = m_showComments();
        if (!m_letEventsRun())
            return false;
        m_nodeStep(
            WalkedLine{index, found.lineClass, NodeText{line, comments}, m_stacks, word, bytes});
        m_stacks.UpdateOpenBlocks(found, NodeKey{index});
        return true;
    }

    // Keeps the stacks right for a line that nobody looks at, given its first word: no node step,
    // no events. Most lines of a file stand inside blocks, and a walk that shows only the top
    // level needs them for nothing else.
    void Pass(LineIndex index, std::string_view word) noexcept {
        if (!word.empty())
            m_stacks.UpdateOpenBlocks(ClassifyFirstWord(word, m_stacks, m_keywords),
                                      NodeKey{index});
    }

    // The blocks open after the lines walked so far.
    const BlockStacks& Stacks() const noexcept { return m_stacks; }

private:
    const Keywords& m_keywords;
    ShowComments m_showComments;
    NodeStep m_nodeStep;
    LetEventsRun m_letEventsRun;
    BlockStacks m_stacks;
};

// Anything that hands out lines by index.
template <typename Lines>
concept LineSource = requires(const Lines& lines, LineIndex i) {
    { lines.Count() } -> std::convertible_to<std::size_t>;
    { lines.Line(i) } -> std::convertible_to<std::string_view>;
};

// A source that can cut a run of its lines again in one pass, first words included, handing
// each to onLine(CutLine) until that returns false.
template <typename Lines>
concept CutsLines = requires(const Lines& lines, LineIndex i, bool (*onLine)(const CutLine&)) {
    lines.CutLines(i, i, onLine);
};

// The walk over the lines from `first` to `last` of a source (both included; indices past the
// source's end are not walked), with fresh stacks.
template <LineSource Lines, typename ShowComments, typename NodeStep, typename LetEventsRun>
WalkOutcome WalkLines(const Lines& lines, LineIndex first, LineIndex last, const Keywords& keywords,
                      ShowComments&& showComments, NodeStep&& nodeStep,
                      LetEventsRun&& letEventsRun) {
    const std::size_t count = lines.Count();
    if (count == 0 || first > last || first >= count)
        return WalkOutcome::Finished;
    last = std::min<LineIndex>(last, count - 1);
    LineWalker walker(keywords, std::ref(showComments), std::ref(nodeStep), std::ref(letEventsRun));
    if constexpr (CutsLines<Lines>) {
        LineIndex index = first;
        bool stopped = false;
        lines.CutLines(first, last, [&](const CutLine& line) {
            stopped = !walker.Step(index++, line);
            return !stopped;
        });
        return stopped ? WalkOutcome::Stopped : WalkOutcome::Finished;
    } else {
        for (LineIndex i = first; i <= last; ++i) {
            if (!walker.Step(i, lines.Line(i)))
                return WalkOutcome::Stopped;
        }
        return WalkOutcome::Finished;
    }
}

} // namespace ini
