#include "outline/nodes/outline_nodes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>
#include <utility>
#include <vector>

namespace ini {
namespace {

TEST(OutlineNodes, RefusesKeysInUseUnknownRelativesAndBrokenFileOrderWithoutChange) {
    OutlineNodes nodes;
    EXPECT_EQ(nodes.AddRoot(NodeKey{0}, false), AddResult::Added);
    EXPECT_EQ(nodes.AddChild(NodeKey{0}, NodeKey{2}, false).result, AddResult::Added);
    EXPECT_EQ(nodes.AddRoot(NodeKey{2}, false), AddResult::KeyInUse);
    EXPECT_EQ(nodes.AddChild(NodeKey{0}, NodeKey{0}, false).result, AddResult::KeyInUse);
    EXPECT_EQ(nodes.AddChild(NodeKey{7}, NodeKey{8}, false).result, AddResult::NoSuchRelative);
    // Roots rise, and a block's nodes rise and stay before the next root.
    EXPECT_EQ(nodes.AddRoot(NodeKey{1}, false), AddResult::OutOfOrder);
    EXPECT_EQ(nodes.AddChild(NodeKey{0}, NodeKey{1}, false).result, AddResult::OutOfOrder);
    EXPECT_EQ(nodes.AddRoot(NodeKey{5}, false), AddResult::Added);
    EXPECT_EQ(nodes.AddChild(NodeKey{0}, NodeKey{6}, false).result, AddResult::OutOfOrder);
    // File order is depth-first order: a node closed by a later sibling takes no more children.
    EXPECT_EQ(nodes.AddChild(NodeKey{5}, NodeKey{6}, false).result, AddResult::Added);
    EXPECT_EQ(nodes.AddChild(NodeKey{5}, NodeKey{7}, false).result, AddResult::Added);
    EXPECT_EQ(nodes.AddChild(NodeKey{6}, NodeKey{8}, false).result, AddResult::OutOfOrder);
    EXPECT_EQ(nodes.Size(), 5u);
    EXPECT_EQ(nodes.ChildCount(NodeKey{0}), 1u);
    EXPECT_EQ(nodes.Find(NodeKey{8}), OutlineNodes::none);
    EXPECT_EQ(nodes.Find(NodeKey{1}), OutlineNodes::none);
}

TEST(OutlineNodes, AnswersTreeQuestionsByKeyAcrossFilledAndUnfilledBlocks) {
    OutlineNodes nodes;
    nodes.AddRoot(NodeKey{3}, false, true);
    nodes.AddRoot(NodeKey{9}, false, true);
    nodes.AddRoot(NodeKey{20}, true);
    nodes.AddChild(NodeKey{9}, NodeKey{10}, false);
    nodes.AddChild(NodeKey{10}, NodeKey{11}, false);
    nodes.AddChild(NodeKey{9}, NodeKey{12}, true);

    EXPECT_EQ(nodes.KeyOf(nodes.RootAt(1)), NodeKey{9});
    EXPECT_EQ(nodes.NextSibling(NodeKey{3}), NodeKey{9});
    EXPECT_EQ(nodes.NextSibling(NodeKey{20}), std::nullopt);
    EXPECT_EQ(nodes.NextSibling(NodeKey{10}), NodeKey{12});
    EXPECT_EQ(nodes.NextSibling(NodeKey{11}), std::nullopt);
    EXPECT_EQ(nodes.Parent(NodeKey{11}), NodeKey{10});
    EXPECT_EQ(nodes.Parent(NodeKey{12}), NodeKey{9});
    EXPECT_EQ(nodes.Parent(NodeKey{9}), std::nullopt);
    EXPECT_EQ(nodes.Parent(NodeKey{99}), std::nullopt);
    EXPECT_EQ(nodes.ChildCount(NodeKey{9}), 2u);
    EXPECT_EQ(nodes.ChildCount(NodeKey{3}), 0u);
    EXPECT_EQ(nodes.RowOf(nodes.Find(NodeKey{12})), 1u);
    EXPECT_EQ(nodes.RowOf(nodes.Find(NodeKey{20})), 2u);
    EXPECT_TRUE(nodes.ShowsComment(nodes.Find(NodeKey{12})));
    EXPECT_TRUE(nodes.ShowsComment(nodes.Find(NodeKey{20})));
    EXPECT_TRUE(nodes.OpensBlock(nodes.Find(NodeKey{3})));
    EXPECT_FALSE(nodes.OpensBlock(nodes.Find(NodeKey{20})));
    EXPECT_EQ(nodes.Find(NodeKey{13}), OutlineNodes::none);
    EXPECT_EQ(nodes.Find(NodeKey{2}), OutlineNodes::none);
    EXPECT_FALSE(nodes.IsNode(nodes.RootAt(3)));

    nodes.Clear();
    EXPECT_EQ(nodes.Size(), 0u);
    EXPECT_EQ(nodes.RootCount(), 0u);
    EXPECT_EQ(nodes.AddRoot(NodeKey{1}, false), AddResult::Added);
}

// Blocks normally fill one after another; one that grows after others keeps its nodes, and rows
// come out right whichever order they are asked in.
TEST(OutlineNodes, BlocksGrowInAnyOrderAndRowsAnswerInAnyOrder) {
    OutlineNodes nodes;
    nodes.AddRoot(NodeKey{0}, false, true);
    nodes.AddRoot(NodeKey{100}, false, true);
    for (LineIndex i = 1; i <= 10; ++i)
        ASSERT_EQ(nodes.AddChild(NodeKey{0}, NodeKey{i}, false).result, AddResult::Added);
    ASSERT_EQ(nodes.AddChild(NodeKey{100}, NodeKey{101}, false).result, AddResult::Added);
    ASSERT_EQ(nodes.AddChild(NodeKey{10}, NodeKey{11}, true).result, AddResult::Added);
    for (LineIndex i = 12; i <= 20; ++i)
        ASSERT_EQ(nodes.AddChild(NodeKey{0}, NodeKey{i}, false).result, AddResult::Added);

    const OutlineNodes::NodeId root = nodes.RootAt(0);
    ASSERT_EQ(nodes.ChildCountOf(root), 19u);
    EXPECT_EQ(nodes.BlockSize(root), 21u);
    // Searched for, and through a cursor: stepped to from the row before, or searched for.
    OutlineNodes::Cursor cursor;
    for (const std::size_t row : {18u, 3u, 4u, 0u, 1u, 17u, 9u, 10u, 10u, 11u, 9u}) {
        const NodeKey line{row < 10 ? row + 1 : row + 2};
        EXPECT_EQ(nodes.KeyOf(nodes.ChildAt(root, row)), line) << "row " << row;
        EXPECT_EQ(nodes.KeyOf(nodes.ChildAt(root, row, cursor)), line) << "row " << row;
    }
    EXPECT_EQ(nodes.Parent(NodeKey{11}), NodeKey{10});
    EXPECT_TRUE(nodes.ShowsComment(nodes.Find(NodeKey{11})));
    EXPECT_EQ(nodes.NextSibling(NodeKey{10}), NodeKey{12});
    EXPECT_EQ(nodes.KeyOf(nodes.ChildAt(nodes.RootAt(1), 0, cursor)), NodeKey{101});
    EXPECT_EQ(nodes.KeyOf(nodes.ChildAt(root, 12, cursor)), NodeKey{14});
}

TEST(OutlineNodes, CountsAreNotLimitedToSixteenBits) {
    OutlineNodes nodes;
    nodes.AddRoot(NodeKey{0}, false);
    for (LineIndex i = 1; i <= 70'000; ++i)
        ASSERT_EQ(nodes.AddChild(NodeKey{0}, NodeKey{i}, false).result, AddResult::Added);
    EXPECT_EQ(nodes.ChildCount(NodeKey{0}), 70'000u);
    EXPECT_EQ(nodes.RowOf(nodes.Find(NodeKey{70'000})), 69'999u);
}

// Roots are bits over the lines, 64 lines to a group: lines on and next to the groups' edges,
// runs of empty groups, dense runs, and every flag, asked in order, backwards and at random.
TEST(OutlineNodes, RootsAnswerByLineAndPositionWhereverTheyLie) {
    std::mt19937 random(7);
    std::vector<LineIndex> lines = {0, 1, 62, 63, 64, 65, 127, 128, 191, 192, 1000, 1001, 1002};
    for (LineIndex line = 5000; line < 5300; ++line)
        lines.push_back(line);
    for (LineIndex line = 7000; lines.size() < 2000; line += 1 + random() % 300)
        lines.push_back(line);
    OutlineNodes nodes;
    std::vector<int> flags; // bit 0 shows the comment; 1 and 2: known to open a block, or none
    for (const LineIndex line : lines) {
        const int flag = static_cast<int>(random() % 6);
        const std::optional<bool> opens =
            flag / 2 == 0 ? std::nullopt : std::optional<bool>(flag / 2 == 1);
        ASSERT_EQ(nodes.AddRoot(NodeKey{line}, flag % 2 == 1, opens), AddResult::Added);
        flags.push_back(flag);
    }
    ASSERT_EQ(nodes.RootCount(), lines.size());

    std::vector<std::size_t> order(lines.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::vector<std::size_t> backwards(order.rbegin(), order.rend());
    std::vector<std::size_t> shuffled = order;
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    OutlineNodes::Cursor cursor; // carried through every order
    for (const auto& asked : {order, backwards, shuffled}) {
        for (const std::size_t root : asked) {
            const OutlineNodes::NodeId id = OutlineNodes::RootAt(root);
            ASSERT_EQ(nodes.KeyOf(id), NodeKey{lines[root]}) << root;
            ASSERT_EQ(nodes.KeyOf(id, cursor), NodeKey{lines[root]}) << root;
            EXPECT_EQ(nodes.ShowsComment(id), flags[root] % 2 == 1) << root;
            EXPECT_EQ(nodes.ShowsComment(id, cursor), flags[root] % 2 == 1) << root;
            EXPECT_EQ(nodes.OpensBlock(id), flags[root] / 2 == 1) << root;
            EXPECT_EQ(nodes.OpensBlock(id, cursor), flags[root] / 2 == 1) << root;
            EXPECT_EQ(nodes.FillsNothing(NodeKey{lines[root]}), flags[root] / 2 == 2) << root;
            EXPECT_EQ(nodes.NextSibling(NodeKey{lines[root]}),
                      root + 1 < lines.size() ? std::optional(NodeKey{lines[root + 1]})
                                              : std::nullopt)
                << root;
        }
    }
    for (LineIndex line = 0; line <= lines.back() + 70; ++line) {
        const auto after = std::upper_bound(lines.begin(), lines.end(), line);
        const std::size_t before = static_cast<std::size_t>(after - lines.begin());
        const bool isRoot = before > 0 && lines[before - 1] == line;
        ASSERT_EQ(nodes.Find(NodeKey{line}),
                  isRoot ? OutlineNodes::RootAt(before - 1) : OutlineNodes::none)
            << line;
        ASSERT_EQ(nodes.RootAtOrBefore(NodeKey{line}),
                  before == 0 ? OutlineNodes::none : OutlineNodes::RootAt(before - 1))
            << line;
    }
}

// Filled blocks are found through pages of roots made at their first fill: blocks on and next
// to a page's edges, filled out of order, and the roots around them left unfilled.
TEST(OutlineNodes, FilledBlocksAreFoundOnEveryPageOfRoots) {
    constexpr LineIndex roots = 10'000;
    OutlineNodes nodes;
    for (LineIndex root = 0; root < roots; ++root)
        ASSERT_EQ(nodes.AddRoot(NodeKey{3 * root}, false), AddResult::Added);
    const std::vector<LineIndex> filled = {9'999, 4'096, 0, 4'095, 8'191, 8'192};
    for (const LineIndex root : filled) {
        ASSERT_EQ(nodes.AddChild(NodeKey{3 * root}, NodeKey{3 * root + 1}, false).result,
                  AddResult::Added);
        ASSERT_EQ(nodes.AddChild(NodeKey{3 * root + 1}, NodeKey{3 * root + 2}, true).result,
                  AddResult::Added);
    }
    for (LineIndex root = 0; root < roots; ++root) {
        const bool isFilled = std::find(filled.begin(), filled.end(), root) != filled.end();
        ASSERT_EQ(nodes.ChildCount(NodeKey{3 * root}), isFilled ? 1u : 0u) << root;
        if (!isFilled) {
            EXPECT_EQ(nodes.Find(NodeKey{3 * root + 1}), OutlineNodes::none) << root;
            continue;
        }
        EXPECT_EQ(nodes.Parent(NodeKey{3 * root + 2}), NodeKey{3 * root + 1}) << root;
        EXPECT_TRUE(nodes.ShowsComment(nodes.Find(NodeKey{3 * root + 2}))) << root;
    }
    EXPECT_EQ(nodes.Size(), roots + 2 * filled.size());
}

// A cursor speaks of the outline it was last used on, as it was: on another outline, or on the
// same one after a Clear(), a step from it would land on the wrong line or row.
TEST(OutlineNodes, CursorOfAnotherOutlineOrFromBeforeAClearIsNotTrusted) {
    // Roots on lines 2, 7 and 9, the first with children on 3, 4 and 6; or roots on 1, 20 and 30,
    // the first with children on 10 (with a child on 11), 12 and 13.
    const auto makeSmall = [](OutlineNodes& nodes) {
        nodes.Clear();
        for (const LineIndex line : {2u, 7u, 9u})
            ASSERT_EQ(nodes.AddRoot(NodeKey{line}, false), AddResult::Added);
        for (const LineIndex line : {3u, 4u, 6u})
            ASSERT_EQ(nodes.AddChild(NodeKey{2}, NodeKey{line}, false).result, AddResult::Added);
    };
    const auto makeWide = [](OutlineNodes& nodes) {
        nodes.Clear();
        for (const LineIndex line : {1u, 20u, 30u})
            ASSERT_EQ(nodes.AddRoot(NodeKey{line}, false), AddResult::Added);
        for (const auto& [parent, child] :
             {std::pair<LineIndex, LineIndex>{1, 10}, {10, 11}, {1, 12}, {1, 13}})
            ASSERT_EQ(nodes.AddChild(NodeKey{parent}, NodeKey{child}, false).result,
                      AddResult::Added);
    };
    const OutlineNodes::NodeId root = OutlineNodes::RootAt(0);
    OutlineNodes first, second;
    makeSmall(first);
    makeWide(second);

    OutlineNodes::Cursor cursor;
    ASSERT_EQ(first.KeyOf(OutlineNodes::RootAt(1), cursor), NodeKey{7});
    ASSERT_EQ(first.KeyOf(first.ChildAt(root, 1, cursor)), NodeKey{4});
    EXPECT_EQ(second.KeyOf(OutlineNodes::RootAt(2), cursor), NodeKey{30});
    EXPECT_EQ(second.KeyOf(second.ChildAt(root, 2, cursor)), NodeKey{13});

    OutlineNodes::Cursor before;
    ASSERT_EQ(second.KeyOf(OutlineNodes::RootAt(0), before), NodeKey{1});
    ASSERT_EQ(second.KeyOf(second.ChildAt(root, 1, before)), NodeKey{12});
    makeSmall(second);
    EXPECT_EQ(second.KeyOf(OutlineNodes::RootAt(1), before), NodeKey{7});
    EXPECT_EQ(second.KeyOf(second.ChildAt(root, 2, before)), NodeKey{6});
}

// Reads change nothing, so two threads may read one outline at once, each its own way.
TEST(OutlineNodes, TwoThreadsReadOneOutlineAtOnce) {
    constexpr LineIndex roots = 20'000;
    OutlineNodes nodes;
    for (LineIndex root = 0; root < roots; ++root) {
        ASSERT_EQ(nodes.AddRoot(NodeKey{3 * root}, false), AddResult::Added);
        for (const LineIndex child : {3 * root + 1, 3 * root + 2})
            ASSERT_EQ(nodes.AddChild(NodeKey{3 * root}, NodeKey{child}, false).result,
                      AddResult::Added);
    }
    // Counts the answers that are wrong over a few passes, in file order or backwards.
    const auto misread = [&](bool forward) {
        std::size_t wrong = 0;
        OutlineNodes::Cursor cursor;
        for (int pass = 0; pass < 5; ++pass) {
            for (LineIndex i = 0; i < roots; ++i) {
                const LineIndex root = forward ? i : roots - 1 - i;
                const OutlineNodes::NodeId id = OutlineNodes::RootAt(root);
                wrong += nodes.KeyOf(id) != NodeKey{3 * root};
                wrong += nodes.KeyOf(id, cursor) != NodeKey{3 * root};
                wrong += nodes.KeyOf(nodes.ChildAt(id, 1)) != NodeKey{3 * root + 2};
                wrong += nodes.KeyOf(nodes.ChildAt(id, 1, cursor)) != NodeKey{3 * root + 2};
            }
        }
        return wrong;
    };
    std::size_t backwards = 0;
    std::thread other([&] { backwards = misread(false); });
    const std::size_t forwards = misread(true);
    other.join();
    EXPECT_EQ(forwards, 0u);
    EXPECT_EQ(backwards, 0u);
}

} // namespace
} // namespace ini
