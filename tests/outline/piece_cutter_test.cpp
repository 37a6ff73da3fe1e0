#include "outline/read/piece_cutter.h"

#include "outline/text/outline_text.h"
#include "outline/walk/outline_builder.h"
#include "outline_test_support.h"
#include "parse/line_splitter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace ini {
namespace {

// A line as a cut handed it over: whole, or, for a line too long to carry, the spaces before its
// first word, the word and the bytes after it as they came.
struct CutRecord {
    LineIndex index = 0;
    std::string text;
    std::string word;
    bool cameLong = false;
};

// Takes what CutPieces hands out; stops after `stopAfter` lines when asked to.
struct Recorder {
    std::vector<CutRecord> lines;
    std::size_t stopAfter = SIZE_MAX;

    bool Line(LineIndex index, const CutLine& line) {
        lines.push_back({index, std::string(line.text), std::string(line.firstWord), false});
        return lines.size() < stopAfter;
    }
    bool LongLine(LineIndex index, std::string_view word, std::size_t leadingSpaces) {
        lines.push_back(
            {index, std::string(leadingSpaces, ' ') + std::string(word), std::string(word), true});
        return lines.size() < stopAfter;
    }
    void LongPart(std::string_view part) { lines.back().text += part; }
    void LongEnd() {}
};

// Where the pieces of one cut lie: the whole file, or pieces that go round.
struct Layout {
    bool whole;
    std::size_t piece;
    std::size_t carry; // pieces that go round only
    Threading threading;
};

std::string Describe(const Layout& layout) {
    return std::string(layout.whole ? "whole file" : "reused pieces") + ", pieces of " +
           std::to_string(layout.piece) + ", carry " + std::to_string(layout.carry) +
           (layout.threading == Threading::Inline ? ", inline" : ", on a thread");
}

struct Cut {
    Result<bool> finished;
    std::vector<CutRecord> lines;
};

Cut CutFile(const std::string& path, const Layout& layout, std::size_t stopAfter = SIZE_MAX) {
    FileReader file = FileReader::Open(path).value();
    std::string whole(file.Size() + PieceReader::tailRoom, '\0');
    Recorder recorder;
    recorder.stopAfter = stopAfter;
    Result<bool> finished = [&] {
        PieceReader reader = layout.whole
                                 ? PieceReader(file, whole.data(), /*findOtherBlanks=*/true,
                                               layout.threading, layout.piece)
                                 : PieceReader(file, layout.threading, layout.piece, layout.carry);
        return CutPieces(reader, recorder);
    }();
    return {std::move(finished), std::move(recorder.lines)};
}

std::vector<Layout> EveryLayout() {
    std::vector<Layout> layouts;
    for (const Threading threading : {Threading::OwnThread, Threading::Inline}) {
        for (const std::size_t piece : {1, 2, 3, 7, 16, 1 << 20})
            layouts.push_back({true, piece, 0, threading});
        for (const std::size_t piece : {1, 2, 5, 16})
            for (const std::size_t carry : {1, 3, 8, 64})
                layouts.push_back({false, piece, carry, threading});
    }
    return layouts;
}

// What every cut must give: the lines LineEndScanner finds after the byte order mark, each with
// FirstWordOf as its word; a line that came as it was read holds its bytes from its first
// non-space on, and its word up to longWordBytes.
void ExpectCutByTheRules(const std::string& bytes, const Cut& cut, const Layout& layout) {
    const std::string what = Describe(layout) + ": " + testing::PrintToString(bytes);
    ASSERT_TRUE(cut.finished.ok()) << what << ": " << cut.finished.error();
    EXPECT_TRUE(cut.finished.value()) << what;
    LineEndScanner scanner(StripUtf8Bom(bytes));
    std::size_t at = 0;
    for (LineIndex index = 0; const std::optional<std::string_view> line = scanner.Next();
         ++index, ++at) {
        ASSERT_LT(at, cut.lines.size()) << what << ": line " << index << " missing";
        const CutRecord& got = cut.lines[at];
        EXPECT_EQ(got.index, index) << what;
        const std::string_view word = FirstWordOf(*line);
        if (!got.cameLong) {
            EXPECT_EQ(got.text, *line) << what;
            EXPECT_EQ(got.word, word) << what;
            continue;
        }
        EXPECT_FALSE(layout.whole) << what << ": the whole file has no line too long to carry";
        EXPECT_GE(line->size(), layout.carry) << what << ": a short line came in parts";
        EXPECT_EQ(got.text, *line) << what << ": the spaces before the word are counted";
        EXPECT_EQ(got.word, word.substr(0, longWordBytes)) << what;
    }
    EXPECT_EQ(at, cut.lines.size()) << what << ": more lines than the rules give";
}

// Every edge a piece can end on, in every layout: a CR LF pair or a byte order mark split,
// a line longer than the carry with its word, its spaces or its ";" across pieces, a last
// line without terminator. Small pieces put each byte of these files on some piece's edge.
TEST(PieceCutter, EveryLayoutCutsByTheRules) {
    const std::string word(300, 'w');
    std::vector<std::string> cases = {
        "",
        "a",
        "\r\n",
        "a\r\nb\rc\nd",
        "Object A\r\n  Speed = 1 ; fast\r\nEnd\r\n",
        "\r\r\n\n\n\r",
        "\xEF\xBB\xBFObject A\nEnd",
        "\xEF\xBB\xBF",
        "\xEF\xBB",
        "      ;only a comment after spaces\r\nEnd",
        "        \r\n",
        "Weapon " + std::string(40, 'x') + "\r\n  Damage = 5\r\n",
        "  " + word + " tail ; note\r\n" + word,
        "Draw" + std::string(30, ' ') + "= ModelA\r",
    };
    std::mt19937 random(7);
    const char alphabet[] = {'a', 'b', ' ', ' ', ';', '\r', '\n', 'E'};
    for (int round = 0; round < 30; ++round) {
        std::string bytes(random() % 90, ' ');
        for (char& c : bytes)
            c = alphabet[random() % sizeof alphabet];
        cases.push_back(bytes);
    }
    for (const std::string& bytes : cases) {
        const test::TempFile file(bytes);
        for (const Layout& layout : EveryLayout())
            ExpectCutByTheRules(bytes, CutFile(file.Path(), layout), layout);
    }
}

// A consumer that stops the cut gets no further line, in any layout.
TEST(PieceCutter, AStopEndsTheCutAtOnce) {
    std::string bytes;
    for (int i = 0; i < 50; ++i)
        bytes += "Object A" + std::string(static_cast<std::size_t>(i % 7) * 5, 'x') + "\r\n";
    const test::TempFile file(bytes);
    for (const Layout& layout : EveryLayout()) {
        const Cut cut = CutFile(file.Path(), layout, 20);
        ASSERT_TRUE(cut.finished.ok());
        EXPECT_FALSE(cut.finished.value()) << Describe(layout);
        EXPECT_EQ(cut.lines.size(), 20u) << Describe(layout);
    }
}

// The window's load and ini-outline print the same outline whether their reading and printing
// get threads of their own or run inline, as on a machine that has no thread to spare.
TEST(PieceCutter, LoadsAndStreamsRunInlineAsOnThreads) {
    Keywords keywords;
    keywords.InitKeywords();
    const std::string path = (test::SourceDir() / "samples" / "Units.ini").string();
    std::vector<std::size_t> roots[2];
    std::string printed[2];
    for (const Threading threading : {Threading::OwnThread, Threading::Inline}) {
        const auto which = static_cast<std::size_t>(threading == Threading::Inline);
        LineStore lines;
        PlainOutline outline;
        FileLoader loader(threading);
        ASSERT_EQ(loader.LoadFile(path, lines, outline, keywords, {}).status, WalkStatus::Done);
        for (std::size_t row = 0; row < outline.Nodes().RootCount(); ++row)
            roots[which].push_back(outline.Nodes().KeyOf(OutlineNodes::RootAt(row)).line);
        const Result<void> streamed = StreamOutline(
            FileReader::Open(path).value(), keywords, {},
            [&](std::string_view out) {
                printed[which] += out;
                return true;
            },
            threading);
        ASSERT_TRUE(streamed.ok()) << streamed.error();
    }
    EXPECT_FALSE(roots[0].empty());
    EXPECT_EQ(roots[0], roots[1]);
    EXPECT_FALSE(printed[0].empty());
    EXPECT_EQ(printed[0], printed[1]);
}

} // namespace
} // namespace ini
