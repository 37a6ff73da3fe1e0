#include "ui/event_pacer.h"

#include <QCoreApplication>

#include <algorithm>
#include <ctime>

namespace ini {

namespace {

// A few nanoseconds a read, with a resolution of a few milliseconds: enough for a 16 ms pace.
std::chrono::nanoseconds CoarseNow() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

} // namespace

EventPacer::EventPacer(std::function<void()> beforeEvents, std::chrono::milliseconds interval,
                       Clock now, RunEvents runEvents)
    : m_beforeEvents(std::move(beforeEvents)), m_interval(interval),
      m_now(now ? std::move(now) : Clock(CoarseNow)),
      m_runEvents(runEvents ? std::move(runEvents)
                            : RunEvents([] { QCoreApplication::processEvents(); })) {
    m_lastRunEnd = m_now();
}

void EventPacer::Start() {
    m_lastRunEnd = m_now();
    m_runs = 0;
    m_longestGap = std::chrono::nanoseconds(0);
    m_firstGap = std::chrono::nanoseconds(0);
    m_longestRun = std::chrono::nanoseconds(0);
}

bool EventPacer::LetEventsRun() {
    if (m_stopRequested)
        return false;
    const std::chrono::nanoseconds now = m_now();
    if (now - m_lastRunEnd >= m_interval)
        Run(now);
    return !m_stopRequested;
}

void EventPacer::Run(std::chrono::nanoseconds now) {
    const std::chrono::nanoseconds gap = now - m_lastRunEnd;
    if (m_runs == 0)
        m_firstGap = gap;
    m_longestGap = std::max(m_longestGap, gap);
    if (m_beforeEvents)
        m_beforeEvents();
    m_runEvents();
    ++m_runs;
    m_lastRunEnd = m_now();
    m_longestRun = std::max(m_longestRun, m_lastRunEnd - now);
}

void EventPacer::Finish() {
    const std::chrono::nanoseconds gap = m_now() - m_lastRunEnd;
    if (m_runs == 0)
        m_firstGap = gap;
    m_longestGap = std::max(m_longestGap, gap);
}

} // namespace ini
