#include "outline/walk/outline_builder.h"

#include "outline/text/outline_text.h"
#include "outline/read/piece_reader.h"
#include "outline_test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace ini {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

// A file's outline as a load and a click on every root make it.
std::string Filled(const std::string& path, bool comments) {
    Keywords keywords;
    keywords.InitKeywords();
    LineStore lines;
    PlainOutline outline;
    FileLoader loader;
    const std::atomic<bool> showComments{comments};
    WalkHooks hooks;
    hooks.showComments = &showComments;
    EXPECT_EQ(loader.LoadFile(path, lines, outline, keywords, hooks).status, WalkStatus::Done);
    const OutlineNodes& nodes = outline.Nodes();
    for (std::size_t row = 0; row < nodes.RootCount(); ++row) {
        const WalkResult built =
            ClickNode(nodes.KeyOf(nodes.RootAt(row)), lines, outline, keywords, hooks);
        EXPECT_EQ(built.addsRefused, 0u);
    }
    return RenderOutline(nodes, lines);
}

// The same outline as ini-outline streams it.
std::string Streamed(const std::string& path, bool comments) {
    Keywords keywords;
    keywords.InitKeywords();
    StreamOptions options;
    options.showComments = comments;
    std::string streamed;
    const Result<void> done =
        StreamOutline(FileReader::Open(path).value(), keywords, options, [&](std::string_view out) {
            streamed += out;
            return true;
        });
    EXPECT_TRUE(done.ok()) << done.error();
    return streamed;
}

// Every sample, loaded and filled as clicks on each root would, against its checked outline.
TEST(Golden, EverySampleGivesItsCheckedOutline) {
    const std::filesystem::path samples = test::SourceDir() / "samples";
    const std::filesystem::path golden = test::SourceDir() / "tests" / "golden";
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(samples)) {
        if (entry.path().extension() != ".ini")
            continue;
        for (const bool comments : {false, true}) {
            const std::string name =
                entry.path().stem().string() + (comments ? ".comments" : "") + ".outline";
            EXPECT_EQ(Filled(entry.path(), comments), ReadAll(golden / name)) << name;
            ++checked;
        }
    }
    EXPECT_GE(checked, 10);
}

// The command-line tool reads a file in pieces that go round and carries each piece's unfinished
// line into the next. Whatever ends a piece (half a CR LF pair, a line longer than the room kept
// for a carry, one longer than a piece) the streamed outline must be the filled one.
TEST(Golden, StreamedOutlineAcrossPiecesIsTheFilledOne) {
    const std::string sample = ReadAll(test::SourceDir() / "samples" / "Units.ini");
    const std::size_t piece = PieceReader::pieceBytes;
    std::string bytes;
    while (bytes.size() < 5 * piece)
        bytes += sample;
    // Terminators and lines of every kind of length placed on the pieces' edges.
    bytes.replace(piece - 1, 2, "\r\n");
    bytes.replace(2 * piece - 1, 1, "\r");
    const std::string longLine = "  Speed = " + std::string(PieceReader::carryRoom + 100, 'x');
    bytes.insert(3 * piece - 10, "\r\n" + longLine + "\r\n");
    bytes.insert(4 * piece - 20, "\n" + std::string(piece + piece / 2, 'y') + "\r");
    bytes.insert(5 * piece - 20000, "\r\nSpeed " + std::string(30000, 'z') + "\r\n");
    const test::TempFile file(bytes);
    EXPECT_TRUE(Streamed(file.Path(), false) == Filled(file.Path(), false));
}

// A line too long to carry from one piece to the next is classed and printed as its bytes come,
// in no more memory than a short one: its first word, its runs of spaces, its comment and its
// terminator may each straddle two pieces.
TEST(Golden, LongLinesAcrossPiecesAreTheFilledOnes) {
    const std::size_t piece = PieceReader::pieceBytes;
    const std::string lead(PieceReader::carryRoom + 10, ' ');
    std::string bytes = "Object LongLines\r\n";
    // Adds `line` so that its byte `at` is the first of piece `edge`, after a comment as filler.
    const auto across = [&](std::size_t edge, std::size_t at, const std::string& line) {
        bytes += "; " + std::string(edge * piece - at - bytes.size() - 4, 'f') + "\r\n" + line;
    };
    across(1, lead.size() + 2, lead + "Draw = ModelDraw  Tag   ; drawn  here\r\n");
    bytes += "    Model = M1\r\n";
    across(2, lead.size() + 1, lead + "End\r\n  Speed = 1\r\n");
    const std::string note = "  Note = " + std::string(PieceReader::carryRoom, 'a');
    across(3, note.size() + 1, note + "   b  c ;  tail  x\r\n");
    across(4, lead.size() - 5, lead + "; only a comment\r\n");
    across(5, 10, "  ArmorSetX" + std::string(PieceReader::carryRoom + 100, 'x') + "\n");
    across(6, lead.size() + 4, lead + "End\r\nEnd\r\n"); // the CR ends a piece, the LF starts one
    const std::string longer =
        "Speed = " + std::string(piece + 2 * PieceReader::carryRoom, 'z') + "\r\n";
    across(8, longer.size() - 1, longer); // longer than a piece, the LF starting the next one
    across(9, lead.size() + 6, lead + "Object\r\n"); // the word ends a piece, the CR starts one
    bytes += "Weapon " + std::string(PieceReader::carryRoom + 5, 'w'); // the last line, unended
    const test::TempFile file(bytes);
    for (const bool comments : {false, true}) {
        const std::string filled = Filled(file.Path(), comments);
        EXPECT_TRUE(Streamed(file.Path(), comments) == filled) << "comments " << comments;
        EXPECT_NE(filled.find("\n    Key_3\tModel = M1\n"), std::string::npos);
    }
}

// A file cut short after it was opened: the pieces read ahead end early, and the stream reports
// the change instead of printing a mix.
TEST(Golden, StreamOfAFileCutShortFails) {
    std::string bytes;
    while (bytes.size() < 3 * PieceReader::pieceBytes)
        bytes += "Object A\r\n  Speed = 1\r\nEnd\r\n";
    const test::TempFile file(bytes);
    Result<FileReader> opened = FileReader::Open(file.Path());
    ASSERT_TRUE(opened.ok());
    std::filesystem::resize_file(file.Path(), PieceReader::pieceBytes + 100);
    Keywords keywords;
    keywords.InitKeywords();
    const Result<void> done = StreamOutline(std::move(opened).value(), keywords, {},
                                            [](std::string_view) { return true; });
    ASSERT_FALSE(done.ok());
    EXPECT_NE(done.error().find("changed while it was read"), std::string::npos) << done.error();
}

} // namespace
} // namespace ini
