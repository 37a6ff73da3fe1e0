#pragma once

#include "parse/big_buffer.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace ini {

// How often each block type (compared in any letter case, as the keyword table compares) and
// name is defined, among definitions known by their number: the one statement of when two
// definitions define the same block, for the structure checks and the go-to list alike. It keeps
// no text: a slot is 16 bytes, the table at most half full, and equal hashes are told apart by
// the words `wordsOf(i)` gives (type, name).
class DefinitionCounts {
public:
    using WordsOf = std::function<std::pair<std::string_view, std::string_view>(std::size_t)>;
    explicit DefinitionCounts(WordsOf wordsOf) : m_wordsOf(std::move(wordsOf)) {}

    // What the table files a type and name under. A walk that has the words at hand makes it
    // then, so that the table need not look them up again for each definition.
    static std::uint64_t HashOf(std::string_view type, std::string_view name) noexcept;
    // Whether two definitions define the same block: the same name, and the same type in any
    // letter case. Their hashes are then equal.
    static bool SameBlock(std::string_view typeA, std::string_view nameA, std::string_view typeB,
                          std::string_view nameB) noexcept;

    void Clear();
    // Makes room for `count` definitions at once, for a caller that knows how many will come.
    void Reserve(std::size_t count);
    // Counts definition `i`, whose words hash to `hash`; each is added once. Gives the first
    // definition counted with the same type and name: `i` itself when there was none.
    std::size_t Add(std::size_t i, std::uint64_t hash);
    std::size_t Add(std::size_t i) {
        const auto [type, name] = m_wordsOf(i);
        return Add(i, HashOf(type, name));
    }
    // How often the type and name of definition `i`, one added, are defined.
    std::size_t TimesDefined(std::size_t i) const;

private:
    struct Slot {
        std::uint64_t hash = 0;
        std::uint32_t first = 0; // the first definition counted here, plus one; 0: free
        std::uint32_t count = 0;
    };
    // The slot of definition `i`'s type and name: theirs, or the free one where they would go.
    std::size_t SlotOf(std::size_t i, std::uint64_t hash) const;
    // Moves every slot into a table of `size` slots (a power of two, above twice those used).
    void Rehash(std::size_t size);

    WordsOf m_wordsOf;
    BigArray<Slot> m_slots; // in huge pages: a table of many definitions faults far less
    std::size_t m_used = 0;
};

// Of `count` definitions, those whose hash (`hashOf(i)`) may be another's too, in rising order:
// every definition of a block defined more than once is among them. Two bits per hash in a table
// of 16 per definition sort out the rest, in two passes that stay in cache, so that a file with
// few such blocks builds a DefinitionCounts table (whose slots miss the cache) only for those.
template <typename HashOf>
std::vector<std::size_t> MayBeDefinedAgain(std::size_t count, HashOf&& hashOf) {
    const std::size_t bits = std::bit_ceil(std::max<std::size_t>(64, 16 * count));
    const int shift = 64 - std::countr_zero(bits);
    std::vector<std::uint64_t> seen(bits / 64), again(bits / 64);
    const auto bitOf = [&](std::size_t i) { return std::uint64_t{hashOf(i)} >> shift; };
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t bit = bitOf(i), mask = std::uint64_t{1} << (bit % 64);
        again[bit / 64] |= seen[bit / 64] & mask;
        seen[bit / 64] |= mask;
    }
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t bit = bitOf(i);
        if ((again[bit / 64] >> (bit % 64) & 1) != 0)
            candidates.push_back(i);
    }
    return candidates;
}

} // namespace ini
