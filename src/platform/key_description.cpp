#include "platform/key_description.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string>
#include <utility>

namespace ini {
namespace {

// "{x 1000000000}" must not exhaust memory; nobody types a key more often than this by hand.
constexpr unsigned kMaxRepeat = 1000;
// Groups nest by recursion; bound it so hostile text cannot overflow the stack.
constexpr int kMaxGroupDepth = 16;

struct KeyName {
    std::string_view name;
    NamedKey key;
};

constexpr std::array kKeyNames{
    KeyName{"ENTER", NamedKey::Enter},
    KeyName{"TAB", NamedKey::Tab},
    KeyName{"ESC", NamedKey::Escape},
    KeyName{"ESCAPE", NamedKey::Escape},
    KeyName{"BACKSPACE", NamedKey::Backspace},
    KeyName{"BS", NamedKey::Backspace},
    KeyName{"BKSP", NamedKey::Backspace},
    KeyName{"DEL", NamedKey::Delete},
    KeyName{"DELETE", NamedKey::Delete},
    KeyName{"INS", NamedKey::Insert},
    KeyName{"INSERT", NamedKey::Insert},
    KeyName{"HOME", NamedKey::Home},
    KeyName{"END", NamedKey::End},
    KeyName{"PGUP", NamedKey::PageUp},
    KeyName{"PGDN", NamedKey::PageDown},
    KeyName{"UP", NamedKey::Up},
    KeyName{"DOWN", NamedKey::Down},
    KeyName{"LEFT", NamedKey::Left},
    KeyName{"RIGHT", NamedKey::Right},
    KeyName{"F1", NamedKey::F1},
    KeyName{"F2", NamedKey::F2},
    KeyName{"F3", NamedKey::F3},
    KeyName{"F4", NamedKey::F4},
    KeyName{"F5", NamedKey::F5},
    KeyName{"F6", NamedKey::F6},
    KeyName{"F7", NamedKey::F7},
    KeyName{"F8", NamedKey::F8},
    KeyName{"F9", NamedKey::F9},
    KeyName{"F10", NamedKey::F10},
    KeyName{"F11", NamedKey::F11},
    KeyName{"F12", NamedKey::F12},
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; };
               return upper(x) == upper(y);
           });
}

std::optional<NamedKey> FindKeyName(std::string_view name) {
    for (const KeyName& entry : kKeyNames) {
        if (EqualsIgnoringCase(entry.name, name))
            return entry.key;
    }
    return std::nullopt;
}

struct CodePoint {
    char32_t value;
    std::size_t length;
};

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
std::optional<CodePoint> DecodeUtf8(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return CodePoint{lead, 1};
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() < length)
        return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return std::nullopt;
        value = (value << 6) | (byte(i) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return std::nullopt;
    return CodePoint{value, length};
}

class Parser {
public:
    explicit Parser(std::string_view text) : m_text(text) {}

    Result<std::vector<KeyStroke>> Run() {
        if (auto failure = ParseSequence(Modifiers::Plain, 0))
            return std::move(*failure);
        return std::move(m_strokes);
    }

private:
    // Reads keys until the end of the text or, inside a group, up to its ")" (left unread).
    std::optional<Failure> ParseSequence(Modifiers held, int depth) {
        while (m_pos < m_text.size()) {
            if (m_text[m_pos] == ')') {
                if (depth > 0)
                    return std::nullopt;
                return Fail("\")\" without a matching \"(\"", m_pos);
            }
            Modifiers pending = Modifiers::Plain;
            const std::size_t modifiersStart = m_pos;
            while (m_pos < m_text.size() && IsModifier(m_text[m_pos]))
                pending = pending | ModifierOf(m_text[m_pos++]);
            if (m_pos == m_text.size() || m_text[m_pos] == ')')
                return Fail("modifier with no key after it", modifiersStart);
            if (auto failure = ParseKey(held | pending, depth))
                return failure;
        }
        return std::nullopt;
    }

    std::optional<Failure> ParseKey(Modifiers modifiers, int depth) {
        const std::size_t start = m_pos;
        switch (m_text[m_pos]) {
        case '(': {
            if (depth + 1 > kMaxGroupDepth)
                return Fail("groups nested too deeply", start);
            ++m_pos;
            if (auto failure = ParseSequence(modifiers, depth + 1))
                return failure;
            if (m_pos == m_text.size())
                return Fail("\"(\" is never closed", start);
            ++m_pos;
            return std::nullopt;
        }
        case '~':
            ++m_pos;
            Emit(NamedKey::Enter, modifiers, 1);
            return std::nullopt;
        case '{':
            return ParseBraces(modifiers);
        case '}':
            return Fail("\"}\" without a matching \"{\"", start);
        default: {
            const auto point = DecodeUtf8(m_text.substr(m_pos));
            if (!point)
                return Fail("invalid UTF-8", start);
            m_pos += point->length;
            Emit(point->value, modifiers, 1);
            return std::nullopt;
        }
        }
    }

    // "{NAME}", "{c}" or either with a repeat count: "{NAME n}". The first character inside may
    // itself be "}" so that "{}}" quotes a closing brace.
    std::optional<Failure> ParseBraces(Modifiers modifiers) {
        const std::size_t open = m_pos;
        const std::size_t contentStart = open + 1;
        const std::size_t close = m_text.find('}', contentStart + 1);
        if (contentStart >= m_text.size() || close == std::string_view::npos) {
            if (contentStart < m_text.size() && m_text[contentStart] == '}')
                return Fail("empty \"{}\"", open);
            return Fail("\"{\" is never closed", open);
        }
        std::string_view content = m_text.substr(contentStart, close - contentStart);
        m_pos = close + 1;

        unsigned repeat = 1;
        const std::size_t space = content.rfind(' ');
        if (space != std::string_view::npos && space > 0 && space + 1 < content.size()) {
            const std::string_view digits = content.substr(space + 1);
            if (std::all_of(digits.begin(), digits.end(),
                            [](char c) { return c >= '0' && c <= '9'; })) {
                const auto [end, ec] =
                    std::from_chars(digits.data(), digits.data() + digits.size(), repeat);
                if (ec != std::errc() || repeat > kMaxRepeat)
                    return Fail("repeat count above " + std::to_string(kMaxRepeat), open);
                content = content.substr(0, space);
            }
        }

        if (const auto point = DecodeUtf8(content); point && point->length == content.size()) {
            Emit(point->value, modifiers, repeat);
            return std::nullopt;
        }
        if (const auto named = FindKeyName(content)) {
            Emit(*named, modifiers, repeat);
            return std::nullopt;
        }
        return Fail("unknown key name \"{" + std::string(content) + "}\"", open);
    }

    void Emit(std::variant<char32_t, NamedKey> key, Modifiers modifiers, unsigned repeat) {
        m_strokes.insert(m_strokes.end(), repeat, KeyStroke{key, modifiers});
    }

    static bool IsModifier(char c) { return c == '^' || c == '+' || c == '%'; }

    static Modifiers ModifierOf(char c) {
        return c == '^' ? Modifiers::Ctrl : c == '+' ? Modifiers::Shift : Modifiers::Alt;
    }

    std::optional<Failure> Fail(const std::string& what, std::size_t offset) const {
        return Failure{"Cannot read the keys \"" + std::string(m_text) + "\": " + what +
                       " at offset " + std::to_string(offset)};
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    std::vector<KeyStroke> m_strokes;
};

} // namespace

Result<std::vector<KeyStroke>> ParseKeyDescription(std::string_view text) {
    return Parser(text).Run();
}

} // namespace ini
