#include "outline/outline_builder.h"

#include "outline/outline_text.h"
#include "outline/piece_reader.h"
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

// Every sample, loaded and filled as clicks on each root would, against its checked outline.
TEST(Golden, EverySampleGivesItsCheckedOutline) {
    const std::filesystem::path samples = test::SourceDir() / "samples";
    const std::filesystem::path golden = test::SourceDir() / "tests" / "golden";
    Keywords keywords;
    keywords.InitKeywords();
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(samples)) {
        if (entry.path().extension() != ".ini")
            continue;
        for (const bool comments : {false, true}) {
            const std::string name =
                entry.path().stem().string() + (comments ? ".comments" : "") + ".outline";
            LineStore lines;
            PlainOutline outline;
            FileLoader loader;
            const std::atomic<bool> showComments{comments};
            WalkHooks hooks;
            hooks.showComments = &showComments;
            ASSERT_EQ(loader.LoadFile(entry.path(), lines, outline, keywords, hooks).status,
                      WalkStatus::Done);
            const OutlineNodes& nodes = outline.Nodes();
            for (std::size_t row = 0; row < nodes.RootCount(); ++row) {
                const WalkResult built =
                    ClickNode(nodes.KeyOf(nodes.RootAt(row)), lines, outline, keywords, hooks);
                EXPECT_EQ(built.addsRefused, 0u);
            }
            EXPECT_EQ(RenderOutline(nodes, lines), ReadAll(golden / name)) << name;
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

    Keywords keywords;
    keywords.InitKeywords();
    LineStore lines;
    PlainOutline outline;
    FileLoader loader;
    ASSERT_EQ(loader.LoadFile(file.Path(), lines, outline, keywords, {}).status, WalkStatus::Done);
    const OutlineNodes& nodes = outline.Nodes();
    for (std::size_t row = 0; row < nodes.RootCount(); ++row)
        ClickNode(nodes.KeyOf(nodes.RootAt(row)), lines, outline, keywords, {});

    std::string streamed;
    const Result<void> done = StreamOutline(FileReader::Open(file.Path()).value(), keywords, {},
                                            [&](std::string_view out) {
                                                streamed += out;
                                                return true;
                                            });
    ASSERT_TRUE(done.ok()) << done.error();
    EXPECT_TRUE(streamed == RenderOutline(nodes, lines));
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
