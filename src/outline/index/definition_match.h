#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

namespace ini {

// How well typed text matches a definition's "Type Name", for a go-to list: the text anywhere in
// it, in any ASCII letter case. Better matches rank higher: the whole name, then the start of
// the name, the start of the type, the start of any word, then anywhere; shorter texts first
// among equals. Nothing when the text does not occur.
struct MatchRank {
    int kind = 0;           // higher is better
    std::size_t length = 0; // of the definition's text: shorter is better
    friend bool operator==(const MatchRank&, const MatchRank&) = default;
};
bool RanksAbove(const MatchRank& a, const MatchRank& b) noexcept;

// The rank of `query` in the definition written as `type` and `name`; kind 0: no match. An
// empty query matches everything alike.
MatchRank RankDefinition(std::string_view query, std::string_view type,
                         std::string_view name) noexcept;

// The `most` best of `count` definitions, best first (ties keep their order), each given by
// `textOf(i)` as a pair of type and name.
template <typename TextOf>
std::vector<std::size_t> BestMatches(std::string_view query, std::size_t count, std::size_t most,
                                     TextOf&& textOf) {
    std::vector<std::pair<MatchRank, std::size_t>> found;
    for (std::size_t i = 0; i < count; ++i) {
        const auto [type, name] = textOf(i);
        if (const MatchRank rank = RankDefinition(query, type, name); rank.kind > 0)
            found.emplace_back(rank, i);
    }
    const auto better = [](const auto& a, const auto& b) { return RanksAbove(a.first, b.first); };
    const std::size_t kept = std::min(most, found.size());
    std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(kept), found.end(),
                      [&](const auto& a, const auto& b) {
                          return better(a, b) || (!better(b, a) && a.second < b.second);
                      });
    std::vector<std::size_t> best;
    best.reserve(kept);
    for (std::size_t i = 0; i < kept; ++i)
        best.push_back(found[i].second);
    return best;
}

} // namespace ini
