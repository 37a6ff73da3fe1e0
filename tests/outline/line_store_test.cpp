#include "outline/read/line_store.h"

#include "outline_test_support.h"
#include "parse/line_ends.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace ini {
namespace {

std::vector<std::string> LinesOf(const LineStore& store) {
    std::vector<std::string> out;
    for (LineIndex i = 0; i < store.Count(); ++i)
        out.emplace_back(store.Line(i));
    return out;
}

TEST(LineStore, ReadsEveryLineEndAndByteOrderMarkTheSameWay) {
    using V = std::vector<std::string>;
    struct Case {
        std::string_view bytes;
        V lines;
    };
    using namespace std::string_view_literals;
    const Case cases[] = {
        {"", {}},
        {"Object A\r\nEnd\r\n", {"Object A", "End"}},
        {"Object A\rEnd\r", {"Object A", "End"}},
        {"Object A\nEnd\n", {"Object A", "End"}},
        {"Object A\r\nX = 1\nY = 2\rEnd", {"Object A", "X = 1", "Y = 2", "End"}},
        {"\xEF\xBB\xBFObject A\r\nEnd", {"Object A", "End"}},
        {"\r\n\r\n", {"", ""}},
        {"a\0b\r\n\xff\xfe"sv, {std::string("a\0b", 3), "\xff\xfe"}},
    };
    for (const Case& c : cases) {
        const test::TempFile file(c.bytes);
        const Result<LineStore> read = LineStore::ReadFile(file.Path());
        ASSERT_TRUE(read.ok()) << read.error();
        EXPECT_EQ(LinesOf(read.value()), c.lines) << testing::PrintToString(std::string(c.bytes));
    }
}

TEST(LineStore, LinesAcrossReadPiecesAreCutAsInOneScan) {
    // Files are read in pieces; whatever ends one (half a CR LF pair, a lone CR, an LF, the
    // middle of a line) the lines must be those of one scan.
    const std::size_t piece = 4 * PieceReader::pieceBytes;
    for (const std::string_view atBoundary : {"\r\n", "\r", "\n", "x", "\n\r"}) {
        std::string bytes;
        while (bytes.size() < piece + 64)
            bytes += "  Speed = 10\r\nObject A\rEnd\n";
        bytes.replace(piece - 1, atBoundary.size(), atBoundary);
        std::vector<std::string> expected;
        LineEndScanner scanner(bytes);
        while (auto line = scanner.Next())
            expected.emplace_back(*line);

        const test::TempFile file(bytes);
        const Result<LineStore> read = LineStore::ReadFile(file.Path());
        ASSERT_TRUE(read.ok()) << read.error();
        const LineStore& store = read.value();
        EXPECT_EQ(LinesOf(store), expected) << testing::PrintToString(std::string(atBoundary));

        // Only some line starts are kept: runs cut again and places traced back to their lines
        // must agree with the lines wherever they start and end.
        for (LineIndex first : {LineIndex{0}, LineIndex{15}, LineIndex{16}, LineIndex{17}}) {
            std::vector<std::string> cut;
            store.CutLines(first, first + 33, [&](const CutLine& line) {
                cut.emplace_back(line.text);
                return true;
            });
            EXPECT_EQ(cut, std::vector(expected.begin() + first, expected.begin() + first + 34));
        }
        const LineStore::PlacedLine first = store.PlaceLine(0);
        LineStore::PlacedLine before = first;
        for (LineIndex i = 0; i + 1 < store.Count(); ++i) {
            const std::string_view line = store.Line(i);
            // From the line before (line by line) and from the first line (through the marks).
            for (const LineStore::PlacedLine& from : {before, first}) {
                const LineStore::PlacedLine held = store.LineHolding(from, line.data());
                ASSERT_EQ(held.index, i);
                ASSERT_EQ(held.text.data(), line.data());
                ASSERT_EQ(store.LineHolding(from, line.data() + line.size()).index, i);
            }
            const LineStore::PlacedLine placed = store.PlaceLine(i);
            const LineStore::PlacedLine next = store.NextLine(placed);
            ASSERT_EQ(next.index, i + 1);
            ASSERT_EQ(next.text.data(), store.Line(i + 1).data());
            ASSERT_EQ(next.text, store.Line(i + 1));
            ASSERT_EQ(placed.next, next.text.data());
            before = placed;
        }
    }
}

TEST(LineStore, FileChangedWhileReadIsAFailure) {
    // A writer appending, cutting the file short or rewriting it in place: the read takes no
    // more than the size seen at open and reports the change instead of mixing two versions.
    const std::string text = "Object A\nEnd\nWeapon B\nEnd\n";
    const std::vector<std::function<void(const std::string&)>> changes = {
        [](const std::string& path) { std::ofstream(path, std::ios::app) << "Object C\nEnd\n"; },
        [](const std::string& path) { std::filesystem::resize_file(path, 5); },
        [](const std::string& path) {
            const timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
            ::utimensat(AT_FDCWD, path.c_str(), times, 0);
        },
    };
    // Changes the file once its first line is in.
    struct ChangeOnce {
        std::function<void()> change;
        bool Line(LineIndex, const CutLine&) {
            if (change)
                std::exchange(change, nullptr)();
            return true;
        }
        bool LongLine(LineIndex, std::string_view, std::size_t) { return true; }
        void LongPart(std::string_view) {}
        void LongEnd() {}
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const test::TempFile file(text);
        Result<FileReader> opened = FileReader::Open(file.Path());
        ASSERT_TRUE(opened.ok());
        ChangeOnce changeOnce{[&] { changes[i](file.Path()); }};
        const Result<LineStore> read = LineStore::ReadFile(std::move(opened).value(), changeOnce);
        ASSERT_FALSE(read.ok()) << "change " << i;
        EXPECT_NE(read.error().find("changed while it was read"), std::string::npos)
            << read.error();
    }
    // A file empty at open is read then (as a virtual file); written right after (a writer that
    // empties and rewrites it), what was read may be part of it.
    const test::TempFile emptied("");
    Result<FileReader> opened = FileReader::Open(emptied.Path());
    ASSERT_TRUE(opened.ok());
    std::ofstream(emptied.Path(), std::ios::app) << text;
    ChangeOnce nothing;
    const Result<LineStore> read = LineStore::ReadFile(std::move(opened).value(), nothing);
    ASSERT_FALSE(read.ok());
    EXPECT_NE(read.error().find("(0 bytes when opened"), std::string::npos) << read.error();
}

// The kernel's virtual files read as empty yet hold lines: a load shows them, as it shows a file
// that gives its size, and a truly empty file stays empty.
TEST(LineStore, AFileWhoseSizeReadsAsZeroShowsWhatItHolds) {
    const Result<LineStore> status = LineStore::ReadFile("/proc/self/status");
    ASSERT_TRUE(status.ok()) << status.error();
    ASSERT_GT(status.value().Count(), 1u);
    EXPECT_TRUE(status.value().Line(0).starts_with("Name:")) << status.value().Line(0);
    const test::TempFile empty("");
    const Result<LineStore> none = LineStore::ReadFile(empty.Path());
    ASSERT_TRUE(none.ok()) << none.error();
    EXPECT_EQ(none.value().Count(), 0u);
}

TEST(LineStore, TellsValidUtf8FromOtherBytes) {
    struct Case {
        std::string_view bytes;
        bool valid;
    };
    const Case cases[] = {
        {"plain ascii text that is long enough for the word-wise path", true},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", true},
        {"caf\xE9", false},              // Windows-1252 e-acute
        {"\xC0\xAF", false},             // overlong
        {"\xED\xA0\x80", false},         // surrogate
        {"\xF4\x90\x80\x80", false},     // above U+10FFFF
        {"ends inside \xE2\x82", false}, // truncated
    };
    // A file is checked while it is read, a piece at a time: each case is a whole file, goes last
    // in one, and lies across a boundary between pieces.
    const std::string longLine(4 * PieceReader::pieceBytes - 3, 'x');
    for (const Case& c : cases) {
        for (const std::string& text : {std::string(c.bytes), "first\n" + std::string(c.bytes),
                                        longLine + std::string(c.bytes) + "\nlast\n"}) {
            const test::TempFile file(text);
            const Result<LineStore> read = LineStore::ReadFile(file.Path());
            ASSERT_TRUE(read.ok());
            EXPECT_EQ(read.value().IsValidUtf8(), c.valid) << c.bytes;
        }
    }
}

} // namespace
} // namespace ini
