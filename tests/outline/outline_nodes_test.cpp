#include "outline/outline_nodes.h"

#include <gtest/gtest.h>

namespace ini {
namespace {

TEST(OutlineNodes, RefusesKeysInUseUnknownRelativesAndBrokenFileOrderWithoutChange) {
    OutlineNodes nodes;
    EXPECT_EQ(nodes.AddRoot(NodeKey{0}, false), AddResult::Added);
    EXPECT_EQ(nodes.AddChild(NodeKey{0}, NodeKey{2}, false), AddResult::Added);
    EXPECT_EQ(nodes.AddRoot(NodeKey{2}, false), AddResult::KeyInUse);
    EXPECT_EQ(nodes.AddChild(NodeKey{0}, NodeKey{0}, false), AddResult::KeyInUse);
    EXPECT_EQ(nodes.AddChild(NodeKey{7}, NodeKey{8}, false), AddResult::NoSuchRelative);
    // Roots rise, and a block's nodes rise and stay before the next root.
    EXPECT_EQ(nodes.AddRoot(NodeKey{1}, false), AddResult::OutOfOrder);
    EXPECT_EQ(nodes.AddChild(NodeKey{0}, NodeKey{1}, false), AddResult::OutOfOrder);
    EXPECT_EQ(nodes.AddRoot(NodeKey{5}, false), AddResult::Added);
    EXPECT_EQ(nodes.AddChild(NodeKey{0}, NodeKey{6}, false), AddResult::OutOfOrder);
    EXPECT_EQ(nodes.Size(), 3u);
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

TEST(OutlineNodes, CountsAreNotLimitedToSixteenBits) {
    OutlineNodes nodes;
    nodes.AddRoot(NodeKey{0}, false);
    for (LineIndex i = 1; i <= 70'000; ++i)
        ASSERT_EQ(nodes.AddChild(NodeKey{0}, NodeKey{i}, false), AddResult::Added);
    EXPECT_EQ(nodes.ChildCount(NodeKey{0}), 70'000u);
    EXPECT_EQ(nodes.RowOf(nodes.Find(NodeKey{70'000})), 69'999u);
}

} // namespace
} // namespace ini
