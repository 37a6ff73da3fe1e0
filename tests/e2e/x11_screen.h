#pragma once

// Include after every Qt header: Xlib defines macros (None, Status) that break them.
//
// Drives real windows on an X server for the end-to-end tests: finds a process's window,
// clicks, types, grabs pixels and closes windows as a window manager would.

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace e2e {

inline int failures = 0;

inline void Check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    if (!ok)
        ++failures;
}

class XServer {
public:
    // Windows come and go while they are looked at (an editor closing, a window mapping); Xlib's
    // default handler would end the test on the first BadWindow, so errors only fail the call.
    XServer() : m_display(XOpenDisplay(nullptr)) {
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    }
    ~XServer() {
        if (m_display != nullptr)
            XCloseDisplay(m_display);
    }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    bool Open() const { return m_display != nullptr; }

    // The viewable top-level window of process `pid`, at least `minWidth` wide.
    std::optional<Window> FindWindow(qint64 pid, int minWidth = 600) {
        const Atom pidAtom = XInternAtom(m_display, "_NET_WM_PID", False);
        return FindTopLevel([&](Window window) {
            XWindowAttributes attributes{};
            if (!XGetWindowAttributes(m_display, window, &attributes) ||
                attributes.width < minWidth)
                return false;
            Atom type = 0;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* value = nullptr;
            bool match = false;
            if (XGetWindowProperty(m_display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type,
                                   &format, &items, &after, &value) == Success &&
                value != nullptr) {
                match = items == 1 &&
                        *reinterpret_cast<unsigned long*>(value) == static_cast<unsigned long>(pid);
                XFree(value);
            }
            return match;
        });
    }

    // The viewable top-level window whose title starts with `prefix`.
    std::optional<Window> FindWindowTitled(const QString& prefix) {
        return FindTopLevel([&](Window window) { return Title(window).startsWith(prefix); });
    }

    // A window's title as the window manager shows it (_NET_WM_NAME, UTF-8).
    QString Title(Window window) {
        const Atom name = XInternAtom(m_display, "_NET_WM_NAME", False);
        const Atom utf8 = XInternAtom(m_display, "UTF8_STRING", False);
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* value = nullptr;
        QString title;
        if (XGetWindowProperty(m_display, window, name, 0, 1024, False, utf8, &type, &format,
                               &items, &after, &value) == Success &&
            value != nullptr) {
            title = QString::fromUtf8(reinterpret_cast<const char*>(value),
                                      static_cast<qsizetype>(items));
            XFree(value);
        }
        return title;
    }

    void Click(Window window, QPoint at) {
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(m_display, window, DefaultRootWindow(m_display), at.x(), at.y(), &x,
                              &y, &child);
        XTestFakeMotionEvent(m_display, -1, x, y, CurrentTime);
        XTestFakeButtonEvent(m_display, 1, True, CurrentTime);
        XTestFakeButtonEvent(m_display, 1, False, CurrentTime);
        XFlush(m_display);
    }

    // Gives `window` the keyboard, as a window manager would when it is clicked: without one,
    // an X client is not told it is active, and its shortcuts do not answer.
    void Focus(Window window) {
        XSetInputFocus(m_display, window, RevertToPointerRoot, CurrentTime);
        XFlush(m_display);
    }

    // Presses and releases one key, with a modifier held if one is given, into whatever window
    // has the focus. Returns once the server has taken the events, so keys arrive in order.
    void PressKey(KeySym key, KeySym modifier = NoSymbol, KeySym second = NoSymbol) {
        for (const KeySym held : {modifier, second})
            if (held != NoSymbol)
                SendKey(held, true);
        SendKey(key, true);
        SendKey(key, false);
        for (const KeySym held : {second, modifier})
            if (held != NoSymbol)
                SendKey(held, false);
        XSync(m_display, False);
    }

    // Types lower-case letters, digits, space, "=" and ".".
    void TypeText(const std::string& text) {
        for (const char c : text) {
            PressKey(c == ' '   ? XK_space
                     : c == '=' ? XK_equal
                     : c == '.' ? XK_period
                                : XStringToKeysym(std::string(1, c).c_str()));
        }
    }

    QImage Grab(Window window) {
        XWindowAttributes attributes{};
        XGetWindowAttributes(m_display, window, &attributes);
        XImage* image = XGetImage(m_display, window, 0, 0, attributes.width, attributes.height,
                                  AllPlanes, ZPixmap);
        if (image == nullptr)
            return {};
        QImage copy = QImage(reinterpret_cast<const uchar*>(image->data), image->width,
                             image->height, image->bytes_per_line, QImage::Format_RGB32)
                          .copy();
        XDestroyImage(image);
        return copy;
    }

