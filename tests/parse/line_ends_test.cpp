#include "parse/line_ends.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace ini {
namespace {

std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    LineEndScanner scanner(StripUtf8Bom(text));
    while (auto line = scanner.Next())
        lines.emplace_back(*line);
    return lines;
}

using V = std::vector<std::string>;

TEST(LineEnds, Matrix) {
    struct Case {
        std::string_view text;
        V lines;
    };
    using namespace std::string_view_literals;
    const Case cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"\r\n", {""}},
        {"\n\n", {"", ""}},
        {"\r\r\n\n", {"", "", ""}},
        {"a\n\rb", {"a", "", "b"}},
        {"\xEF\xBB\xBFObject A\r\nEnd", {"Object A", "End"}},
        {"\xEF\xBB\xBF", {}},
        {"x\xEF\xBB\xBF", {"x\xEF\xBB\xBF"}},
        {"a\0b\nc"sv, {std::string("a\0b", 3), "c"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Lines(c.text), c.lines) << testing::PrintToString(std::string(c.text));
}

TEST(LineEnds, TerminatorLengthMatchesTheScanner) {
    const std::string text = "a\r\nbb\rccc\ndddd";
    LineEndScanner scanner(text);
    std::size_t start = 0;
    while (auto line = scanner.Next()) {
        const std::string_view span(text.data() + start, scanner.Position() - start);
        EXPECT_EQ(span.size() - TerminatorLength(span), line->size());
        start = scanner.Position();
    }
}

// From each line's start, the line ends counted up to any later line's start are how many lines
// the scanner gives between them; a text's line ends and its last line without one are its lines.
TEST(LineEnds, CountedLineEndsMatchTheScanner) {
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string text;
        for (int i = random() % 40; i > 0; --i)
            text += "a\r\n"[random() % 3];
        std::vector<std::size_t> starts{0};
        LineEndScanner scanner(text);
        while (scanner.Next())
            starts.push_back(scanner.Position());
        const bool lastEnded = !text.empty() && (text.back() == '\r' || text.back() == '\n');
        EXPECT_EQ(CountLineEnds(text) + (text.empty() || lastEnded ? 0 : 1), starts.size() - 1)
            << testing::PrintToString(text);
        for (std::size_t from = 0; from < starts.size(); ++from) {
            for (std::size_t to = from; to < starts.size(); ++to)
                EXPECT_EQ(CountLineEnds(std::string_view(text).substr(starts[from],
                                                                      starts[to] - starts[from])),
                          to - from - (to + 1 == starts.size() && !lastEnded && to > from ? 1 : 0))
                    << testing::PrintToString(text) << " from " << starts[from];
        }
    }
}

TEST(LineEnds, LoneTerminatorsOfOneKindStayLinear) {
    // A file of only CRs must not rescan for LF at every line.
    const std::string text(2'000'000, '\r');
    LineEndScanner scanner(text);
    std::size_t count = 0;
    while (scanner.Next())
        ++count;
    EXPECT_EQ(count, text.size());
}

// Text arriving in two pieces, split anywhere (inside a CR LF pair, after a lone CR, at the
// very end), is cut into the same lines, at the same offsets, as the whole text in one scan.
TEST(LineEnds, LinesCutPieceByPieceEqualOneScan) {
    for (const std::string_view text :
         {"a\r\nb\rc\nd", "\r\n\r\n", "x\r", "\n\r\n\r", "", "one line", "End\r\n  Speed = 1 \r"}) {
        std::vector<std::pair<std::string, std::size_t>> whole;
        CutCompleteLinesFast(text, true, [&](const CutLine& line) {
            whole.emplace_back(line.text, line.start);
            return true;
        });
        V wholeLines;
        for (const auto& [line, at] : whole)
            wholeLines.push_back(line);
        EXPECT_EQ(wholeLines, Lines(text)); // the same lines as the scanner's
        for (std::size_t split = 0; split <= text.size(); ++split) {
            std::vector<std::pair<std::string, std::size_t>> pieces;
            auto collect = [&](std::size_t base) {
                return [&pieces, base](const CutLine& line) {
                    pieces.emplace_back(line.text, base + line.start);
                    return true;
                };
            };
            const std::size_t consumed =
                CutCompleteLinesFast(text.substr(0, split), false, collect(0));
            CutCompleteLinesFast(text.substr(consumed), true, collect(consumed));
            EXPECT_EQ(pieces, whole)
                << testing::PrintToString(std::string(text)) << " at " << split;
        }
    }
}

// The cutter classes 64 bytes at a time and searches again only for longer lines, so lines of
// every length, at every place around those 64-byte edges and the end of the bytes, must come
// out as the line-end rules and FirstWordOf say, one byte at a time.
TEST(LineEnds, CutterAgreesWithTheRulesAtEveryLengthAndPlace) {
    std::mt19937 random(5);
    const char alphabet[] = {' ', ' ', 'a', 'B', ';', '\t', '\r', '\n', '\n'};
    for (int round = 0; round < 4000; ++round) {
        std::string text(random() % 300, ' ');
        for (char& c : text)
            c = alphabet[random() % (round % 4 == 0 ? 6 : sizeof alphabet)]; // some long lines
        // The cut may end before the bytes it is allowed to read do: that must not matter.
        const std::string_view cutBytes = std::string_view(text).substr(
            0, text.size() - std::min<std::size_t>(text.size(), round % 70));
        std::vector<std::pair<std::string, std::string>> expected; // line, first word
        for (auto scanner = LineEndScanner(cutBytes); auto line = scanner.Next();)
            expected.emplace_back(*line, FirstWordOf(*line));
        const auto cutWith = [&]<typename Masks>(Masks) {
            std::vector<std::pair<std::string, std::string>> cut;
            const std::size_t consumed = CutCompleteLinesFast<Masks>(
                cutBytes, true,
                [&](const CutLine& line) {
                    EXPECT_EQ(line.text.data(), text.data() + line.start);
                    cut.emplace_back(line.text, line.firstWord);
                    return true;
                },
                text.size());
            EXPECT_EQ(consumed, cutBytes.size());
            EXPECT_EQ(cut, expected) << testing::PrintToString(cutBytes);
        };
        cutWith(detail::Sse2Masks{});
#ifdef INI_AVX2_MASKS
        if (detail::CpuHasAvx2())
            cutWith(detail::Avx2Masks{});
#endif
    }
}

// Each way of classing 64 bytes at once gives what a look at one byte at a time gives.
TEST(LineEnds, EveryMaskMakerAgreesWithOneByteAtATime) {
    std::mt19937 random(3);
    const char alphabet[] = {' ', 'a', ';', '\t', '\r', '\n', '\x80', '\xff'};
    for (int round = 0; round < 2000; ++round) {
        char bytes[64];
        for (char& c : bytes)
            c = alphabet[random() % sizeof alphabet];
        const detail::ByteMasks expected = detail::MasksOfFew(bytes, 64);
        const auto same = [&](const detail::ByteMasks& masks) {
            EXPECT_EQ(masks.lineBreak, expected.lineBreak);
            EXPECT_EQ(masks.space, expected.space);
            EXPECT_EQ(masks.semicolon, expected.semicolon);
        };
        same(detail::Sse2Masks::Of64(bytes));
#ifdef INI_AVX2_MASKS
        if (detail::CpuHasAvx2())
            same(detail::Avx2Masks::Of64(bytes));
#endif
    }
}

} // namespace
} // namespace ini
