#include "parse/block_stacks.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace ini {
namespace {

class ClassifierTest : public ::testing::Test {
protected:
    void SetUp() override { keywords.InitKeywords(); }

    // Feeds contents through the classifier as a walk would, one line index each.
    void Open(std::initializer_list<std::string_view> contents) {
        for (std::string_view content : contents) {
            const Classification c = ClassifyLine(content, stacks, keywords);
            ASSERT_EQ(c.lineClass, LineClass::Opener) << content;
            stacks.UpdateOpenBlocks(c, NodeKey{next++});
        }
    }
    LineClass ClassOf(std::string_view content) const {
        return ClassifyLine(content, stacks, keywords).lineClass;
    }

    Keywords keywords;
    BlockStacks stacks;
    LineIndex next = 0;
};

TEST_F(ClassifierTest, TopLevel) {
    struct Case {
        std::string_view content;
        LineClass expected;
    };
    const Case cases[] = {
        {"Object Alpha", LineClass::Opener},
        {"OBJECT Alpha", LineClass::Opener},
        {"object", LineClass::Opener},
        {"MuStGrOw x", LineClass::Opener},
        {"Draw = ModelA", LineClass::Ordinary},
        {"Object=Alpha", LineClass::Ordinary},
        {"\tObject Alpha", LineClass::Ordinary},
        {"\"Object\" Alpha", LineClass::Ordinary},
        {"Version = 1", LineClass::Ordinary},
        {"End", LineClass::End},
        {"END", LineClass::End},
        {"end", LineClass::End},
        {"End = 1", LineClass::End},
        {"Ending", LineClass::Ordinary},
        {"End\t", LineClass::Ordinary},
        {"SuperweaponScatterAreaRadiusCursorX", LineClass::Ordinary},
        {"ParticleSystem Sparks", LineClass::Opener},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClassOf(c.content), c.expected) << c.content;
}

TEST_F(ClassifierTest, OpenerPushesKeyAndLowerCasedName) {
    Open({"OBJECT Alpha"});
    ASSERT_EQ(stacks.Depth(), 1u);
    EXPECT_EQ(stacks.OpenKeys()[0].ToString(), "Key_0");
    EXPECT_EQ(keywords.NameOf(stacks.TopPath()), "object");
}

TEST_F(ClassifierTest, InsideObject) {
    Open({"Object Alpha"});
    EXPECT_EQ(ClassOf("Draw = ModelA"), LineClass::Opener);
    EXPECT_EQ(ClassOf("Draw=ModelA"), LineClass::Ordinary);
    EXPECT_EQ(ClassOf("Object Beta"), LineClass::Ordinary);
    EXPECT_EQ(ClassOf("ParticleSystem P"), LineClass::Ordinary);
    EXPECT_EQ(ClassOf("Body ActiveBody"), LineClass::Opener);
    EXPECT_EQ(ClassOf("ClientUpdate X"), LineClass::Opener);
    EXPECT_EQ(ClassOf("DefaultConditionState"), LineClass::Ordinary);
}

TEST_F(ClassifierTest, ThreeDeep) {
    Open({"Object Alpha", "Draw = ModelA"});
    EXPECT_EQ(ClassOf("DefaultConditionState"), LineClass::Opener);
    EXPECT_EQ(ClassOf("AliasConditionState"), LineClass::Opener);
    Open({"ConditionState = DAMAGED"});
    EXPECT_EQ(stacks.Depth(), 3u);
    // Nothing is known four deep, and "end" still closes.
    EXPECT_EQ(ClassOf("ConditionState"), LineClass::Ordinary);
    EXPECT_EQ(ClassOf("eNd"), LineClass::End);
}

TEST_F(ClassifierTest, ReskinDrawKnowsNoAliasState) {
    Open({"ObjectReskin Beta", "Draw = ModelB"});
    EXPECT_EQ(ClassOf("AliasConditionState"), LineClass::Ordinary);
    EXPECT_EQ(ClassOf("TransitionState"), LineClass::Opener);
}

TEST_F(ClassifierTest, DeliveryDecalOnlyThreeDeep) {
    Open({"ObjectCreationList OCL"});
    EXPECT_EQ(ClassOf("DeliveryDecal"), LineClass::Ordinary);
    Open({"DeliverPayload"});
    EXPECT_EQ(ClassOf("DeliveryDecal"), LineClass::Opener);
}

TEST_F(ClassifierTest, EndPopsAndStrayEndLeavesStacksEmpty) {
    Open({"Object Alpha", "Behavior = X"});
    const Classification end = ClassifyLine("End", stacks, keywords);
    stacks.UpdateOpenBlocks(end, NodeKey{9});
    ASSERT_EQ(stacks.Depth(), 1u);
    EXPECT_EQ(keywords.NameOf(stacks.TopPath()), "object");
    stacks.UpdateOpenBlocks(end, NodeKey{10});
    stacks.UpdateOpenBlocks(end, NodeKey{11});
    EXPECT_TRUE(stacks.Empty());
    EXPECT_TRUE(stacks.OpenKeys().empty());
    EXPECT_EQ(stacks.TopPath(), noBlockOpen);
    // The walk goes on normally after the stray end.
    EXPECT_EQ(ClassOf("Weapon Gun"), LineClass::Opener);
}

TEST_F(ClassifierTest, OrdinaryLineLeavesStacksAlone) {
    Open({"Object Alpha"});
    stacks.UpdateOpenBlocks(ClassifyLine("Speed = 10", stacks, keywords), NodeKey{5});
    EXPECT_EQ(stacks.Depth(), 1u);
}

// The quick "no" looks at a word's length and first two letters only: every listed path must
// still open, name by name, in any case, and nothing else may.
TEST_F(ClassifierTest, EveryListedPathOpensInAnyCaseAndNearMissesDoNot) {
    for (const std::string& path : keywords.Grow()) {
        BlockStacks walk;
        std::size_t start = 1;
        while (start < path.size()) {
            const std::size_t end = path.find(';', start);
            std::string name = path.substr(start, end - start);
            for (char& c : name)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            std::string nearMiss = name;
            nearMiss[1] = nearMiss[1] == 'Q' ? 'X' : 'Q';
            EXPECT_EQ(ClassifyLine(nearMiss, walk, keywords).lineClass, LineClass::Ordinary)
                << path << " " << nearMiss;
            // Names are compared lower-casing many bytes at once: any byte at any place of the
            // name matches exactly when lower-casing it alone gives the listed one.
            const std::string lower = ToLowerAscii(name);
            for (std::size_t at = 0; at < name.size(); ++at) {
                for (int byte = 0; byte < 256; ++byte) {
                    std::string word = name;
                    word[at] = static_cast<char>(byte);
                    const bool same = ToLowerAscii(word[at]) == lower[at];
                    ASSERT_EQ(keywords.FindChild(walk.TopPath(), word) != noBlockOpen, same)
                        << path << " " << word;
                }
            }
            const Classification c = ClassifyLine(name + " = 1", walk, keywords);
            ASSERT_EQ(c.lineClass, LineClass::Opener) << path << " " << name;
            walk.UpdateOpenBlocks(c, NodeKey{0});
            start = end + 2;
        }
    }
}

} // namespace
} // namespace ini
