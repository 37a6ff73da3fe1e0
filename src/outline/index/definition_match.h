#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
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

// The `most` best of the definitions offered to it, best first (ties in the order of their
// indices), in memory that does not grow with how many are offered: a list over millions of
// definitions can be ranked a slice at a time.
class BestMatches {
public:
    // `query` is UTF-8. A definition that is not is matched as the window shows it, in
    // Windows-1252.
    BestMatches(std::string query, std::size_t most);

    const std::string& Query() const noexcept { return m_query; }
    void Offer(std::size_t i, std::string_view type, std::string_view name);
    // The best, best first.
    std::vector<std::size_t> Best();

private:
    using Found = std::pair<MatchRank, std::size_t>;
    static bool Before(const Found& a, const Found& b) noexcept {
        return RanksAbove(a.first, b.first) ||
               (!RanksAbove(b.first, a.first) && a.second < b.second);
    }
    // Only the `most` best of what was found are kept, once twice as many were.
    void KeepBest();

    std::string m_query;
    std::string m_cp1252Query; // empty when it would be the same or cannot be had
    std::size_t m_most;
    std::vector<Found> m_found;
};

} // namespace ini
