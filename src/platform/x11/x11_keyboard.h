#pragma once

// Include after every other project header (see x11_session.h).
#include "parse/result.h"
#include "platform/key_description.h"

#include <X11/Xlib.h>

#include <vector>

namespace ini::x11 {

// Whether the X server can type keys for us (the XTEST extension).
Result<void> CheckXTest(Display* display);

// Whether a key of the keyboard is down now.
bool AnyKeyHeld(Display* display);

// Types the keystrokes into the focused window with XTest, in order, and returns once the server
// has them; it does not wait for the window to handle them. Every stroke is mapped to a key of
// the current layout first, so text with an untypeable character sends nothing at all.
Result<void> TypeKeys(Display* display, const std::vector<KeyStroke>& strokes);

} // namespace ini::x11
