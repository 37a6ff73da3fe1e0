#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace ini::test {

// Compares two texts of any size line by line (EXPECT_PRED_FORMAT2(test::SameText, a, b)): a
// difference is reported as the first line that differs, by its 1-based number, with both
// versions of it (cut short when long), instead of both texts whole.
inline ::testing::AssertionResult SameText(const char* actualName, const char* expectedName,
                                           std::string_view actual, std::string_view expected) {
    if (actual == expected)
        return ::testing::AssertionSuccess();
    const auto differs = static_cast<std::size_t>(
        std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end()).first -
        actual.begin());
    // Both texts are the same up to `differs`, so the line starts at the same place in both.
    const std::size_t lastBreak =
        differs == 0 ? std::string_view::npos : actual.rfind('\n', differs - 1);
    const std::size_t start = lastBreak == std::string_view::npos ? 0 : lastBreak + 1;
    const std::size_t number =
        1 + static_cast<std::size_t>(std::count(actual.begin(), actual.begin() + start, '\n'));
    // A long line is shown around the first byte that differs.
    constexpr std::size_t shown = 160;
    const std::size_t from = differs - start > shown / 2 ? differs - shown / 2 : start;
    const auto lineOf = [&](std::string_view text) {
        if (start >= text.size())
            return std::string("(the text has ended)");
        const std::string_view line = text.substr(start, text.find('\n', start) - start);
        const std::string_view part = line.substr(from - start, shown);
        std::string quoted = ::testing::PrintToString(std::string(part));
        if (part.size() < line.size())
            quoted += " (bytes " + std::to_string(from - start + 1) + " to " +
                      std::to_string(from - start + part.size()) + " of " +
                      std::to_string(line.size()) + ")";
        return quoted;
    };
    return ::testing::AssertionFailure()
           << actualName << " and " << expectedName << " differ first on line " << number
           << ", byte " << differs - start + 1 << "\n  " << actualName << ": " << lineOf(actual)
           << "\n  " << expectedName << ": " << lineOf(expected);
}

} // namespace ini::test
