#include "outline/line_store.h"

#include "outline_test_support.h"
#include "parse/line_ends.h"

#include <gtest/gtest.h>

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
        auto read = LineStore::ReadFile(file.Path());
        ASSERT_TRUE(std::holds_alternative<LineStore>(read));
        EXPECT_EQ(LinesOf(std::get<LineStore>(read)), c.lines)
            << testing::PrintToString(std::string(c.bytes));
    }
}

TEST(LineStore, LargeFilesReadInHalvesCutTheSameLines) {
    // Files this large are read and indexed as two halves; wherever the middle falls (inside a
    // CR LF pair, on a lone CR, on an LF, inside a line) the lines must be those of one scan.
    const std::size_t size = 6u << 20;
    for (const std::string_view atMiddle : {"\r\n", "\r", "\n", "x", "\n\r"}) {
        for (std::size_t shift = 0; shift < 3; ++shift) {
            std::string bytes;
            bytes.reserve(size);
            while (bytes.size() < size)
                bytes += "  Speed = 10\r\nObject A\rEnd\n";
            bytes.resize(size);
            bytes.replace(size / 2 - shift, atMiddle.size(), atMiddle);
            std::vector<std::string> expected;
            LineEndScanner scanner(bytes);
            while (auto line = scanner.Next())
                expected.emplace_back(*line);

            const test::TempFile file(bytes);
            int pumped = 0;
            auto read = LineStore::ReadFile(file.Path(), [&] { return ++pumped > 0; });
            ASSERT_TRUE(std::holds_alternative<LineStore>(read));
            EXPECT_EQ(LinesOf(std::get<LineStore>(read)), expected)
                << testing::PrintToString(std::string(atMiddle)) << " shift " << shift;
        }
    }
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
    for (const Case& c : cases)
        EXPECT_EQ(LineStore::FromBytes(std::string(c.bytes)).IsValidUtf8(), c.valid) << c.bytes;
}

} // namespace
} // namespace ini
