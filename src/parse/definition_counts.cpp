#include "parse/definition_counts.h"

#include "parse/keywords.h"

#include <algorithm>
#include <optional>

namespace ini {

std::uint64_t DefinitionCounts::HashOf(std::string_view type, std::string_view name) noexcept {
    // The type by its length and ends only, in lower case: equal hashes are compared in full,
    // and a type is one of a few dozen block names.
    const auto end = [](char c) {
        return std::uint64_t{static_cast<unsigned char>(ToLowerAscii(c))};
    };
    const std::uint64_t typeKey =
        type.empty() ? 0 : type.size() << 16 | end(type.front()) << 8 | end(type.back());
    return std::hash<std::string_view>{}(name) ^ (typeKey * 0x9E3779B97F4A7C15u);
}

bool DefinitionCounts::SameBlock(std::string_view typeA, std::string_view nameA,
                                 std::string_view typeB, std::string_view nameB) noexcept {
    return nameA == nameB && EqualsIgnoringCase(typeA, typeB);
}

void DefinitionCounts::Clear() {
    m_slots.clear();
    m_used = 0;
}

std::size_t DefinitionCounts::SlotOf(std::size_t i, std::uint64_t hash) const {
    // The words are looked up only where hashes meet: for most definitions, never.
    std::optional<std::pair<std::string_view, std::string_view>> words;
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const Slot& at = m_slots[slot];
        if (at.first == 0)
            return slot;
        if (at.hash != hash)
            continue;
        if (!words)
            words = m_wordsOf(i);
        const auto [otherType, otherName] = m_wordsOf(at.first - 1);
        if (SameBlock(otherType, otherName, words->first, words->second))
            return slot;
    }
}

void DefinitionCounts::Reserve(std::size_t count) {
    std::size_t size = std::max<std::size_t>(64, m_slots.size());
    while (size < 2 * count)
        size *= 2;
    if (size > m_slots.size())
        Rehash(size);
}

void DefinitionCounts::Rehash(std::size_t size) {
    BigArray<Slot> grown;
    grown.resize(size);
    const BigArray<Slot> old = std::exchange(m_slots, std::move(grown));
    for (const Slot& slot : old) {
        if (slot.first == 0)
            continue;
        std::size_t at = slot.hash & (m_slots.size() - 1);
        while (m_slots[at].first != 0)
            at = (at + 1) & (m_slots.size() - 1);
        m_slots[at] = slot;
    }
}

std::size_t DefinitionCounts::Add(std::size_t i, std::uint64_t hash) {
    if (2 * (m_used + 1) > m_slots.size())
        Rehash(std::max<std::size_t>(64, 2 * m_slots.size()));
    Slot& slot = m_slots[SlotOf(i, hash)];
    if (slot.first == 0) {
        slot = Slot{hash, static_cast<std::uint32_t>(i + 1), 0};
        ++m_used;
    }
    ++slot.count;
    return slot.first - 1;
}

std::size_t DefinitionCounts::TimesDefined(std::size_t i) const {
    if (m_slots.empty())
        return 0;
    const auto [type, name] = m_wordsOf(i);
    return m_slots[SlotOf(i, HashOf(type, name))].count;
}

} // namespace ini
