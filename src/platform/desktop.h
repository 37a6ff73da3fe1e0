#pragma once

#include "parse/result.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

    // Starts a program from an argument list whose first entry names the program (looked up as
    // for StartProgram); each entry is handed over as it is, never through a shell.
    virtual Result<TaskId> StartCommand(const std::vector<std::string>& arguments) = 0;

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
    // For the keys the user still holds (the Ctrl and Enter of Ctrl+Enter) to be released
    // before keys are typed.
    std::chrono::milliseconds keysReleased{2000};
    // For the stand-in editor to answer a request on its control channel.
    std::chrono::milliseconds answer{5000};
};

// The desktop this program runs on: X11 where this program itself runs on an X11 display that
// can type keys (XTEST), otherwise the stand-in editor's own control channel (editor_channel.h),
// which reaches only that editor. Waits run on the UI thread; they call letEventsRun on every
// poll so the window keeps painting. Without a callback they process pending Qt events other than
// user input (which stays queued until the wait is over, so a second click cannot start a second
// hand-off in the middle of the first).
std::unique_ptr<Desktop> MakeSystemDesktop(std::function<void()> letEventsRun = {},
                                           DesktopTimings timings = {});

// Succeeds where windows can be focused and typed into over X11 here; else says why not.
Result<void> CheckX11Usable();

// The two desktops MakeSystemDesktop chooses from. The channel desktop's ActivateWindow connects
// to the started editor's channel (waiting, bounded, for the editor to open it) and asks it to
// raise its window; its SendKeys types into the editor activated last, and fails when there is
// none.
std::unique_ptr<Desktop> MakeX11Desktop(std::function<void()> letEventsRun = {},
                                        DesktopTimings timings = {});
std::unique_ptr<Desktop> MakeChannelDesktop(std::function<void()> letEventsRun = {},
                                            DesktopTimings timings = {});

} // namespace ini
