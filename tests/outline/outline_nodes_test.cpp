#include "outline/outline_nodes.h"

#include <gtest/gtest.h>

namespace ini {
namespace {

TEST(OutlineNodes, RefusesKeysInUseAndUnknownRelativesWithoutChange) {
    OutlineNodes nodes;
    EXPECT_EQ(nodes.AddRoot(NodeKey{0}, false), AddResult::Added);
    EXPECT_EQ(nodes.AddChild(NodeKey{0}, NodeKey{2}, false), AddResult::Added);
    EXPECT_EQ(nodes.AddRoot(NodeKey{2}, false), AddResult::KeyInUse);
    EXPECT_EQ(nodes.AddChild(NodeKey{0}, NodeKey{0}, false), AddResult::KeyInUse);
    EXPECT_EQ(nodes.AddChild(NodeKey{7}, NodeKey{8}, false), AddResult::NoSuchRelative);
    EXPECT_EQ(nodes.Size(), 2u);
    EXPECT_EQ(nodes.ChildCount(NodeKey{0}), 1u);
    EXPECT_EQ(nodes.Find(NodeKey{8}), OutlineNodes::none);
}

TEST(OutlineNodes, KeepsInsertionOrderAndAnswersTreeQuestions) {
    OutlineNodes nodes;
    nodes.AddRoot(NodeKey{9}, false);
    nodes.AddRoot(NodeKey{3}, false); // keys need not rise: order is insertion order
    nodes.AddChild(NodeKey{9}, NodeKey{12}, false);
    nodes.AddChild(NodeKey{9}, NodeKey{10}, true);
    nodes.AddChild(NodeKey{10}, NodeKey{11}, false);

    EXPECT_EQ(nodes.KeyOf(nodes.RootAt(0)), NodeKey{9});
    EXPECT_EQ(nodes.KeyOf(nodes.RootAt(1)), NodeKey{3});
    EXPECT_EQ(nodes.NextSibling(NodeKey{9}), NodeKey{3});
    EXPECT_EQ(nodes.NextSibling(NodeKey{3}), std::nullopt);
    EXPECT_EQ(nodes.NextSibling(NodeKey{12}), NodeKey{10});
    EXPECT_EQ(nodes.Parent(NodeKey{11}), NodeKey{10});
    EXPECT_EQ(nodes.Parent(NodeKey{9}), std::nullopt);
    EXPECT_EQ(nodes.Parent(NodeKey{99}), std::nullopt);
    EXPECT_EQ(nodes.ChildCount(NodeKey{9}), 2u);
    EXPECT_EQ(nodes.RowOf(nodes.Find(NodeKey{10})), 1u);
    EXPECT_TRUE(nodes.ShowsComment(nodes.Find(NodeKey{10})));

    nodes.Clear();
    EXPECT_EQ(nodes.Size(), 0u);
    EXPECT_EQ(nodes.RootCount(), 0u);
    EXPECT_EQ(nodes.AddRoot(NodeKey{9}, false), AddResult::Added);
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
