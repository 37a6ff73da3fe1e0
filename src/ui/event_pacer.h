#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace ini {

// Lets pending events run during long work, but only once `interval` has passed since they
// last ran: the window repaints and takes input while the work goes on.
// Before events run it calls `beforeEvents` (the window publishes new outline rows there).
// Once a stop is requested (the window is closing) every call answers false at once.
class EventPacer {
public:
    using Clock = std::function<std::chrono::nanoseconds()>;
    using RunEvents = std::function<void()>;

    // `now` reads a monotonic clock (a coarse one by default: a line's walk is cheaper than a
    // precise read); `runEvents` processes pending events (the application's by default). Tests
    // hand in a simulated clock and count the runs.
    explicit EventPacer(std::function<void()> beforeEvents,
                        std::chrono::milliseconds interval = std::chrono::milliseconds(16),
                        Clock now = {}, RunEvents runEvents = {});

    // Work begins: the measurements start afresh.
    void Start();
    // Called often during the work; true to go on, false to stop it.
    bool LetEventsRun();
    // The work ended: closes the last stretch of the measurements.
    void Finish();

    void RequestStop() noexcept { m_stopRequested = true; }

    // Measurements of the last piece of work: how many times events ran, the longest stretch in
    // which they did not (and the first stretch, which holds whatever ran before the work's first
    // call), and the longest single run of events.
    int Runs() const noexcept { return m_runs; }
    std::chrono::nanoseconds LongestGap() const noexcept { return m_longestGap; }
    std::chrono::nanoseconds FirstGap() const noexcept { return m_firstGap; }
    std::chrono::nanoseconds LongestRun() const noexcept { return m_longestRun; }

private:
    void Run(std::chrono::nanoseconds now);

    std::function<void()> m_beforeEvents;
    std::chrono::nanoseconds m_interval;
    Clock m_now;
    RunEvents m_runEvents;
    std::chrono::nanoseconds m_lastRunEnd{0};
    int m_runs = 0;
    std::chrono::nanoseconds m_longestGap{0};
    std::chrono::nanoseconds m_firstGap{0};
    std::chrono::nanoseconds m_longestRun{0};
    bool m_stopRequested = false;
};

} // namespace ini
