// The desktop on an X11 display: programs start through QProcess, windows are found, focused and
// typed into over X11.
#include "platform/desktop.h"
#include "platform/key_description.h"
#include "platform/polling_desktop.h"

#include <QGuiApplication>

#include <string>

// Xlib's macros come last (see x11_session.h).
#include "platform/x11/x11_keyboard.h"
#include "platform/x11/x11_session.h"

#include <X11/extensions/XTest.h>

namespace ini {
namespace {

using Clock = std::chrono::steady_clock;

class X11Desktop final : public PollingDesktop {
public:
    X11Desktop(std::function<void()> letEventsRun, DesktopTimings timings)
        : PollingDesktop(std::move(letEventsRun), timings) {}

    Result<void> ActivateWindow(TaskId task) override {
        auto connection = x11::Connection::Open();
        if (!connection.ok())
            return connection.failure();
        Display* display = connection.value().display();

        const auto window = WaitForWindow(display, task);
        if (!window.ok())
            return window.failure();
        return WaitForFocus(display, task, window.value());
    }

    Result<void> SendKeys(std::string_view keys) override {
        const auto strokes = ParseKeyDescription(keys);
        if (!strokes.ok())
            return strokes.failure();
        auto connection = x11::Connection::Open();
        if (!connection.ok())
            return connection.failure();
        Display* display = connection.value().display();

        x11::ErrorTrap trap(display);
        WaitForKeysReleased(display);
        auto typed = x11::TypeKeys(display, strokes.value());
        if (!typed.ok())
            return typed;
        if (const auto error = trap.Check())
            return Failure{"The X server refused a keystroke: " + *error};
        return {};
    }

private:
    // A key the user still holds joins the keys typed: a held Enter swallows the one typed, a
    // held Ctrl turns the line's digits into shortcuts. Typing waits for the keys to go up, a
    // while at most: a key stuck down must not stop the hand-off.
    void WaitForKeysReleased(Display* display) {
        const auto deadline = Clock::now() + Timings().keysReleased;
        while (x11::AnyKeyHeld(display) && Clock::now() < deadline)
            Pause();
    }

    Result<Window> WaitForWindow(Display* display, TaskId task) {
        const auto deadline = Clock::now() + Timings().windowAppears;
        for (;;) {
            Window window = 0;
            {
                // Windows closing during the search raise errors that only mean "not this one".
                x11::ErrorTrap trap(display);
                window = x11::FindTaskWindow(display, task);
            }
            if (window != 0)
                return window;
            if (!ProcessAlive(task)) {
                return Failure{"The program (process " + std::to_string(task) +
                               ") ended before it showed a window."};
            }
            if (Clock::now() >= deadline) {
                return Failure{"No window of process " + std::to_string(task) +
                               " appeared within " + Seconds(Timings().windowAppears) + "."};
            }
            Pause();
        }
    }

    Result<void> WaitForFocus(Display* display, TaskId task, Window window) {
        {
            x11::ErrorTrap trap(display);
            x11::RequestActivation(display, window);
            if (const auto error = trap.Check()) {
                return Failure{"Cannot give the focus to the window of process " +
                               std::to_string(task) + ": " + *error};
            }
        }
        const auto deadline = Clock::now() + Timings().focusTaken;
        for (;;) {
            bool focused = false;
            {
                x11::ErrorTrap trap(display);
                focused = x11::HasFocusWithin(display, window);
            }
            if (focused)
                return {};
            if (Clock::now() >= deadline) {
                return Failure{"The window of process " + std::to_string(task) +
                               " did not take the focus within " + Seconds(Timings().focusTaken) +
                               "."};
            }
            Pause();
        }
    }
};

} // namespace

Result<void> CheckX11Usable() {
    // Windows of the programs this one starts live where this one's do: a program shown on
    // Wayland (or nowhere) starts programs that X11 cannot see, even where DISPLAY is set.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        const QString platform = QGuiApplication::platformName();
        if (platform != QStringLiteral("xcb"))
            return Failure{"this program runs on the \"" + platform.toStdString() +
                           "\" platform, not X11"};
    }
    auto connection = x11::Connection::Open();
    if (!connection.ok())
        return connection.failure();
    return x11::CheckXTest(connection.value().display());
}

std::unique_ptr<Desktop> MakeX11Desktop(std::function<void()> letEventsRun,
                                        DesktopTimings timings) {
    return std::make_unique<X11Desktop>(std::move(letEventsRun), timings);
}

} // namespace ini
