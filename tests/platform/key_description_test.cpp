#include "platform/key_description.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ini {
namespace {

KeyStroke Char(char32_t c, Modifiers modifiers = Modifiers::Plain) {
    return KeyStroke{c, modifiers};
}

KeyStroke Key(NamedKey key, Modifiers modifiers = Modifiers::Plain) {
    return KeyStroke{key, modifiers};
}

constexpr Modifiers Ctrl = Modifiers::Ctrl;
constexpr Modifiers Shift = Modifiers::Shift;
constexpr Modifiers Alt = Modifiers::Alt;

struct ParsedCase {
    std::string text;
    std::vector<KeyStroke> strokes;
};

TEST(KeyDescription, ReadsEveryFormIntoKeystrokes) {
    const std::vector<ParsedCase> cases = {
        {"", {}},
        {"abc", {Char('a'), Char('b'), Char('c')}},
        {"42", {Char('4'), Char('2')}},
        {"A b", {Char('A'), Char(' '), Char('b')}},
        {"\xC3\xA9\xE2\x82\xAC", {Char(U'\u00E9'), Char(U'\u20AC')}},
        // Modifiers act on the next key only.
        {"^g", {Char('g', Ctrl)}},
        {"^ab", {Char('a', Ctrl), Char('b')}},
        {"%x", {Char('x', Alt)}},
        {"+a", {Char('a', Shift)}},
        {"^+%a", {Char('a', Ctrl | Shift | Alt)}},
        // Or on every key of a group, nested groups adding their own.
        {"^(ab)c", {Char('a', Ctrl), Char('b', Ctrl), Char('c')}},
        {"+(a^b)", {Char('a', Shift), Char('b', Shift | Ctrl)}},
        {"(ab)", {Char('a'), Char('b')}},
        {"%(a(b))c", {Char('a', Alt), Char('b', Alt), Char('c')}},
        {"()", {}},
        // Named keys, any case.
        {"~", {Key(NamedKey::Enter)}},
        {"{ENTER}{enter}{Tab}", {Key(NamedKey::Enter), Key(NamedKey::Enter), Key(NamedKey::Tab)}},
        {"{ESC}{BS}{BACKSPACE}{DEL}",
         {Key(NamedKey::Escape), Key(NamedKey::Backspace), Key(NamedKey::Backspace),
          Key(NamedKey::Delete)}},
        {"{HOME}{END}{UP}{DOWN}{LEFT}{RIGHT}",
         {Key(NamedKey::Home), Key(NamedKey::End), Key(NamedKey::Up), Key(NamedKey::Down),
          Key(NamedKey::Left), Key(NamedKey::Right)}},
        {"{F1}{F12}", {Key(NamedKey::F1), Key(NamedKey::F12)}},
        {"^{HOME}+{TAB}", {Key(NamedKey::Home, Ctrl), Key(NamedKey::Tab, Shift)}},
        // Braces quote the characters that otherwise mean something.
        {"{+}{^}{%}{~}", {Char('+'), Char('^'), Char('%'), Char('~')}},
        {"{(}{)}{{}{}}", {Char('('), Char(')'), Char('{'), Char('}')}},
        {"^{+}", {Char('+', Ctrl)}},
        {"{ }", {Char(' ')}},
        // Repeat counts.
        {"{a 3}", {Char('a'), Char('a'), Char('a')}},
        {"{ENTER 2}", {Key(NamedKey::Enter), Key(NamedKey::Enter)}},
        {"^{x 2}", {Char('x', Ctrl), Char('x', Ctrl)}},
        {"{  2}", {Char(' '), Char(' ')}},
        {"{a 0}b", {Char('b')}},
    };
    for (const ParsedCase& c : cases) {
        SCOPED_TRACE("keys: " + c.text);
        const auto parsed = ParseKeyDescription(c.text);
        ASSERT_TRUE(parsed.ok()) << parsed.error();
        EXPECT_EQ(parsed.value(), c.strokes);
    }
}

struct ErrorCase {
    std::string text;
    std::string messagePart;
};

TEST(KeyDescription, MalformedTextIsAnErrorThatSaysWhere) {
    const std::vector<ErrorCase> cases = {
        {"{ENTER", "\"{\" is never closed at offset 0"},
        {"ab{", "\"{\" is never closed at offset 2"},
        {"{}", "empty \"{}\""},
        {"x{FOO}", "unknown key name \"{FOO}\" at offset 1"},
        {"{ab}", "unknown key name"},
        {"{F13}", "unknown key name"},
        {"{a 1001}", "repeat count above 1000"},
        {"{a 99999999999999999999999}", "repeat count above 1000"},
        {"a}", "\"}\" without a matching \"{\" at offset 1"},
        {")", "\")\" without a matching \"(\""},
        {"(ab", "\"(\" is never closed"},
        {"^(a(b)", "\"(\" is never closed at offset 1"},
        {"^", "modifier with no key after it at offset 0"},
        {"ab^+", "modifier with no key after it at offset 2"},
        {"^(a^)", "modifier with no key after it"},
        {"\xFF", "invalid UTF-8"},
        {"a\xC3", "invalid UTF-8 at offset 1"},
        {"\xC0\xAF", "invalid UTF-8"},
        {"\xED\xA0\x80", "invalid UTF-8"},
        {std::string(17, '(') + "a" + std::string(17, ')'), "groups nested too deeply"},
        {std::string(100000, '('), "groups nested too deeply"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE("keys: " + c.text.substr(0, 40));
        const auto parsed = ParseKeyDescription(c.text);
        ASSERT_FALSE(parsed.ok());
        EXPECT_NE(parsed.error().find(c.messagePart), std::string::npos) << parsed.error();
    }
}

} // namespace
} // namespace ini
