#pragma once

#include <QElapsedTimer>

#include <chrono>
#include <cstdint>
#include <functional>

namespace ini {

// Lets pending events run during a long walk, but only once `interval` has passed since they
// last ran: the window repaints and takes input while the walk spends its time walking.
// Before events run it calls `beforeEvents` (the window publishes new outline rows there).
// Once a stop is requested (the window is closing) every call answers false at once.
class EventPacer {
public:
    explicit EventPacer(std::function<void()> beforeEvents,
                        std::chrono::milliseconds interval = std::chrono::milliseconds(16));

    // A walk begins: the clock and the measurements start afresh.
    void Start();
    // Called once per walked line; true to go on, false to stop the walk.
    bool LetEventsRun();
    // A walk ended: closes the last stretch of the measurements.
    void Finish();

    void RequestStop() noexcept { m_stopRequested = true; }
    bool StopRequested() const noexcept { return m_stopRequested; }

    // Measurements of the last walk: how many times events ran, the longest stretch in which
    // they did not (and the first stretch, which holds whatever ran before the walk's first
    // line), and the longest single run of events.
    int Runs() const noexcept { return m_runs; }
    std::chrono::nanoseconds LongestGap() const noexcept { return m_longestGap; }
    std::chrono::nanoseconds FirstGap() const noexcept { return m_firstGap; }
    std::chrono::nanoseconds LongestRun() const noexcept { return m_longestRun; }

private:
    void RunEvents(std::int64_t now);

    std::function<void()> m_beforeEvents;
    std::int64_t m_intervalNs;
    QElapsedTimer m_clock;
    std::int64_t m_lastRunEnd = 0;
    // Reading the clock costs more than walking a short line, so it is read every few calls.
    int m_callsUntilClock = 0;
    int m_runs = 0;
    std::chrono::nanoseconds m_longestGap{0};
    std::chrono::nanoseconds m_firstGap{0};
    std::chrono::nanoseconds m_longestRun{0};
    bool m_stopRequested = false;
};

} // namespace ini
