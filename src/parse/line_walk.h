#pragma once

#include "parse/block_stacks.h"
#include "parse/keywords.h"
#include "parse/line_splitter.h"
#include "parse/node_key.h"

#include <algorithm>
#include <concepts>
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
};

enum class WalkOutcome { Finished, Stopped };

// Anything that hands out lines by index.
template <typename Lines>
concept LineSource = requires(const Lines& lines, LineIndex i) {
    { lines.Count() } -> std::convertible_to<std::size_t>;
    { lines.Line(i) } -> std::convertible_to<std::string_view>;
};

// The line walk both outline builders share: for each line from `first` to `last` (both
// included; indices past the source's end are not walked) it skips a line whose content is
// empty, classifies it against the walk's own stacks, lets pending events run, runs the
// caller's node step and then updates the stacks. Only the first word decides the class, so the
// content is never built here; the node step gets the text in its lazy form.
//
// `showComments()` is asked once per non-empty line (the only lines whose text anybody sees),
// so a change of the switch takes effect from the next line. `letEventsRun()` is called once per
// non-empty line and returns false to stop the walk (the window is closing, say); the caller
// decides how often it really runs events.
template <LineSource Lines, typename ShowComments, typename NodeStep, typename LetEventsRun>
WalkOutcome WalkLines(const Lines& lines, LineIndex first, LineIndex last, const Keywords& keywords,
                      ShowComments&& showComments, NodeStep&& nodeStep,
                      LetEventsRun&& letEventsRun) {
    const std::size_t count = lines.Count();
    if (count == 0 || first > last || first >= count)
        return WalkOutcome::Finished;
    last = std::min<LineIndex>(last, count - 1);

    BlockStacks stacks;
    for (LineIndex i = first;; ++i) {
        const std::string_view line = lines.Line(i);
        if (const std::string_view word = FirstWordOf(line); !word.empty()) {
            const Classification found = ClassifyFirstWord(word, stacks, keywords);
            const bool comments = showComments();
            if (!letEventsRun())
                return WalkOutcome::Stopped;
            nodeStep(WalkedLine{i, found.lineClass, NodeText{line, comments}, stacks});
            stacks.UpdateOpenBlocks(found, NodeKey{i});
        }
        if (i == last)
            break;
    }
    return WalkOutcome::Finished;
}

} // namespace ini
