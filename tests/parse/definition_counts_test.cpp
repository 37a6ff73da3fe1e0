#include "parse/definition_counts.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ini {
namespace {

// Types count in any letter case, names exactly; the table grows past its first size and still
// tells every key apart.
TEST(DefinitionCounts, CountTypesInAnyCaseAndNamesExactly) {
    std::vector<std::pair<std::string, std::string>> words;
    for (int i = 0; i < 500; ++i)
        words.emplace_back("Object", "Unit" + std::to_string(i));
    words.emplace_back("OBJECT", "Unit7");
    words.emplace_back("object", "unit7");
    words.emplace_back("Weapon", "Unit7");
    words.emplace_back("Object", "Unit499");
    DefinitionCounts counts([&](std::size_t i) {
        return std::pair<std::string_view, std::string_view>(words[i].first, words[i].second);
    });
    EXPECT_EQ(counts.TimesDefined(0), 0u) << "nothing counted yet";
    for (std::size_t i = 0; i < words.size(); ++i)
        EXPECT_EQ(counts.Add(i), i == 500 ? 7 : i == 503 ? 499 : i) << "the first of its words";
    EXPECT_EQ(counts.TimesDefined(7), 2u);
    EXPECT_EQ(counts.TimesDefined(500), 2u);
    EXPECT_EQ(counts.TimesDefined(501), 1u);
    EXPECT_EQ(counts.TimesDefined(502), 1u);
    EXPECT_EQ(counts.TimesDefined(499), 2u);
    EXPECT_EQ(counts.TimesDefined(3), 1u);
    counts.Clear();
    EXPECT_EQ(counts.TimesDefined(7), 0u);
}

} // namespace
} // namespace ini
