#include "outline/index/definition_match.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace ini {
namespace {

using Definition = std::pair<std::string, std::string>;

std::vector<std::string> Best(std::string_view query, const std::vector<Definition>& all,
                              std::size_t most = 10) {
    BestMatches best{std::string(query), most};
    for (std::size_t i = 0; i < all.size(); ++i)
        best.Offer(i, all[i].first, all[i].second);
    std::vector<std::string> shown;
    for (const std::size_t i : best.Best())
        shown.push_back(all[i].first + " " + all[i].second);
    return shown;
}

const std::vector<Definition> definitions = {
    {"Object", "MeridianLancerTank"}, {"Weapon", "LancerGunLong"}, {"Weapon", "LancerGun"},
    {"Armor", "TankArmor"},           {"Object", "Lancer"},        {"Locomotor", "TankTreads"},
};

// What is typed is found anywhere in the type or name, in any case; the whole name ranks first,
// then names that start with it, types that start with it, words inside a name, the rest;
// shorter before longer among equals, and the file order among those.
TEST(DefinitionMatch, BestMatchesFirst) {
    EXPECT_EQ(Best("lancer", definitions),
              (std::vector<std::string>{"Object Lancer", "Weapon LancerGun", "Weapon LancerGunLong",
                                        "Object MeridianLancerTank"}));
    EXPECT_EQ(Best("TANK", definitions),
              (std::vector<std::string>{"Armor TankArmor", "Locomotor TankTreads",
                                        "Object MeridianLancerTank"}));
    EXPECT_EQ(Best("weapon lancerg", definitions),
              (std::vector<std::string>{"Weapon LancerGun", "Weapon LancerGunLong"}));
    EXPECT_EQ(Best("loco", definitions), (std::vector<std::string>{"Locomotor TankTreads"}));
    EXPECT_TRUE(Best("nothing", definitions).empty());
    // Nothing typed: everything, shortest first, at most as many as asked for.
    EXPECT_EQ(Best("", definitions, 2),
              (std::vector<std::string>{"Object Lancer", "Armor TankArmor"}));
}

// A name not in UTF-8 is found by the letters the window shows for it, in Windows-1252; a
// name in UTF-8 is not found by that byte alone.
TEST(DefinitionMatch, NamesNotInUtf8AreFoundByTheirLetters) {
    const std::vector<Definition> named = {
        {"Object", "Caf\xe9Unit"}, {"Object", "Caf\xc3\xa9Tank"}, {"Object", "Caf\xe9\x80\x80"}};
    EXPECT_EQ(Best("caf\xc3\xa9", named),
              (std::vector<std::string>{"Object Caf\xe9Unit", "Object Caf\xc3\xa9Tank"}));
    EXPECT_EQ(Best("\xe2\x82\xac", {{"Weapon", "Gun\x80"}}), // the euro sign, 0x80
              (std::vector<std::string>{"Weapon Gun\x80"}));
    EXPECT_TRUE(Best("\xe4\xb8\x80", named).empty()); // a letter the code page lacks
}

// Only the best are kept while many are offered, and they are the ones a full sort would give:
// the best kinds first, then the shortest, then the first offered among equals.
TEST(DefinitionMatch, TheBestOfManyAreThoseOfAFullSort) {
    std::vector<Definition> many;
    for (int i = 0; i < 1000; ++i)
        many.emplace_back(i % 3 == 0 ? "Weapon" : "Object",
                          (i % 7 == 0 ? "Gun" : "Tank_Gun") + std::string(i % 5, 'x'));
    const std::vector<std::string> best = Best("gun", many, 25);
    ASSERT_EQ(best.size(), 25u);
    EXPECT_EQ(best.front(), "Weapon Gun"); // the whole name, shortest, and offered first
    std::vector<std::string> sorted;
    std::vector<std::pair<MatchRank, int>> all;
    for (int i = 0; i < 1000; ++i)
        all.emplace_back(RankDefinition("gun", many[i].first, many[i].second), i);
    std::stable_sort(all.begin(), all.end(),
                     [](const auto& a, const auto& b) { return RanksAbove(a.first, b.first); });
    for (int i = 0; i < 25; ++i)
        sorted.push_back(many[all[i].second].first + " " + many[all[i].second].second);
    EXPECT_EQ(best, sorted);
    EXPECT_EQ(Best("gun", many, 0), std::vector<std::string>{});
}

} // namespace
} // namespace ini
