#pragma once

#include "parse/big_buffer.h"

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

} // namespace ini
