#pragma once

#include "parse/keywords.h"
#include "parse/line_splitter.h"
#include "parse/line_walk.h"

#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ini {

// A mistake in a block file: what the rules made of a line that was likely meant otherwise.
struct Problem {
    LineIndex line = 0; // 0-based, as node keys count
    std::string message;

    friend bool operator==(const Problem&, const Problem&) = default;
};

// The walk's sink that finds the mistakes modders make most, as the walk passes them (no second
// pass over the file):
// - a block still open at the end of the file, which swallowed every line after its opener
//   (every block open there is named);
// - an end line with no block open, which the walk passes over;
// - a line whose first word starts with a block name known where it stands, followed by a tab
//   or another blank that is not a space: only spaces separate words, so it opens no block;
// - the same block type and name defined twice at the top level (both lines are named).
class StructureChecks {
public:
    explicit StructureChecks(const Keywords& keywords) : m_keywords(keywords) {}

    void Line(const WalkedLine& line);
    bool Stopped() const noexcept { return false; }
    // After the last line: names the blocks still open, and puts the problems in file order.
    void Finish();
    const std::vector<Problem>& Problems() const noexcept { return m_problems; }
    std::vector<Problem> TakeProblems() noexcept { return std::move(m_problems); }

    // Most problems kept for one file: a file of nothing but stray end lines must not make a
    // list as large as itself. Those past it are only counted.
    static constexpr std::size_t mostProblems = 10'000;
    std::size_t Uncounted() const noexcept { return m_uncounted; }

private:
    // How much of an opener's line a message quotes.
    static constexpr std::size_t mostQuoted = 200;
    struct OpenBlock {
        LineIndex line = 0;
        std::string text; // the opener's line, up to mostQuoted bytes
    };
    void Add(LineIndex line, std::string message);
    void CheckBlank(const WalkedLine& line);
    void CheckDefinition(const WalkedLine& line, std::string_view content);

    const Keywords& m_keywords;
    std::array<OpenBlock, Keywords::maxPathDepth> m_open;
    std::size_t m_depth = 0;
    struct Definition {
        LineIndex first;
        std::string written; // its type and name as the first line spells them
        bool named = false;  // its line has a problem already
    };
    // Top-level definitions by lower-cased type and name.
    std::unordered_map<std::string, Definition> m_definitions;
    std::vector<Problem> m_problems;
    std::size_t m_uncounted = 0;
    LineSplitter m_splitter;
};

} // namespace ini
