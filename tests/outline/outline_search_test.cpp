#include "outline/find/outline_search.h"

#include "outline/walk/outline_builder.h"
#include "outline_test_support.h"
#include "support/address_space.h"
#include "support/example_file.h"
#include "support/loaded_outline.h"

#include <gtest/gtest.h>

#include <chrono>
#include <malloc.h>
#include <thread>

namespace ini {
namespace {

using namespace std::chrono_literals;

// The example file (lines 0-10), then a block that holds a word starting with "end", spaces to
// collapse and non-ASCII letters.
constexpr std::string_view gamma = "Object Gamma\r\n"                 // 11
                                   "  EndTime   =   3\r\n"            // 12
                                   "  Name = Caf\xC3\xA9 ; drink\r\n" // 13
                                   "  END ; speed\r\n";               // 14
const std::string sample = std::string(test::exampleFile) + std::string(gamma);

// The plan for the outline as it is now, made in one go.
CommentPlan WholePlan(const OutlineNodes& nodes, bool switchOn) {
    CommentPlanBuilder builder(switchOn);
    builder.Step(nodes, nodes.RootCount());
    return builder.Take();
}

class OutlineSearchTest : public test::OutlineFixture {
protected:
    void Load(std::string_view text) {
        const test::TempFile file(text);
        ASSERT_EQ(loader.LoadFile(file.Path(), lines, outline, keywords, hooks).status,
                  WalkStatus::Done);
    }
    // Every match, once the scan is complete.
    std::vector<LineIndex> Find(std::string_view needle, bool switchOn) {
        search.Start(lines, needle,
                     std::make_shared<CommentPlan>(WholePlan(outline.Nodes(), switchOn)));
        WaitComplete();
        std::vector<LineIndex> found;
        for (LineIndex line = 0; line < lines.Count(); ++line) {
            if (search.Count(line).ordinal > 0)
                found.push_back(line);
        }
        return found;
    }
    // Polls until the scan is complete; the deadline only stops a scan that hangs.
    void WaitComplete() {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!search.Count(std::nullopt).complete) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the scan never completed";
            std::this_thread::yield();
        }
    }

    OutlineSearch search;
};

