#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ini {

// 0-based index of a line in the loaded file.
using LineIndex = std::size_t;

// The only link from an outline node back to the file: "Key_" followed by the decimal 0-based
// line index. The text form is made and read here and nowhere else.
struct NodeKey {
    LineIndex line = 0;

    static constexpr std::string_view prefix = "Key_";

    std::string ToString() const;

    // Reads a key back the tolerant way: every "Key_" is removed (exact case) and the rest must
    // be plain decimal digits that fit a line index. Anything else gives nothing.
    static std::optional<NodeKey> Parse(std::string_view text);

    friend auto operator<=>(const NodeKey&, const NodeKey&) = default;
};

} // namespace ini
