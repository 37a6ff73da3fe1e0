#include "platform/x11/x11_keyboard.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

namespace ini::x11 {
namespace {

KeySym NamedKeySym(NamedKey key) {
    switch (key) {
    case NamedKey::Enter:
        return XK_Return;
    case NamedKey::Tab:
        return XK_Tab;
    case NamedKey::Escape:
        return XK_Escape;
    case NamedKey::Backspace:
        return XK_BackSpace;
    case NamedKey::Delete:
        return XK_Delete;
    case NamedKey::Insert:
        return XK_Insert;
    case NamedKey::Home:
        return XK_Home;
    case NamedKey::End:
        return XK_End;
    case NamedKey::PageUp:
        return XK_Page_Up;
    case NamedKey::PageDown:
        return XK_Page_Down;
    case NamedKey::Up:
        return XK_Up;
    case NamedKey::Down:
        return XK_Down;
    case NamedKey::Left:
        return XK_Left;
    case NamedKey::Right:
        return XK_Right;
    default:
        // F1..F12 are consecutive both here and among the keysyms.
        return XK_F1 + (static_cast<int>(key) - static_cast<int>(NamedKey::F1));
    }
}

// Latin-1 characters are their own keysyms; every other character has the Unicode keysym
// 0x01000000 + code point (what XStringToKeysym("U20AC") gives). Control characters have none.
KeySym CharacterKeySym(char32_t c) {
    if ((c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF))
        return c;
    if (c > 0xFF && c <= 0x10FFFF)
        return 0x01000000 + c;
    return NoSymbol;
}

std::string Describe(const std::variant<char32_t, NamedKey>& key) {
    if (std::holds_alternative<NamedKey>(key))
        return "key " + std::string(XKeysymToString(NamedKeySym(std::get<NamedKey>(key))));
    const char32_t c = std::get<char32_t>(key);
    std::array<char, 16> code{};
    std::snprintf(code.data(), code.size(), "U+%04X", static_cast<unsigned>(c));
    return "character " + std::string(code.data());
}

// One key of the layout, pressed while the listed modifier keys are held.
struct PlannedStroke {
    KeyCode key = 0;
    std::array<KeyCode, 3> held{};
    std::size_t heldCount = 0;
};

Result<PlannedStroke> Plan(Display* display, const KeyStroke& stroke) {
    const KeySym sym = std::holds_alternative<NamedKey>(stroke.key)
                           ? NamedKeySym(std::get<NamedKey>(stroke.key))
                           : CharacterKeySym(std::get<char32_t>(stroke.key));
    const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(display, sym);
    if (code == 0)
        return Failure{"No key of the current keyboard layout types the " + Describe(stroke.key) +
                       "."};

    bool shift = Holds(stroke.modifiers, Modifiers::Shift);
    if (XkbKeycodeToKeysym(display, code, 0, 0) != sym) {
        if (XkbKeycodeToKeysym(display, code, 0, 1) != sym)
            return Failure{"The " + Describe(stroke.key) +
                           " needs a keyboard level other than plain or Shift."};
        shift = true;
    }

    PlannedStroke planned;
    planned.key = code;
    const std::array<std::pair<bool, KeySym>, 3> modifiers{{
        {Holds(stroke.modifiers, Modifiers::Ctrl), XK_Control_L},
        {Holds(stroke.modifiers, Modifiers::Alt), XK_Alt_L},
        {shift, XK_Shift_L},
    }};
    for (const auto& [wanted, modifierSym] : modifiers) {
        if (!wanted)
            continue;
        const KeyCode modifierCode = XKeysymToKeycode(display, modifierSym);
        if (modifierCode == 0)
            return Failure{"The keyboard has no " + std::string(XKeysymToString(modifierSym)) +
                           " key."};
        planned.held[planned.heldCount++] = modifierCode;
    }
    return planned;
}

void Send(Display* display, const PlannedStroke& stroke) {
    for (std::size_t i = 0; i < stroke.heldCount; ++i)
        XTestFakeKeyEvent(display, stroke.held[i], True, CurrentTime);
    XTestFakeKeyEvent(display, stroke.key, True, CurrentTime);
    XTestFakeKeyEvent(display, stroke.key, False, CurrentTime);
    for (std::size_t i = stroke.heldCount; i-- > 0;)
        XTestFakeKeyEvent(display, stroke.held[i], False, CurrentTime);
}

} // namespace

Result<void> CheckXTest(Display* display) {
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor))
        return Failure{"the X server lacks the XTEST extension needed to type keys"};
    return {};
}

bool AnyKeyHeld(Display* display) {
    char keys[32] = {};
    XQueryKeymap(display, keys);
    return std::any_of(std::begin(keys), std::end(keys), [](char bits) { return bits != 0; });
}

Result<void> TypeKeys(Display* display, const std::vector<KeyStroke>& strokes) {
    if (Result<void> xtest = CheckXTest(display); !xtest.ok())
        return xtest;

    std::vector<PlannedStroke> planned;
    planned.reserve(strokes.size());
    for (const KeyStroke& stroke : strokes) {
        auto step = Plan(display, stroke);
        if (!step.ok())
            return step.failure();
        planned.push_back(step.value());
    }
    for (const PlannedStroke& stroke : planned)
        Send(display, stroke);
    XSync(display, False);
    return {};
}

} // namespace ini::x11
