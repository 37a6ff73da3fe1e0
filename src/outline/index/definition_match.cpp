#include "outline/index/definition_match.h"

#include "parse/cp1252.h"
#include "parse/keywords.h"
#include "parse/text_encoding.h"

namespace ini {

namespace {

// Where `query` first occurs in `text` in any ASCII letter case, at or after `from`.
std::size_t FindIgnoringCase(std::string_view text, std::string_view query,
                             std::size_t from = 0) noexcept {
    if (query.size() > text.size())
        return std::string_view::npos;
    for (std::size_t at = from; at + query.size() <= text.size(); ++at)
        if (EqualsIgnoringCase(text.substr(at, query.size()), query))
            return at;
    return std::string_view::npos;
}

bool StartsWord(std::string_view text, std::size_t at) noexcept {
    if (at == 0)
        return true;
    const char before = text[at - 1];
    const char here = text[at];
    const bool beforeIsLetter =
        (before >= 'a' && before <= 'z') || (before >= 'A' && before <= 'Z');
    // After a non-letter, or a capital after a small letter ("Lancer" in "MeridianLancerGun").
    return !beforeIsLetter || (here >= 'A' && here <= 'Z' && before >= 'a' && before <= 'z');
}

// The query as a block file not in UTF-8 holds it; empty when it is plain ASCII (the same
// either way) or holds a character the code page lacks.
std::string Cp1252Of(std::string_view utf8) {
    std::string bytes;
    bool beyondAscii = false;
    while (!utf8.empty()) {
        const auto [length, point] = DecodeUtf8(utf8);
        const std::optional<unsigned char> byte =
            length == 0 || point > 0xFFFF ? std::nullopt
                                          : UnicodeToCp1252(static_cast<char16_t>(point));
        if (!byte)
            return {};
        beyondAscii |= *byte >= 0x80;
        bytes += static_cast<char>(*byte);
        utf8.remove_prefix(length);
    }
    return beyondAscii ? bytes : std::string();
}

} // namespace

BestMatches::BestMatches(std::string query, std::size_t most)
    : m_query(std::move(query)), m_cp1252Query(Cp1252Of(m_query)), m_most(most) {}

bool RanksAbove(const MatchRank& a, const MatchRank& b) noexcept {
    return a.kind != b.kind ? a.kind > b.kind : a.length < b.length;
}

MatchRank RankDefinition(std::string_view query, std::string_view type,
                         std::string_view name) noexcept {
    const std::size_t length = type.size() + 1 + name.size();
    if (query.empty())
        return {1, length};
    if (EqualsIgnoringCase(name, query))
        return {6, length};
    const std::size_t inName = FindIgnoringCase(name, query);
    if (inName == 0)
        return {5, length};
    if (FindIgnoringCase(type, query) == 0)
        return {4, length};
    for (std::size_t at = inName; at != std::string_view::npos;
         at = FindIgnoringCase(name, query, at + 1))
        if (StartsWord(name, at))
            return {3, length};
    if (inName != std::string_view::npos || FindIgnoringCase(type, query) != std::string_view::npos)
        return {2, length};
    // Typed with the space: "weapon lan" matches "Weapon LancerGun".
    const std::size_t space = query.find(' ');
    if (space != std::string_view::npos && EqualsIgnoringCase(type, query.substr(0, space)) &&
        FindIgnoringCase(name, query.substr(space + 1)) == 0)
        return {4, length};
    return {};
}

void BestMatches::Offer(std::size_t i, std::string_view type, std::string_view name) {
    MatchRank rank = RankDefinition(m_query, type, name);
    if (rank.kind == 0 && !m_cp1252Query.empty() && !(IsValidUtf8(type) && IsValidUtf8(name)))
        rank = RankDefinition(m_cp1252Query, type, name);
    if (rank.kind == 0)
        return;
    m_found.emplace_back(rank, i);
    if (m_found.size() >= 2 * std::max<std::size_t>(m_most, 1))
        KeepBest();
}

void BestMatches::KeepBest() {
    if (m_found.size() <= m_most)
        return;
    std::nth_element(m_found.begin(), m_found.begin() + static_cast<std::ptrdiff_t>(m_most),
                     m_found.end(), Before);
    m_found.resize(m_most);
}

std::vector<std::size_t> BestMatches::Best() {
    KeepBest();
    std::sort(m_found.begin(), m_found.end(), Before);
    std::vector<std::size_t> best;
    best.reserve(m_found.size());
    for (const Found& found : m_found)
        best.push_back(found.second);
    return best;
}

} // namespace ini
