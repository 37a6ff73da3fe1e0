#pragma once

// Xlib's headers define macros such as None, Status, Bool and Success: include this header only
// from the X11 sources, after every other project header.
#include "parse/result.h"
#include "platform/desktop.h"

#include <X11/Xlib.h>

#include <optional>
#include <string>

namespace ini::x11 {

// Our own connection to the X server named by DISPLAY, apart from the one Qt uses, so nothing we
// do can disturb Qt's event handling. Closed on destruction.
class Connection {
public:
    // Fails with a readable reason when DISPLAY is unset (a Wayland-only session, a terminal) or
    // the server refuses the connection.
    static Result<Connection> Open();

    Connection(Connection&& other) noexcept;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    Connection& operator=(Connection&&) = delete;
    ~Connection();

    Display* display() const { return m_display; }

private:
    explicit Connection(Display* display) : m_display(display) {}

    Display* m_display;
};

// While alive, X protocol errors on this connection are recorded instead of reaching Xlib's
// default handler, which would end the whole program (focusing a window that is not mapped yet
// is a BadMatch; a window closed during a search is a BadWindow). The previous handler is back
// in place afterwards. UI thread only; traps do not nest.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display);
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
    ~ErrorTrap();

    // Waits until the server has answered every request so far and gives the first error among
    // them, once.
    std::optional<std::string> Check();

private:
    static int Record(Display* display, XErrorEvent* event);

    Display* m_display;
    XErrorHandler m_previous;
    std::optional<std::string> m_first;
};

// The top-level window of a process: its _NET_WM_PID is the task, it is viewable and not
// override-redirect (menus and tooltips). 0 while there is none. Looks at _NET_CLIENT_LIST when
// a window manager keeps one, then walks the whole window tree, since client windows are direct
// children of the root without a window manager and inside frames with one. Call inside an
// ErrorTrap: windows may disappear during the walk.
Window FindTaskWindow(Display* display, TaskId task);

// Raises the window and asks for the focus both directly and through the window manager.
void RequestActivation(Display* display, Window window);

// Whether the keyboard focus is on the window or on one of its children.
bool HasFocusWithin(Display* display, Window window);

} // namespace ini::x11
