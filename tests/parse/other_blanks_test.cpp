#include "parse/other_blanks.h"

#include "parse/line_ends.h"
#include "parse/line_splitter.h"
#include "parse/text_encoding.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace ini {
namespace {

// The eight-at-a-time blank test agrees with the byte loop for every word length, every place
// of the byte, and however many bytes of the line follow the word (the fast one reads none past
// the line).
TEST(OtherBlanks, FastTestAgreesWithTheByteLoop) {
    for (const char odd : {'\0', '\t', '\x1f', ' ', '\x7f', '\x80', '\xa0', '\xc2', '\xff'}) {
        for (std::size_t length = 0; length <= 20; ++length) {
            for (std::size_t place = 0; place <= length; ++place) {
                for (std::size_t after = 0; after <= 9; ++after) {
                    std::string line(length + after, 'a');
                    if (place < length)
                        line[place] = odd;
                    const std::string_view word = std::string_view(line).substr(0, length);
                    // Copied to a buffer of exactly the line's size, so reading past it shows.
                    const std::vector<char> exact(line.begin(), line.end());
                    const std::string_view inExact(exact.data(), exact.size());
                    EXPECT_EQ(MayHoldOtherBlankFast(inExact.substr(0, length), inExact),
                              MayHoldOtherBlank(word))
                        << "length " << length << ", byte " << int(odd) << " at " << place << ", "
                        << after << " after";
                }
            }
        }
    }
}

// Where the lines start whose first word holds another blank, found line by line as the rules
// say.
std::vector<std::size_t> LinesByTheRules(std::string_view text) {
    std::vector<std::size_t> lines;
    const std::string_view body = StripUtf8Bom(text);
    LineEndScanner scanner(body);
    while (const std::optional<std::string_view> line = scanner.Next()) {
        if (MayHoldOtherBlank(FirstWordOf(*line)))
            lines.push_back(static_cast<std::size_t>(line->data() - text.data()));
    }
    return lines;
}

// The scan over a text that grows finds exactly the lines the rules give, however the text
// comes: long and short lines, every kind of line end, blanks before, in and after the first
// word and in comments, a byte order mark.
TEST(OtherBlanks, ScanFindsTheLinesTheRulesGive) {
    std::mt19937 random(7);
    const std::string bytes[] = {"O",
                                 "b",
                                 " ",
                                 ";",
                                 "\t",
                                 "\xA0",
                                 "\xC2",
                                 "\r",
                                 "\n",
                                 "\x01",
                                 "\r\n",
                                 "Object",
                                 std::string(20, 'w')};
    for (int round = 0; round < 3000; ++round) {
        std::string text = round % 5 == 0 ? std::string(utf8Bom) : std::string();
        const std::size_t parts = random() % 60;
        for (std::size_t i = 0; i < parts; ++i)
            text += bytes[random() % std::size(bytes)];
        OtherBlankWords scan(text.starts_with(utf8Bom) ? utf8Bom.size() : 0);
        std::vector<std::size_t> found;
        for (std::size_t size = 0; size < text.size();) {
            size = std::min(text.size(), size + 1 + random() % 24);
            scan.Scan(std::string_view(text).substr(0, size),
                      [&](std::size_t line) { found.push_back(line); });
        }
        ASSERT_EQ(found, LinesByTheRules(text)) << ::testing::PrintToString(text);
    }
}

} // namespace
} // namespace ini
