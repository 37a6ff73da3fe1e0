#include "outline/nodes/outline_nodes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
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
    for (const std::size_t row : {18u, 3u, 4u, 0u, 17u, 9u, 10u, 9u}) {
        const LineIndex line = row < 10 ? row + 1 : row + 2;
        EXPECT_EQ(nodes.KeyOf(nodes.ChildAt(root, row)), NodeKey{line}) << "row " << row;
    }
    EXPECT_EQ(nodes.Parent(NodeKey{11}), NodeKey{10});
    EXPECT_TRUE(nodes.ShowsComment(nodes.Find(NodeKey{11})));
    EXPECT_EQ(nodes.NextSibling(NodeKey{10}), NodeKey{12});
    EXPECT_EQ(nodes.KeyOf(nodes.ChildAt(nodes.RootAt(1), 0)), NodeKey{101});
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
    for (const auto& asked : {order, backwards, shuffled}) {
        for (const std::size_t root : asked) {
            const OutlineNodes::NodeId id = OutlineNodes::RootAt(root);
            ASSERT_EQ(nodes.KeyOf(id), NodeKey{lines[root]}) << root;
            EXPECT_EQ(nodes.ShowsComment(id), flags[root] % 2 == 1) << root;
            EXPECT_EQ(nodes.OpensBlock(id), flags[root] / 2 == 1) << root;
            EXPECT_EQ(nodes.OpensNoBlock(id), flags[root] / 2 == 2) << root;
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

} // namespace
} // namespace ini
