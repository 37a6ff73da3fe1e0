#include "ui/root_hashing.h"

#include <QElapsedTimer>

namespace ini {

namespace {

// A slice stays well inside a frame, so that input never waits on it.
constexpr qint64 sliceNs = 4'000'000;
// Roots hashed between two looks at the clock.
constexpr std::size_t rootsPerStep = 2048;

} // namespace

RootHashing::RootHashing(const OutlineModel& model, const LineStore& lines,
                         std::function<bool()> mayRun)
    : m_model(model), m_lines(lines), m_mayRun(std::move(mayRun)) {
    m_idle.setInterval(0); // runs whenever no event is waiting
    QObject::connect(&m_idle, &QTimer::timeout, [this] { Slice(); });
}

void RootHashing::Restart() {
    // Give the memory back: the new file may have far fewer roots than the last.
    RootTextHashes().swap(m_hashes);
    m_idle.start();
}

void RootHashing::Slice() {
    if (!m_mayRun())
        return;
    QElapsedTimer clock;
    clock.start();
    while (!HashMoreRoots(m_model.Nodes(), m_lines, m_hashes, rootsPerStep)) {
        if (clock.nsecsElapsed() >= sliceNs)
            return;
    }
    m_idle.stop();
}

} // namespace ini