TEST_F(OutlineSearchTest, MatchesNodeTextsOfTheWholeFile) {
    Load(sample);
    struct Case {
        std::string_view needle;
        bool switchOn;
        std::vector<LineIndex> lines;
    };
    const Case cases[] = {
        // Inside blocks never filled, any case.
        {"SPEED", false, {2}},
        {"model", false, {3, 5}},
        // End lines never match, whatever follows them; a word starting with "end" does.
        {"end", false, {12}},
        {"speed", true, {2}},
        // Spaces as the node shows them: collapsed and trimmed.
        {"endtime = 3", false, {12}},
        {"endtime   =", false, {}},
        // Comments only while they are shown; a line of nothing but a comment is no node.
        {"fast", false, {}},
        {"fast", true, {2}},
        {"10    ; fa", true, {2}},
        {"tuning", true, {}},
        // Non-ASCII bytes match exactly.
        {"caf\xC3\xA9", false, {13}},
        {"CAF\xC3\x89", false, {}},
        {"", false, {}},
        {"nowhere", true, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Find(c.needle, c.switchOn), c.lines) << c.needle << " comments " << c.switchOn;
}

TEST_F(OutlineSearchTest, CommentsAsEachNodeShowsThem) {
    // Roots keep the switch of their load, filled blocks that of their fill, and blocks not yet
    // filled will follow the switch as it is now.
    comments = true;
    Load(sample);
    comments = false;
    ASSERT_EQ(ClickNode(NodeKey{0}, lines, outline, keywords, hooks).nodesAdded, 4u);
    EXPECT_EQ(Find("second", false), std::vector<LineIndex>{9});
    EXPECT_EQ(Find("fast", true), std::vector<LineIndex>{});
    EXPECT_EQ(Find("drink", true), std::vector<LineIndex>{13});
    EXPECT_EQ(Find("drink", false), std::vector<LineIndex>{});
    comments = true;
    ASSERT_EQ(ClickNode(NodeKey{11}, lines, outline, keywords, hooks).nodesAdded, 2u);
    EXPECT_EQ(Find("drink", false), std::vector<LineIndex>{13});
}

TEST_F(OutlineSearchTest, PlanMadeInSlicesWhileBlocksFill) {
    // The plan is made a root at a time while the window runs; blocks filled meanwhile, before
    // or after the slice that reaches them, must not put it out of step.
    comments = true;
    Load(sample);
    comments = false;
    CommentPlanBuilder builder(false);
    EXPECT_FALSE(builder.Step(outline.Nodes(), 1));
    ClickNode(NodeKey{0}, lines, outline, keywords, hooks);
    ClickNode(NodeKey{11}, lines, outline, keywords, hooks);
    EXPECT_FALSE(builder.Step(outline.Nodes(), 1));
    EXPECT_TRUE(builder.Step(outline.Nodes(), 1));
    const CommentPlan sliced = builder.Take();
    const CommentPlan whole = WholePlan(outline.Nodes(), false);
    for (LineIndex line = 0; line < lines.Count(); ++line)
        EXPECT_EQ(sliced.ShowsComment(line), whole.ShowsComment(line)) << line;
    EXPECT_TRUE(sliced.ShowsComment(9));
    EXPECT_FALSE(sliced.ShowsComment(2));
}

TEST_F(OutlineSearchTest, NextAndPreviousWrapAround) {
    Load(sample);
    search.Start(lines, "model", std::make_shared<CommentPlan>());
    WaitComplete();
    using S = OutlineSearch::State;
    struct Case {
        bool next;
        LineIndex from;
        bool inclusive;
        LineIndex expected;
    };
    const Case cases[] = {
        {true, 0, false, 3},  {true, 3, true, 3},   {true, 3, false, 5},
        {true, 5, false, 3},  {true, 14, true, 3},  {false, 5, false, 3},
        {false, 4, false, 3}, {false, 3, false, 5}, {false, 0, false, 5},
    };
    for (const Case& c : cases) {
        const OutlineSearch::Answer answer =
            c.next ? search.Next(c.from, c.inclusive) : search.Previous(c.from);
        EXPECT_EQ(answer.state, S::Found) << c.next << " from " << c.from;
        EXPECT_EQ(answer.line, c.expected) << c.next << " from " << c.from;
    }
    const OutlineSearch::Tally tally = search.Count(5);
    EXPECT_EQ(tally.matches, 2u);
    EXPECT_EQ(tally.ordinal, 2u);

    search.Start(lines, "nowhere", std::make_shared<CommentPlan>());
    WaitComplete();
    EXPECT_EQ(search.Next(0, true).state, S::None);
    EXPECT_EQ(search.Previous(0).state, S::None);
}

// Without a thread of its own the scan runs within Start: complete, and the same matches.
TEST_F(OutlineSearchTest, ScanWithoutAThreadIsCompleteOnceStarted) {
    Load(sample);
    OutlineSearch inlined(Threading::Inline);
    inlined.Start(lines, "model", std::make_shared<CommentPlan>());
    const OutlineSearch::Tally tally = inlined.Count(5);
    EXPECT_TRUE(tally.complete);
    EXPECT_EQ(tally.matches, 2u);
    EXPECT_EQ(tally.ordinal, 2u);
    EXPECT_EQ(inlined.Next(0, false).line, 3u);
}

// Millions of matches may not fit: the scan ends where memory ran out, complete and saying so,
// with the matches found before; the window must not go down with it.
TEST_F(OutlineSearchTest, ScanOutOfMemoryEndsShortWithWhatItFound) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer needs far more address space than the limit";
#else
    const auto loadMatches = [this] {
        std::string text = "Object Alpha\n";
        for (int i = 0; i < 3'000'000; ++i)
            text += "  Speed = 1\n";
        Load(text + "End\n");
    };
    const auto plan = std::make_shared<CommentPlan>();
    EXPECT_EQ(test::ExitOfChild([&] {
                  // The load's threads get no heaps of their own, and whatever room the heap has
                  // once the address space is capped is taken but for 4 MiB, far less than the 12
                  // MB that three million matches take: earlier tests and the load leave room of
                  // any size behind.
                  ::mallopt(M_ARENA_MAX, 1);
                  loadMatches();
                  if (!test::CapAndTakeHeap(std::size_t{16} << 20, std::size_t{4} << 20))
                      return 3;
                  OutlineSearch capped(Threading::Inline);
                  capped.Start(lines, "speed", plan);
                  const OutlineSearch::Tally tally = capped.Count(1);
                  const bool shortened = tally.complete && tally.cutShort && tally.matches > 0 &&
                                         tally.matches < 3'000'000 && tally.ordinal == 1;
                  return shortened ? 0 : 4;
              }),
              0);
    // With room enough nothing is cut short.
    loadMatches();
    search.Start(lines, "speed", plan);
    WaitComplete();
    EXPECT_EQ(search.Count(std::nullopt).matches, 3'000'000u);
    EXPECT_FALSE(search.Count(std::nullopt).cutShort);
#endif
}

TEST_F(OutlineSearchTest, NodeLinesAreWhatFillingEveryBlockGives) {
    // Deciding node or not from the line alone must agree with the real walks on every sample.
    for (const auto& entry : std::filesystem::directory_iterator(test::SourceDir() / "samples")) {
        if (entry.path().extension() != ".ini")
            continue;
        const test::LoadedOutline loaded = test::LoadOutline(entry.path().string(), keywords);
        ASSERT_EQ(loaded.load.status, WalkStatus::Done);
        const OutlineNodes& nodes = loaded.outline.Nodes();
        std::size_t nodeLines = 0;
        for (LineIndex line = 0; line < loaded.lines.Count(); ++line) {
            const bool isNode = loaded.outline.Contains(NodeKey{line});
            EXPECT_EQ(IsNodeLine(loaded.lines.Line(line)), isNode)
                << entry.path() << " line " << line;
            nodeLines += isNode;
        }
        EXPECT_EQ(nodeLines, nodes.Size()) << entry.path();
        // Every line finds the root whose block holds it.
        for (std::size_t root = 0; root < nodes.RootCount(); ++root) {
            const NodeKey key = nodes.KeyOf(OutlineNodes::RootAt(root));
            EXPECT_EQ(RootHolding(nodes, key.line), key);
            if (root > 0) {
                EXPECT_EQ(RootHolding(nodes, key.line - 1),
                          nodes.KeyOf(OutlineNodes::RootAt(root - 1)));
            }
        }
    }
}

TEST_F(OutlineSearchTest, NoRootBeforeTheFirst) {
    Load("\r\n; header\r\nObject A\r\nEnd\r\n");
    EXPECT_EQ(RootHolding(outline.Nodes(), 1), std::nullopt);
    EXPECT_EQ(RootHolding(outline.Nodes(), 3), NodeKey{2});
}

} // namespace
} // namespace ini
