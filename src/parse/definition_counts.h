#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>

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
    // Slots from calloc: a large table's pages come zeroed from the system as they are first
    // touched, so making room for millions costs nothing until they are counted.
    class Slots {
    public:
        Slots() = default;
        explicit Slots(std::size_t size);
        std::size_t size() const noexcept { return m_size; }
        bool empty() const noexcept { return m_size == 0; }
        Slot& operator[](std::size_t i) noexcept { return m_slots.get()[i]; }
        const Slot& operator[](std::size_t i) const noexcept { return m_slots.get()[i]; }

    private:
        struct Free {
            void operator()(Slot* held) const noexcept { std::free(held); }
        };
        std::unique_ptr<Slot, Free> m_slots;
        std::size_t m_size = 0;
    };
    // The slot of definition `i`'s type and name: theirs, or the free one where they would go.
    std::size_t SlotOf(std::size_t i, std::uint64_t hash) const;
    // Moves every slot into a table of `size` slots (a power of two).
    void Rehash(std::size_t size);

    WordsOf m_wordsOf;
    Slots m_slots;
    std::size_t m_used = 0;
};

} // namespace ini
