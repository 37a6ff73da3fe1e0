// The desktop on Linux: programs start through QProcess, windows are found, focused and typed
// into over X11. Another windowing system provides its own MakeSystemDesktop in its own file.
#include "platform/desktop.h"
#include "platform/key_description.h"
#include "platform/program_launcher.h"

#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <string>
#include <thread>

// Xlib's macros come last (see x11_session.h).
#include "platform/x11/x11_keyboard.h"
#include "platform/x11/x11_session.h"

namespace ini {
namespace {

using Clock = std::chrono::steady_clock;

bool ProcessAlive(TaskId task) {
    return ::kill(static_cast<pid_t>(task), 0) == 0 || errno == EPERM;
}

std::string Seconds(std::chrono::milliseconds duration) {
    const auto tenths = (duration.count() + 50) / 100;
    return std::to_string(tenths / 10) + (tenths % 10 ? "." + std::to_string(tenths % 10) : "") +
           " s";
}

void ProcessNonInputEvents() {
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

class X11Desktop final : public Desktop {
public:
    X11Desktop(std::function<void()> letEventsRun, DesktopTimings timings)
        : m_letEventsRun(letEventsRun ? std::move(letEventsRun) : ProcessNonInputEvents),
          m_timings(timings) {}

    Result<TaskId> StartProgram(std::string_view commandLine, WindowMode) override {
        // A started Qt program maps its window normally; ActivateWindow then gives it the focus.
        return StartDetached(commandLine, ProgramSearchFolders());
    }

    Result<void> ActivateWindow(TaskId task) override {
        auto connection = x11::Connection::Open();
        if (!connection.ok())
            return Failure{connection.error()};
        Display* display = connection.value().display();

        const auto window = WaitForWindow(display, task);
        if (!window.ok())
            return Failure{window.error()};
        return WaitForFocus(display, task, window.value());
    }

    Result<void> SendKeys(std::string_view keys) override {
        const auto strokes = ParseKeyDescription(keys);
        if (!strokes.ok())
            return Failure{strokes.error()};
        auto connection = x11::Connection::Open();
        if (!connection.ok())
            return Failure{connection.error()};
        Display* display = connection.value().display();

        x11::ErrorTrap trap(display);
        auto typed = x11::TypeKeys(display, strokes.value());
        if (!typed.ok())
            return typed;
        if (const auto error = trap.Check())
            return Failure{"The X server refused a keystroke: " + *error};
        return {};
    }

private:
    Result<Window> WaitForWindow(Display* display, TaskId task) {
        const auto deadline = Clock::now() + m_timings.windowAppears;
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
                               " appeared within " + Seconds(m_timings.windowAppears) + "."};
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
        const auto deadline = Clock::now() + m_timings.focusTaken;
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
                               " did not take the focus within " + Seconds(m_timings.focusTaken) +
                               "."};
            }
            Pause();
        }
    }

    void Pause() {
        m_letEventsRun();
        std::this_thread::sleep_for(m_timings.poll);
    }

    std::function<void()> m_letEventsRun;
    DesktopTimings m_timings;
};

} // namespace

std::unique_ptr<Desktop> MakeSystemDesktop(std::function<void()> letEventsRun,
                                           DesktopTimings timings) {
    return std::make_unique<X11Desktop>(std::move(letEventsRun), timings);
}

} // namespace ini
