#include "platform/x11/x11_session.h"

#include <X11/Xatom.h>

#include <array>
#include <cstdlib>
#include <vector>

namespace ini::x11 {
namespace {

ErrorTrap* g_activeTrap = nullptr;

// Deeper trees than this are not made by any window manager; the bound keeps a hostile client
// from making the walk endless.
constexpr int kMaxTreeDepth = 32;

// Frees what Xlib allocated for us.
struct XFreeDeleter {
    void operator()(void* data) const {
        if (data)
            XFree(data);
    }
};

// The items of a window's 32-bit property of `type`, which arrive as an array of long whatever
// the size of long; empty when the window has no such property.
std::vector<unsigned long> Property32(Display* display, Window window, Atom atom, Atom type,
                                      long most) {
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* raw = nullptr;
    const int status = XGetWindowProperty(display, window, atom, 0, most, False, type, &actualType,
                                          &format, &count, &remaining, &raw);
    const std::unique_ptr<unsigned char, XFreeDeleter> data(raw);
    if (status != Success || actualType != type || format != 32)
        return {};
    const auto* items = reinterpret_cast<unsigned long*>(raw);
    return std::vector<unsigned long>(items, items + count);
}

std::optional<TaskId> WindowPid(Display* display, Window window, Atom pidAtom) {
    const std::vector<unsigned long> pid = Property32(display, window, pidAtom, XA_CARDINAL, 1);
    if (pid.empty())
        return std::nullopt;
    return static_cast<TaskId>(pid.front() & 0xFFFFFFFFUL);
}

bool IsTaskWindow(Display* display, Window window, TaskId task, Atom pidAtom) {
    if (WindowPid(display, window, pidAtom) != task)
        return false;
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) != 0 &&
           attributes.map_state == IsViewable && !attributes.override_redirect;
}

// A window's place in the tree: its parent and its children (nothing when it is gone).
struct TreePlace {
    Window parent = 0;
    std::vector<Window> children;
};

TreePlace PlaceOf(Display* display, Window window) {
    Window root = 0;
    Window parent = 0;
    Window* raw = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, window, &root, &parent, &raw, &count) == 0)
        return {};
    const std::unique_ptr<Window, XFreeDeleter> children(raw);
    return {parent, std::vector<Window>(raw, raw + count)};
}

std::vector<Window> Children(Display* display, Window window) {
    return PlaceOf(display, window).children;
}

Window ParentOf(Display* display, Window window) {
    return PlaceOf(display, window).parent;
}

std::vector<Window> ClientList(Display* display, Window root) {
    const Atom listAtom = XInternAtom(display, "_NET_CLIENT_LIST", True);
    if (listAtom == 0)
        return {};
    const std::vector<unsigned long> windows =
        Property32(display, root, listAtom, XA_WINDOW, 65536);
    return std::vector<Window>(windows.begin(), windows.end());
}

Window WalkTree(Display* display, Window window, TaskId task, Atom pidAtom, int depth) {
    if (depth > kMaxTreeDepth)
        return 0;
    const std::vector<Window> children = Children(display, window);
    for (const Window child : children) {
        if (IsTaskWindow(display, child, task, pidAtom))
            return child;
    }
    for (const Window child : children) {
        if (const Window found = WalkTree(display, child, task, pidAtom, depth + 1))
            return found;
    }
    return 0;
}

} // namespace

Result<Connection> Connection::Open() {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') {
        return Failure{"There is no X11 display (DISPLAY is not set); other programs' windows "
                       "can be activated and typed into only in an X11 session."};
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return Failure{std::string("Cannot connect to the X11 display \"") + name + "\"."};
    return Connection(display);
}

Connection::Connection(Connection&& other) noexcept : m_display(other.m_display) {
    other.m_display = nullptr;
}

Connection::~Connection() {
    if (m_display)
        XCloseDisplay(m_display);
}

ErrorTrap::ErrorTrap(Display* display)
    : m_display(display), m_previous(XSetErrorHandler(&ErrorTrap::Record)) {
    g_activeTrap = this;
}

ErrorTrap::~ErrorTrap() {
    // Errors of our requests still on their way must arrive while we listen.
    XSync(m_display, False);
    XSetErrorHandler(m_previous);
    g_activeTrap = nullptr;
}

std::optional<std::string> ErrorTrap::Check() {
    XSync(m_display, False);
    return std::exchange(m_first, std::nullopt);
}

int ErrorTrap::Record(Display* display, XErrorEvent* event) {
    ErrorTrap* trap = g_activeTrap;
    if (trap == nullptr || display != trap->m_display)
        return trap && trap->m_previous ? trap->m_previous(display, event) : 0;
    if (!trap->m_first) {
        std::array<char, 256> text{};
        XGetErrorText(display, event->error_code, text.data(), int(text.size()));
        trap->m_first = std::string(text.data()) + " (request " +
                        std::to_string(int(event->request_code)) + ")";
    }
    return 0;
}

Window FindTaskWindow(Display* display, TaskId task) {
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
    if (pidAtom == 0)
        return 0; // no client has ever set the property
    const Window root = DefaultRootWindow(display);
    for (const Window window : ClientList(display, root)) {
        if (IsTaskWindow(display, window, task, pidAtom))
            return window;
    }
    return WalkTree(display, root, task, pidAtom, 0);
}

void RequestActivation(Display* display, Window window) {
    const Window root = DefaultRootWindow(display);
    XRaiseWindow(display, window);
    XSetInputFocus(display, window, RevertToParent, CurrentTime);

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2; // source: a pager-like tool acting for the user
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}

bool HasFocusWithin(Display* display, Window window) {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    const Window root = DefaultRootWindow(display);
    for (int depth = 0; depth <= kMaxTreeDepth; ++depth) {
        if (focus == window)
            return true;
        if (focus == None || focus == PointerRoot || focus == root)
            return false;
        focus = ParentOf(display, focus);
    }
    return false;
}

} // namespace ini::x11
