#include "parse/node_key.h"

#include <charconv>

namespace ini {

std::string NodeKey::ToString() const {
    char digits[24];
    const auto [end, ec] = std::to_chars(std::begin(digits), std::end(digits), line);
    std::string text(prefix);
    text.append(digits, end);
    return text;
}

std::optional<NodeKey> NodeKey::Parse(std::string_view text) {
    std::string rest;
    rest.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        if (text.substr(pos, prefix.size()) == prefix) {
            pos += prefix.size();
        } else {
            rest.push_back(text[pos++]);
        }
    }
    if (rest.empty())
        return std::nullopt;
    LineIndex line = 0;
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), line);
    if (ec != std::errc() || end != rest.data() + rest.size())
        return std::nullopt;
    return NodeKey{line};
}

} // namespace ini
