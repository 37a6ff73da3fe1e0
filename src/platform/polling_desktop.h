#pragma once

#include "platform/desktop.h"

#include <chrono>
#include <functional>
#include <string>

namespace ini {

// What the system desktops share: programs start as detached processes found in
// ProgramSearchFolders, and waits poll on the UI thread, letting events run between polls.
class PollingDesktop : public Desktop {
public:
    Result<TaskId> StartProgram(std::string_view commandLine, WindowMode mode) final;
    Result<TaskId> StartCommand(const std::vector<std::string>& arguments) final;

protected:
    // Without a callback, pending events other than user input run on every poll.
    PollingDesktop(std::function<void()> letEventsRun, DesktopTimings timings);

    const DesktopTimings& Timings() const { return m_timings; }
    void LetEventsRun() { m_letEventsRun(); }
    // Lets events run, then sleeps one poll interval.
    void Pause();

private:
    std::function<void()> m_letEventsRun;
    DesktopTimings m_timings;
};

// Whether the process still runs (or runs as another user, which it may not be signalled as).
bool ProcessAlive(TaskId task);

// "8 s", "0.5 s": a wait's length for a message.
std::string Seconds(std::chrono::milliseconds duration);

} // namespace ini
