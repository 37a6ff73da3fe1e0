#include "ui/event_pacer.h"

#include <QCoreApplication>

#include <algorithm>

namespace ini {

namespace {

// Lines between clock reads; a line takes well under a microsecond to walk.
constexpr int callsPerClockRead = 16;

} // namespace

EventPacer::EventPacer(std::function<void()> beforeEvents, std::chrono::milliseconds interval)
    : m_beforeEvents(std::move(beforeEvents)),
      m_intervalNs(std::chrono::nanoseconds(interval).count()) {
    m_clock.start();
}

void EventPacer::Start() {
    m_clock.restart();
    m_lastRunEnd = 0;
    m_callsUntilClock = 0;
    m_runs = 0;
    m_longestGap = std::chrono::nanoseconds(0);
    m_firstGap = std::chrono::nanoseconds(0);
    m_longestRun = std::chrono::nanoseconds(0);
}

bool EventPacer::LetEventsRun() {
    if (m_stopRequested)
        return false;
    if (m_intervalNs > 0 && --m_callsUntilClock > 0)
        return true;
    m_callsUntilClock = callsPerClockRead;
    const std::int64_t now = m_clock.nsecsElapsed();
    if (now - m_lastRunEnd >= m_intervalNs)
        RunEvents(now);
    return !m_stopRequested;
}

void EventPacer::RunEvents(std::int64_t now) {
    const std::chrono::nanoseconds gap(now - m_lastRunEnd);
    if (m_runs == 0)
        m_firstGap = gap;
    m_longestGap = std::max(m_longestGap, gap);
    if (m_beforeEvents)
        m_beforeEvents();
    QCoreApplication::processEvents();
    ++m_runs;
    m_lastRunEnd = m_clock.nsecsElapsed();
    m_longestRun = std::max(m_longestRun, std::chrono::nanoseconds(m_lastRunEnd - now));
}

void EventPacer::Finish() {
    const std::chrono::nanoseconds gap(m_clock.nsecsElapsed() - m_lastRunEnd);
    if (m_runs == 0)
        m_firstGap = gap;
    m_longestGap = std::max(m_longestGap, gap);
}

} // namespace ini
