#include "parse/line_walk.h"

#include "support/example_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ini {
namespace {

struct Lines {
    std::vector<std::string> lines;
    std::size_t Count() const { return lines.size(); }
    std::string_view Line(LineIndex i) const { return lines[i]; }
};

struct Seen {
    LineIndex index;
    LineClass lineClass;
    std::string text;
    std::size_t depth;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> Walk(const Lines& lines, LineIndex first, LineIndex last, bool comments = false) {
    Keywords keywords;
    keywords.InitKeywords();
    std::vector<Seen> seen;
    WalkLines(
        lines, first, last, keywords, [&] { return comments; },
        [&](const WalkedLine& line) {
            seen.push_back({line.index, line.lineClass, line.text.ToString(), line.stacks.Depth()});
        },
        [] { return true; });
    return seen;
}

// The example file's lines, cut at its CR LF ends.
Lines ExampleLines() {
    Lines cut;
    for (std::string_view text = test::exampleFile; !text.empty();) {
        const std::size_t end = text.find("\r\n");
        cut.lines.emplace_back(text.substr(0, end));
        text.remove_prefix(end + 2);
    }
    return cut;
}
const Lines example = ExampleLines();

TEST(LineWalk, NodeStepSeesStacksBeforeTheLine) {
    const std::vector<Seen> expected = {
        {0, LineClass::Opener, "Object Alpha", 0},
        {2, LineClass::Ordinary, "Speed = 10", 1},
        {3, LineClass::Opener, "Draw = ModelA", 1},
        {4, LineClass::Opener, "DefaultConditionState", 2},
        {5, LineClass::Ordinary, "Model = M1", 3},
        {6, LineClass::End, "End", 3},
        {7, LineClass::End, "End", 2},
        {8, LineClass::End, "End", 1},
        {9, LineClass::Opener, "Object Beta", 0},
        {10, LineClass::End, "End", 1},
    };
    EXPECT_EQ(Walk(example, 0, 10), expected);
}

TEST(LineWalk, RangeIsInclusiveClampedAndMayBeEmpty) {
    EXPECT_EQ(Walk(example, 9, 10).size(), 2u);
    EXPECT_EQ(Walk(example, 9, 1000).size(), 2u);
    EXPECT_TRUE(Walk(example, 5, 4).empty());
    EXPECT_TRUE(Walk(example, 11, 20).empty());
    EXPECT_TRUE(Walk(Lines{}, 0, 0).empty());
}

TEST(LineWalk, EachWalkStartsWithEmptyStacks) {
    // Starting inside a block: the inner opener is unknown at top level.
    const std::vector<Seen> seen = Walk(example, 3, 4);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].lineClass, LineClass::Ordinary);
    EXPECT_EQ(seen[1].lineClass, LineClass::Ordinary);
}

TEST(LineWalk, CommentSwitchIsReadLineByLine) {
    Keywords keywords;
    keywords.InitKeywords();
    const Lines lines{{"A ; one", "B ; two", "C ; three"}};
    int asked = 0;
    std::vector<std::string> texts;
    WalkLines(
        lines, 0, 2, keywords, [&] { return ++asked >= 2; },
        [&](const WalkedLine& line) { texts.push_back(line.text.ToString()); },
        [] { return true; });
    EXPECT_EQ(texts, (std::vector<std::string>{"A", "B    ; two", "C    ; three"}));
}

TEST(LineWalk, EventsRunOncePerNonEmptyLineAndCanStopTheWalk) {
    Keywords keywords;
    keywords.InitKeywords();
    int events = 0;
    int steps = 0;
    const WalkOutcome all = WalkLines(
        example, 0, 10, keywords, [] { return false; }, [&](const WalkedLine&) { ++steps; },
        [&] { return ++events > 0; });
    EXPECT_EQ(all, WalkOutcome::Finished);
    EXPECT_EQ(events, 10); // eleven lines, one of them a whole-line comment
    EXPECT_EQ(steps, 10);

    steps = 0;
    events = 0;
    const WalkOutcome stopped = WalkLines(
        example, 0, 10, keywords, [] { return false; }, [&](const WalkedLine&) { ++steps; },
        [&] { return ++events < 3; });
    EXPECT_EQ(stopped, WalkOutcome::Stopped);
    EXPECT_EQ(steps, 2);
}

TEST(LineWalk, StrayEndsAndUnclosedBlocksDoNotDisturbTheWalk) {
    const Lines lines{{"End", "END", "Weapon Gun", "Damage = 5", "Object Tank", "Speed = 1"}};
    const std::vector<Seen> seen = Walk(lines, 0, 5);
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[2].depth, 0u);
    EXPECT_EQ(seen[3].depth, 1u);
    EXPECT_EQ(seen[4].lineClass, LineClass::Ordinary); // Object is not known inside a Weapon
    EXPECT_EQ(seen[5].depth, 1u);
}

} // namespace
} // namespace ini
