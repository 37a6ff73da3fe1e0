#include "outline/read/piece_reader.h"
#include "outline/text/outline_text.h"
#include "outline_test_support.h"
#include "support/loaded_outline.h"
#include "support/reference_outline.h"
#include "support/same_text.h"

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

const Keywords& Table() {
    return test::TheKeywords();
}

// The three outlines every sample has checked: the name's ending, and ini-outline's options.
struct Form {
    std::string_view suffix;
    StreamOptions options;
};
const Form forms[] = {
    {".outline", {.showComments = false, .topLevelOnly = false, .prefix = {}}},
    {".comments.outline", {.showComments = true, .topLevelOnly = false, .prefix = {}}},
    {".top.outline", {.showComments = false, .topLevelOnly = true, .prefix = {}}},
};

// A file's outline as the window makes it: the load, then a click on every root unless only the
// top level is asked for.
std::string Loaded(const std::string& path, const StreamOptions& options) {
    const test::LoadedOutline loaded = test::LoadOutline(
        path, Table(), {.comments = options.showComments, .clickEveryRoot = !options.topLevelOnly});
    EXPECT_EQ(loaded.load.status, WalkStatus::Done) << path;
    EXPECT_EQ(loaded.clicksRefused, 0u) << path;
    EXPECT_FALSE(loaded.clickError) << path;
    return test::ReferenceOutline(loaded.outline.Nodes(), loaded.lines);
}

// The same outline as ini-outline streams it.
std::string Streamed(const std::string& path, const StreamOptions& options) {
    std::string streamed;
    const Result<void> done =
        StreamOutline(FileReader::Open(path).value(), Table(), options, [&](std::string_view out) {
            streamed += out;
            return true;
        });
    EXPECT_TRUE(done.ok()) << done.error();
    return streamed;
}

// Every sample's three checked outlines, from the load and clicks and from the stream.
TEST(Golden, EverySampleGivesItsCheckedOutlines) {
    const std::filesystem::path samples = test::SourceDir() / "samples";
    const std::filesystem::path golden = test::SourceDir() / "tests" / "golden";
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(samples)) {
        if (entry.path().extension() != ".ini")
            continue;
        for (const Form& form : forms) {
            const std::string name = entry.path().stem().string() + std::string(form.suffix);
            const std::string expected = ReadAll(golden / name);
            EXPECT_PRED_FORMAT2(test::SameText, Loaded(entry.path(), form.options), expected)
                << name << " from the load";
            EXPECT_PRED_FORMAT2(test::SameText, Streamed(entry.path(), form.options), expected)
                << name << " from the stream";
            ++checked;
        }
    }
    EXPECT_GE(checked, 15);
}

// The command-line tool reads a file in pieces that go round and carries each piece's unfinished
// line into the next. Whatever ends a piece (half a CR LF pair, a line longer than the room kept
// for a carry, one longer than a piece) each streamed outline must be the loaded one.
TEST(Golden, StreamedOutlineAcrossPiecesIsTheLoadedOne) {
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
    for (const Form& form : forms) {
        EXPECT_PRED_FORMAT2(test::SameText, Streamed(file.Path(), form.options),
                            Loaded(file.Path(), form.options))
            << form.suffix;
    }
}

// A line too long to carry from one piece to the next is classed and printed as its bytes come,
// in no more memory than a short one: its first word, its runs of spaces, its comment and its
// terminator may each straddle two pieces.
TEST(Golden, LongLinesAcrossPiecesAreTheLoadedOnes) {
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
    for (const Form& form : forms) {
        const std::string loaded = Loaded(file.Path(), form.options);
        EXPECT_PRED_FORMAT2(test::SameText, Streamed(file.Path(), form.options), loaded)
            << form.suffix;
        EXPECT_EQ(loaded.find("\n    Key_3\tModel = M1\n") != std::string::npos,
                  !form.options.topLevelOnly)
            << form.suffix;
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
    const Result<void> done = StreamOutline(std::move(opened).value(), Table(), {},
                                            [](std::string_view) { return true; });
    ASSERT_FALSE(done.ok());
    EXPECT_NE(done.error().find("changed while it was read"), std::string::npos) << done.error();
}

} // namespace
} // namespace ini
