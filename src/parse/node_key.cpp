#include "parse/node_key.h"

#include <charconv>
#include <cstring>

namespace ini {

std::string NodeKey::ToString() const {
    return std::string(KeyText(*this).Text());
}

KeyText::KeyText(NodeKey key) noexcept : m_key(key) {
    char* const text = Bytes();
    std::memcpy(text, NodeKey::prefix.data(), NodeKey::prefix.size());
    char* const digits = text + NodeKey::prefix.size();
    m_size =
        static_cast<std::size_t>(std::to_chars(digits, digits + mostDigits, key.line).ptr - text);
}

void KeyText::Carry() noexcept {
    char* const text = Bytes();
    std::size_t at = m_size;
    while (at > NodeKey::prefix.size() && text[at - 1] == '9')
        text[--at] = '0';
    if (at > NodeKey::prefix.size()) {
        ++text[at - 1];
        return;
    }
    // Every digit was a 9: a 1 in front and one digit more. A line index never reaches twenty
    // digits, so there is room.
    text[NodeKey::prefix.size()] = '1';
    text[m_size++] = '0';
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
