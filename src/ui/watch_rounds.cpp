#include "ui/watch_rounds.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace ini {

namespace {

// Without a thread: how often idle rounds look for news.
constexpr auto inlineTick = std::chrono::milliseconds(20);

} // namespace

WatchRounds::WatchRounds(QObject& owner, Threading threading, std::function<bool()> round,
                         std::function<bool()> busy)
    : m_owner(owner), m_wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_notify(inotify_init1(IN_CLOEXEC | IN_NONBLOCK)), m_worker(threading) {
    m_worker.Repeat(std::move(round));
    if (m_worker.OnThread())
        return;
    // Written only when no thread was started, so no round can be reading it.
    m_ownThread = false;
    QObject::connect(&m_inline, &QTimer::timeout, [this, busy = std::move(busy)] {
        m_worker.StepInline();
        // While there is work, rounds follow as soon as the window's events have run.
        if (busy)
            m_inline.setInterval(busy() ? std::chrono::milliseconds(0) : inlineTick);
    });
    m_inline.start(inlineTick);
}

WatchRounds::~WatchRounds() {
    m_stop = true;
    Wake();
    m_worker.Wait();
}

void WatchRounds::Open(std::string folder) {
    {
        const std::lock_guard lock(m_mutex);
        m_folder = std::move(folder);
        ++m_requested;
    }
    Wake();
}

void WatchRounds::Release(std::shared_ptr<const void> old) {
    const std::lock_guard lock(m_mutex);
    m_released.push_back(std::move(old));
}

void WatchRounds::Delivered(std::shared_ptr<const void> old) {
    Release(std::move(old));
    m_inFlight = false;
    Wake();
}

std::optional<WatchRounds::Wakeup> WatchRounds::Await(int timeout) {
    if (m_ownThread && !m_yielding) {
        // The rounds yield to the window's thread when they compete for a core.
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
        m_yielding = true;
    }
    pollfd fds[2] = {{m_wake.get(), POLLIN, 0}, {m_notify.get(), POLLIN, 0}};
    if (poll(fds, 2, m_ownThread ? timeout : 0) < 0 && errno != EINTR)
        return std::nullopt;
    if ((fds[0].revents & POLLIN) != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto got = read(m_wake.get(), &count, sizeof count);
    }
    if (m_stop)
        return std::nullopt;
    Wakeup wakeup{(fds[1].revents & POLLIN) != 0, std::nullopt};
    // Freed once the lock is let go, so that the owner never waits for it.
    std::vector<std::shared_ptr<const void>> released;
    const std::lock_guard lock(m_mutex);
    released.swap(m_released);
    if (m_requested != m_seen) {
        m_seen = m_requested;
        wakeup.folder = m_folder;
    }
    return wakeup;
}

void WatchRounds::ReadEvents(const std::function<void(const inotify_event&)>& follow) {
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t got = read(m_notify.get(), buffer, sizeof buffer);
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            follow(*event);
        }
    }
}

void WatchRounds::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(m_wake.get(), &one, sizeof one);
}

} // namespace ini
