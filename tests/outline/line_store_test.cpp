#include "outline/line_store.h"

#include "outline_test_support.h"

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
