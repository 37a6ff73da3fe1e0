#pragma once

#include "parse/result.h"

#include <cstdint>
#include <string_view>
#include <variant>
#include <vector>

namespace ini {

// Keys that have a name in braces rather than a character.
enum class NamedKey {
    Enter,
    Tab,
    Escape,
    Backspace,
    Delete,
    Insert,
    Home,
    End,
    PageUp,
    PageDown,
    Up,
    Down,
    Left,
    Right,
    F1,
    F2,
    F3,
    F4,
    F5,
    F6,
    F7,
    F8,
    F9,
    F10,
    F11,
    F12,
};

// Modifier keys held down around one keystroke, as a bit set.
enum class Modifiers : std::uint8_t { Plain = 0, Ctrl = 1, Shift = 2, Alt = 4 };

constexpr Modifiers operator|(Modifiers a, Modifiers b) {
    return static_cast<Modifiers>(static_cast<std::uint8_t>(a) | static_cast<std::uint8_t>(b));
}

constexpr bool Holds(Modifiers set, Modifiers modifier) {
    return (static_cast<std::uint8_t>(set) & static_cast<std::uint8_t>(modifier)) != 0;
}

// One key pressed and released while its modifiers are held. A character is a Unicode code
// point; which physical key and whether Shift is needed for it is up to the sender.
struct KeyStroke {
    std::variant<char32_t, NamedKey> key;
    Modifiers modifiers = Modifiers::Plain;

    friend bool operator==(const KeyStroke&, const KeyStroke&) = default;
};

// Reads the key-description syntax (UTF-8):
//   plain characters type themselves; "~" is Enter;
//   "^" Ctrl, "+" Shift, "%" Alt modify the next key, or every key of a parenthesised group
//   ("^(ab)" holds Ctrl for a and b);
//   braces name a key ("{ENTER}", "{TAB}", "{ESC}", "{BS}", "{DEL}", "{HOME}", "{UP}", "{F5}", ...,
//   case-insensitive) or quote one character ("{+}", "{^}", "{%}", "{~}", "{(}", "{)}", "{{}",
//   "{}}"); "{x 3}" repeats a key three times.
// Malformed text (unclosed brace or group, stray "}" or ")", unknown name, a modifier with no key,
// invalid UTF-8) gives a failure that says what and where.
Result<std::vector<KeyStroke>> ParseKeyDescription(std::string_view text);

} // namespace ini
