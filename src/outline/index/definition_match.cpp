#include "outline/index/definition_match.h"

#include "parse/keywords.h"

#include <utility>

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

} // namespace

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

namespace {

// FNV-1a over the type in lower case, a separator and the name.
std::uint64_t HashOf(std::pair<std::string_view, std::string_view> words) noexcept {
    std::uint64_t hash = 14695981039346656037u;
    const auto mix = [&hash](char c) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
    };
    for (const char c : words.first)
        mix(ToLowerAscii(c));
    mix('\0');
    for (const char c : words.second)
        mix(c);
    return hash;
}

} // namespace

void DefinitionCounts::Clear() {
    m_slots.clear();
    m_used = 0;
}

std::size_t DefinitionCounts::SlotOf(std::size_t i, std::uint64_t hash) const {
    const auto [type, name] = m_wordsOf(i);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const Slot& at = m_slots[slot];
        if (at.first == 0)
            return slot;
        if (at.hash != hash)
            continue;
        const auto [otherType, otherName] = m_wordsOf(at.first - 1);
        if (otherName == name && EqualsIgnoringCase(otherType, type))
            return slot;
    }
}

void DefinitionCounts::Grow() {
    std::vector<Slot> old =
        std::exchange(m_slots, std::vector<Slot>(std::max<std::size_t>(64, 2 * m_slots.size())));
    for (const Slot& slot : old) {
        if (slot.first == 0)
            continue;
        std::size_t at = slot.hash & (m_slots.size() - 1);
        while (m_slots[at].first != 0)
            at = (at + 1) & (m_slots.size() - 1);
        m_slots[at] = slot;
    }
}

void DefinitionCounts::Add(std::size_t i) {
    if (2 * (m_used + 1) > m_slots.size())
        Grow();
    const std::uint64_t hash = HashOf(m_wordsOf(i));
    Slot& slot = m_slots[SlotOf(i, hash)];
    if (slot.first == 0) {
        slot = Slot{hash, static_cast<std::uint32_t>(i + 1), 0};
        ++m_used;
    }
    ++slot.count;
}

std::size_t DefinitionCounts::TimesDefined(std::size_t i) const {
    if (m_slots.empty())
        return 0;
    return m_slots[SlotOf(i, HashOf(m_wordsOf(i)))].count;
}

} // namespace ini
