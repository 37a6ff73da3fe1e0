#include "parse/line_splitter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace ini {
namespace {

struct SplitCase {
    const char* name;
    std::string_view line;
    bool showComments;
    std::string_view content;
    std::string_view comment; // as a node shows it, with its four leading spaces
};

class SplitterTable : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitterTable, ContentAndComment) {
    const SplitCase& c = GetParam();
    LineSplitter splitter;
    const SplitLine parts = splitter.ParseLine(c.line, c.showComments);
    EXPECT_EQ(parts.content, c.content);
    EXPECT_EQ(parts.Comment(), c.comment);
}

using namespace std::string_view_literals;

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitterTable,
    ::testing::Values(
        SplitCase{"Empty", "", true, "", ""}, SplitCase{"SpacesOnly", "     ", true, "", ""},
        SplitCase{"WholeLineComment", "; note", true, "", "    ; note"},
        SplitCase{"WholeLineCommentHidden", "; note", false, "", ""},
        SplitCase{"CommentHidden", "Speed = 10 ; x", false, "Speed = 10", ""},
        SplitCase{"CommentShown", "Speed = 10 ; x", true, "Speed = 10", "    ; x"},
        SplitCase{"CollapseAndKeepTrailingInComment", "   Draw  =   ModelA    Tag1  ;a;b  ", true,
                  "Draw = ModelA Tag1", "    ;a;b  "},
        SplitCase{"LeadingTabIsContent", "\tSpeed = 1", false, "\tSpeed = 1", ""},
        SplitCase{"TabsNeverTrimmedOrCollapsed", " \t a\t\tb \t ", false, "\t a\t\tb \t", ""},
        SplitCase{"SemicolonInQuotesStillCuts", "Name = \"a;b\"", true, "Name = \"a", "    ;b\""},
        SplitCase{"CommentWithoutSpaceBefore", "End;done", true, "End", "    ;done"},
        SplitCase{"OnlySemicolon", ";", true, "", "    ;"},
        SplitCase{"LongSpaceRunsBecomeOne", "a      b  c   d", false, "a b c d", ""},
        SplitCase{"NulAndHighBytesAreOrdinary", "a\0\xff  \xc3\xa9 ;\x80"sv, true,
                  "a\0\xff \xc3\xa9"sv, "    ;\x80"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Splitter, ResultsOfEarlierCallsDoNotLeak) {
    LineSplitter splitter;
    (void)splitter.ParseLine("a    b ; first", true);
    const SplitLine second = splitter.ParseLine("c", true);
    EXPECT_EQ(second.content, "c");
    EXPECT_FALSE(second.HasComment());
}

TEST(Splitter, NodeTextJoinsContentAndCommentWithFourSpaces) {
    LineSplitter splitter;
    EXPECT_EQ(splitter.ParseLine("Object Alpha ; first", true).NodeText(),
              "Object Alpha    ; first");
    EXPECT_EQ(splitter.ParseLine("Object   Alpha;first", true).NodeText(),
              "Object Alpha    ;first");
    EXPECT_EQ(splitter.ParseLine("Object Alpha ; first", false).NodeText(), "Object Alpha");
}

TEST(Splitter, ContentWithoutDoubleSpacesPointsIntoTheLine) {
    // The common line must not be copied: that keeps the walk allocation-free.
    const std::string line = "   Speed = 10   ; x";
    LineSplitter splitter;
    const SplitLine parts = splitter.ParseLine(line, true);
    EXPECT_GE(parts.content.data(), line.data());
    EXPECT_LE(parts.content.data() + parts.content.size(), line.data() + line.size());
}

// The splitter and FirstWordOf look at sixteen bytes at a time with a shorter tail, and a short
// line's node text can be written off its classed bytes instead, so every length and every
// place of spaces and ";" around those edges is checked against the rules read byte by byte.
TEST(Splitter, AgreesWithAByteByByteReadingAtEveryLength) {
    std::mt19937 random(11);
    const char alphabet[] = {' ', ' ', ' ', 'a', 'b', ';', '\t'};
    LineSplitter splitter;
    for (int round = 0; round < 20000; ++round) {
        std::string line(random() % 50, ' ');
        for (char& c : line)
            c = alphabet[random() % sizeof alphabet];
        const std::size_t semi = std::min(line.find(';'), line.size());
        std::string content;
        for (std::size_t i = 0; i < semi; ++i) {
            if (line[i] != ' ' || (!content.empty() && content.back() != ' '))
                content.push_back(line[i]);
        }
        if (!content.empty() && content.back() == ' ')
            content.pop_back();
        const SplitLine parts = splitter.ParseLine(line, true);
        EXPECT_EQ(parts.content, content) << line;
        EXPECT_EQ(parts.commentTail, std::string_view(line).substr(semi)) << line;
        // Written straight out from the classed bytes, with room to copy in blocks; the bytes
        // past the line are spaces and semicolons, which must not count.
        const std::string padded = line + std::string(shortLineSlack, ';');
        const std::string_view held = std::string_view(padded).substr(0, line.size());
        LineBytes bytes;
        for (std::size_t i = 0; i < line.size(); ++i) {
            bytes.spaces |= std::uint64_t{line[i] == ' '} << i;
            bytes.semicolons |= std::uint64_t{line[i] == ';'} << i;
        }
        for (const bool comments : {false, true}) {
            std::string out(line.size() + 4 + shortLineSlack, '\0');
            const char* const end = WriteNodeTextFast(out.data(), held, comments, bytes);
            out.resize(static_cast<std::size_t>(end - out.data()));
            const bool commented = comments && semi < line.size();
            EXPECT_EQ(out, content + (commented ? "    " + line.substr(semi) : "")) << line;
        }
        // Handed over in parts, as a line too long to hold is.
        for (const bool comments : {false, true}) {
            NodeTextParts text(comments);
            std::string out;
            for (std::size_t from = 0; from < line.size();) {
                const std::size_t size = std::min<std::size_t>(random() % 8, line.size() - from);
                std::string piece(size + NodeTextParts::extraBytes, '\0');
                const char* const end = text.Add(piece.data(), line.substr(from, size));
                out.append(piece.data(), static_cast<std::size_t>(end - piece.data()));
                from += size;
            }
            const bool commented = comments && semi < line.size();
            EXPECT_EQ(out, content + (commented ? "    " + line.substr(semi) : "")) << line;
        }
        const std::size_t wordEnd = content.find(' ');
        EXPECT_EQ(FirstWordOf(line), content.substr(0, wordEnd)) << line;
        const std::string second = wordEnd == std::string::npos ? "" : content.substr(wordEnd + 1);
        EXPECT_EQ(WordAfter(line, FirstWordOf(line)), second.substr(0, second.find(' '))) << line;
        EXPECT_EQ(WordAfterFast(held, FirstWordOf(held), bytes), second.substr(0, second.find(' ')))
            << line;
    }
}

} // namespace
} // namespace ini
