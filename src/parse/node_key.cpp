#include "parse/node_key.h"

#include <charconv>
#include <cstring>

namespace ini {

std::string NodeKey::ToString() const {
    return std::string(KeyText(*this).Text());
}

KeyText::KeyText(NodeKey key) noexcept : m_key(key) {
    char digits[mostDigits];
    const std::size_t count =
        static_cast<std::size_t>(std::to_chars(digits, digits + mostDigits, key.line).ptr - digits);
    m_first = sizeof m_text - count - NodeKey::prefix.size();
    std::memcpy(m_text + m_first, NodeKey::prefix.data(), NodeKey::prefix.size());
    std::memcpy(m_text + m_first + NodeKey::prefix.size(), digits, count);
}

void KeyText::Carry() noexcept {
    std::size_t at = sizeof m_text;
    const std::size_t digitsStart = m_first + NodeKey::prefix.size();
    while (at > digitsStart && m_text[at - 1] == '9')
        m_text[--at] = '0';
    if (at > digitsStart) {
        ++m_text[at - 1];
        return;
    }
    // Every digit was a 9: one digit more, and the prefix moves one place to the front. A line
    // index never reaches twenty digits.
    --m_first;
    std::memcpy(m_text + m_first, NodeKey::prefix.data(), NodeKey::prefix.size());
    m_text[digitsStart - 1] = '1';
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