    // What a window manager sends when the user closes the window.
    void RequestClose(Window window) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(m_display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] =
            static_cast<long>(XInternAtom(m_display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(m_display, window, False, NoEventMask, &event);
        XFlush(m_display);
    }

private:
    std::optional<Window> FindTopLevel(const std::function<bool(Window)>& matches) {
        Window rootReturn = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(m_display, DefaultRootWindow(m_display), &rootReturn, &parent, &children,
                        &count))
            return std::nullopt;
        std::optional<Window> found;
        for (unsigned int i = 0; i < count && !found; ++i) {
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(m_display, children[i], &attributes) &&
                attributes.map_state == IsViewable && !attributes.override_redirect &&
                matches(children[i]))
                found = children[i];
        }
        if (children != nullptr)
            XFree(children);
        return found;
    }

    void SendKey(KeySym key, bool down) {
        XTestFakeKeyEvent(m_display, XKeysymToKeycode(m_display, key), down ? True : False,
                          CurrentTime);
    }

    Display* m_display;
};

// Starts the viewer in `folder` on this X display, with a settings store of its own under
// `configHome` so a run neither reads nor overwrites the user's.
inline bool StartViewer(QProcess& process, const QString& viewer, const QString& folder,
                        const QString& configHome, const QStringList& arguments = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(viewer, arguments);
    return process.waitForStarted(5000);
}

// The start of a test that takes the viewer and a screenshot's path: both arguments there and
// the display open; otherwise the reason is printed and the result is false.
inline bool Begin(XServer& screen, int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s VIEWER SCREENSHOT\n", argv[0]);
        return false;
    }
    if (!screen.Open()) {
        std::fprintf(stderr, "no X display; run under xvfb-run\n");
        return false;
    }
    return true;
}

// A file written whole, or false.
inline bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline bool WaitFor(const std::function<bool()>& condition, int milliseconds = 8000) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) {
        if (condition())
            return true;
        QThread::msleep(50);
    }
    return condition();
}

// Starts the viewer as StartViewer does and waits for its window. Without a window (the viewer
// did not start, or showed none) the viewer is stopped and the result is empty.
inline std::optional<Window> OpenViewer(XServer& screen, QProcess& process, const QString& viewer,
                                        const QString& folder, const QString& configHome,
                                        const QStringList& arguments = {}) {
    if (!StartViewer(process, viewer, folder, configHome, arguments)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(viewer));
        return std::nullopt;
    }
    std::optional<Window> window;
    Check(WaitFor([&] { return (window = screen.FindWindow(process.processId())).has_value(); }),
          "the viewer's window appears");
    if (!window) {
        process.kill();
        process.waitForFinished();
    }
    return window;
}

// More than one colour in `area`: something has been drawn there.
inline bool Painted(const QImage& image, const QRect& area) {
    if (image.isNull() || !image.rect().contains(area))
        return false;
    const QRgb first = image.pixel(area.topLeft());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) != first)
                return true;
    return false;
}

// Grabs `window` until it has looked the same for `quiet` milliseconds (two grabs in a row by
// default), so that what the last action started has been painted; gives the last grab, the
// latest one if the window never settles in time.
inline QImage GrabSettled(XServer& screen, Window window, int milliseconds = 8000, int quiet = 0) {
    QImage last = screen.Grab(window);
    QElapsedTimer unchanged;
    unchanged.start();
    WaitFor(
        [&] {
            QImage next = screen.Grab(window);
            const bool same = !next.isNull() && next == last;
            if (!same)
                unchanged.restart();
            last = std::move(next);
            return same && unchanged.elapsed() >= quiet;
        },
        milliseconds);
    return last;
}

// Closes the editor a hand-off started, as its user would, and checks that it goes.
inline void CloseEditor(XServer& screen, Window editor, const QString& fileName, const char* what) {
    screen.RequestClose(editor);
    Check(WaitFor([&] { return !screen.FindWindowTitled(fileName); }), what);
}

// Closes the viewer's window and checks that the program ends cleanly; one that outlives its
// window is ended so that the test does not hang.
inline void CloseViewer(XServer& screen, Window window, QProcess& process) {
    screen.RequestClose(window);
    Check(process.waitForFinished(8000) && process.exitCode() == 0, "the viewer ends cleanly");
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
}

// The stand-in editor a hand-off started: its window once one titled with the file's name
// appears, and its title once that ends in `caret` (" - Ln <line>, Col 1"), or the last title
// seen when it never does.
struct EditorSeen {
    std::optional<Window> window;
    QString title;
    bool onLine = false;
};
inline EditorSeen WaitForEditor(XServer& screen, const QString& fileName, const QString& caret) {
    EditorSeen seen;
    WaitFor([&] { return (seen.window = screen.FindWindowTitled(fileName)).has_value(); }, 10000);
    if (seen.window)
        seen.onLine = WaitFor(
            [&] { return (seen.title = screen.Title(*seen.window)).endsWith(caret); }, 10000);
    if (!seen.onLine)
        std::printf("  editor title '%s', expected it to end with '%s'\n", qPrintable(seen.title),
                    qPrintable(caret));
    return seen;
}

} // namespace e2e
