#pragma once

#include "parse/result.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace ini {

// The process id of a started program; its windows are found by it.
using TaskId = std::int64_t;

// How a started program's first window should come up.
enum class WindowMode : int {
    // A normal window that gets the focus.
    Normal = 1,
};

// What the viewer asks of the desktop it runs on. One implementation per windowing system
// (MakeSystemDesktop) and fakes in tests. Every call runs on the UI thread.
class Desktop {
public:
    virtual ~Desktop() = default;

    // Starts a program from a command line: the text up to the first space names the program,
    // everything after that space is handed over as one argument, exactly as written, and never
    // through a shell. Nothing after the space means no argument. Gives the new process's id.
    virtual Result<TaskId> StartProgram(std::string_view commandLine, WindowMode mode) = 0;

    // Brings the task's top-level window to the front and gives it the keyboard focus. Waits,
    // bounded, for the window to appear and for the focus to arrive; succeeds only once the
    // window really has the focus.
    virtual Result<void> ActivateWindow(TaskId task) = 0;

    // Types keys into whatever window has the focus, written in the key-description syntax
    // (see key_description.h). Returns once the keys are queued, not when they are handled.
    // Text that cannot be typed as a whole is refused before any key goes out.
    virtual Result<void> SendKeys(std::string_view keys) = 0;
};

// How long the system desktop waits while activating a window.
struct DesktopTimings {
    std::chrono::milliseconds poll{20};
    // For a freshly started program to map its window.
    std::chrono::milliseconds windowAppears{8000};
    // For the focus to land once the window was asked to take it.
    std::chrono::milliseconds focusTaken{2000};
};

// The desktop this program runs on (X11 on Linux). ActivateWindow waits on the UI thread; it
// calls letEventsRun on every poll so the window keeps painting. Without a callback it processes
// pending Qt events other than user input (which stays queued until the wait is over, so a second
// click cannot start a second hand-off in the middle of the first).
std::unique_ptr<Desktop> MakeSystemDesktop(std::function<void()> letEventsRun = {},
                                           DesktopTimings timings = {});

} // namespace ini
