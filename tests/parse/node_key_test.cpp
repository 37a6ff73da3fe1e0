#include "parse/node_key.h"

#include <gtest/gtest.h>

#include <optional>

namespace ini {
namespace {

TEST(NodeKey, FormatsDecimalIndex) {
    EXPECT_EQ(NodeKey{0}.ToString(), "Key_0");
    EXPECT_EQ(NodeKey{41}.ToString(), "Key_41");
    EXPECT_EQ(NodeKey{4'000'000'000ULL}.ToString(), "Key_4000000000");
}

TEST(NodeKey, ParsesByRemovingEveryPrefix) {
    struct Case {
        std::string_view text;
        std::optional<LineIndex> line;
    };
    const Case cases[] = {
        {"Key_0", 0},
        {"Key_41", 41},
        {"Key_Key_7", 7},
        {"7", 7},
        {"Ke"
         "y_12",
         12},
        {"key_3", std::nullopt},
        {"Key_", std::nullopt},
        {"", std::nullopt},
        {"Key_-1", std::nullopt},
        {"Key_1x", std::nullopt},
        {"Key_ 1", std::nullopt},
        {"Key_99999999999999999999999", std::nullopt},
        {"1Key_2", 12},
    };
    for (const Case& c : cases) {
        const std::optional<NodeKey> key = NodeKey::Parse(c.text);
        EXPECT_EQ(key.has_value(), c.line.has_value()) << c.text;
        if (key && c.line) {
            EXPECT_EQ(key->line, *c.line) << c.text;
        }
    }
}

// Counting up carries through every run of nines, the step to one more digit included.
TEST(NodeKey, CountingUpGivesWhatFormattingGives) {
    for (const LineIndex first : {LineIndex{0}, LineIndex{7}, LineIndex{95}, LineIndex{99'990},
                                  LineIndex{4'294'967'290}, LineIndex{999'999'999'995}}) {
        KeyText counted(NodeKey{first}), moved(NodeKey{first});
        for (LineIndex line = first; line < first + 20; ++line, counted.Next()) {
            EXPECT_EQ(counted.Text(), NodeKey{line}.ToString());
            moved.MoveTo(NodeKey{line + line % 3 * 10}); // near and far, on and back
            EXPECT_EQ(moved.Text(), NodeKey{line + line % 3 * 10}.ToString());
        }
    }
}

} // namespace
} // namespace ini
