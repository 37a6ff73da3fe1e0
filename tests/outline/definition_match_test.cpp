#include "outline/index/definition_match.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace ini {
namespace {

using Definition = std::pair<std::string, std::string>;

std::vector<std::string> Best(std::string_view query, const std::vector<Definition>& all,
                              std::size_t most = 10) {
    std::vector<std::string> shown;
    for (const std::size_t i : BestMatches(query, all.size(), most, [&](std::size_t at) {
             return std::pair(std::string_view(all[at].first), std::string_view(all[at].second));
         }))
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

} // namespace
} // namespace ini
