#include "parse/keywords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include <random>
#include <set>

namespace ini {
namespace {

// The lookup as the table defines it: a whole lower-cased path equals one of its entries. The
// name tree the classifier uses must answer the same.
bool IsKnownPath(const Keywords& keywords, std::string_view lowerPath) {
    const std::vector<std::string>& table = keywords.KeywordTable();
    return std::find(table.begin(), table.end(), lowerPath) != table.end();
}

class KeywordTableTest : public ::testing::Test {
protected:
    void SetUp() override { keywords.InitKeywords(); }
    Keywords keywords;
};

TEST_F(KeywordTableTest, HoldsTheListedPathsInOrderLowerCased) {
    const auto& grow = keywords.Grow();
    const auto& table = keywords.KeywordTable();
    ASSERT_EQ(grow.size(), 115u);
    ASSERT_EQ(table.size(), 115u);
    EXPECT_EQ(grow.front(), ";mustgrow;");
    EXPECT_EQ(grow[1], ";AIData;");
    EXPECT_EQ(grow[14], ";Object;");
    EXPECT_EQ(grow[95], ";Object;;Draw;;ConditionState;");
    EXPECT_EQ(grow.back(), ";Object;;ClientUpdate;");
    EXPECT_EQ(table.front(), ";mustgrow;");
    EXPECT_EQ(table[16], ";object;;draw;;defaultconditionstate;");
    EXPECT_EQ(table.back(), ";object;;clientupdate;");
    for (std::size_t i = 0; i < grow.size(); ++i)
        EXPECT_EQ(table[i], ToLowerAscii(grow[i])) << i;
}

TEST_F(KeywordTableTest, HasFiftyTopLevelAndSixtyFiveNestedDistinctPaths) {
    std::size_t topLevel = 0;
    for (const std::string& path : keywords.KeywordTable())
        topLevel += path.find(";;") == std::string::npos;
    EXPECT_EQ(topLevel, 50u);
    const std::set<std::string> distinct(keywords.KeywordTable().begin(),
                                         keywords.KeywordTable().end());
    EXPECT_EQ(distinct.size(), 115u);
}

TEST_F(KeywordTableTest, WholePathLookupIsExactAndLowerCaseOnly) {
    EXPECT_TRUE(IsKnownPath(keywords, ";object;"));
    EXPECT_FALSE(IsKnownPath(keywords, ";Object;"));
    EXPECT_FALSE(IsKnownPath(keywords, ";draw;"));
    EXPECT_TRUE(IsKnownPath(keywords, ";mustgrow;"));
}

// Walks a path of names through the name tree the way the classifier does.
PathNode Reach(const Keywords& keywords, std::initializer_list<std::string_view> names) {
    PathNode node = noBlockOpen;
    for (std::string_view name : names) {
        node = keywords.FindChild(node, name);
        if (node == noBlockOpen)
            return noBlockOpen;
    }
    return node;
}

TEST_F(KeywordTableTest, NamesAreKnownOnlyAtTheirListedDepth) {
    struct Case {
        std::initializer_list<std::string_view> names;
        bool known;
    };
    const Case cases[] = {
        {{"draw"}, false},
        {{"object", "draw"}, true},
        {{"objectreskin", "draw"}, true},
        {{"object", "draw", "aliasconditionstate"}, true},
        {{"objectreskin", "draw", "aliasconditionstate"}, false},
        {{"particlesystem"}, true},
        {{"fxlist", "particlesystem"}, true},
        {{"object", "particlesystem"}, false},
        {{"objectcreationlist", "deliverydecal"}, false},
        {{"objectcreationlist", "deliverpayload", "deliverydecal"}, true},
        {{"objectcreationlist", "attack", "deliverydecal"}, true},
        {{"object", "behavior", "deliverydecal"}, true},
        {{"object", "object"}, false},
        {{"inguiui"}, false},
        {{"ingameui", "radarradiuscursor"}, true},
    };
    for (const Case& c : cases) {
        std::string path;
        for (std::string_view n : c.names)
            path.append(";").append(n).append(";");
        EXPECT_EQ(Reach(keywords, c.names) != noBlockOpen, c.known) << path;
        EXPECT_EQ(IsKnownPath(keywords, path), c.known) << path;
    }
}

TEST_F(KeywordTableTest, NameTreeAgreesWithTheTableOnRandomPaths) {
    // Build paths from the table's own names so that many of them are near misses.
    std::vector<std::string> names;
    for (const std::string& path : keywords.KeywordTable()) {
        for (std::size_t start = 1; start < path.size();) {
            const std::size_t end = path.find(';', start);
            names.push_back(path.substr(start, end - start));
            start = end + 2;
        }
    }
    names.push_back("end");
    names.push_back("speed");
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        const int depth = 1 + static_cast<int>(random() % 4);
        std::string path;
        PathNode node = noBlockOpen;
        bool reachable = true;
        for (int d = 0; d < depth; ++d) {
            std::string name = names[random() % names.size()];
            // Letters in other cases, and one byte changed anywhere: a name that differs from
            // a known one only past its eighth byte, or in its middle, is known only if listed.
            for (char& c : name)
                c = random() % 3 == 0 ? static_cast<char>(std::toupper(c)) : c;
            if (random() % 2 == 0)
                name[random() % name.size()] = "aeAz_\x80"[random() % 6];
            path += ";" + ToLowerAscii(name) + ";";
            if (reachable)
                node = keywords.FindChild(node, name);
            reachable = reachable && node != noBlockOpen;
        }
        // A walk only ever extends known paths, so "reachable" is the tree's answer.
        EXPECT_EQ(reachable, IsKnownPath(keywords, path)) << path;
    }
}

TEST(KeywordTableBeforeInit, KnowsNothing) {
    const Keywords keywords;
    EXPECT_TRUE(keywords.KeywordTable().empty());
    EXPECT_EQ(keywords.FindChild(noBlockOpen, "object"), noBlockOpen);
}

TEST(LowerCase, ChangesAsciiLettersOnly) {
    EXPECT_EQ(ToLowerAscii("ObJeCt_9;\xC3\x89\xC0"), "object_9;\xC3\x89\xC0");
}

} // namespace
} // namespace ini
