#pragma once

#include "parse/worker.h"

#include <QObject>
#include <QTimer>

#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct inotify_event;

namespace ini {

// A file descriptor closed when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const noexcept { return m_fd; }

private:
    int m_fd;
};

// The rounds in which a live view of a folder does its work, away from the window: on a thread
// of their own, or without one on the owner's thread from a timer. A round waits on an eventfd
// that says a new folder was asked for, a state was handed back or the rounds should end, and
// on an inotify queue whose watches are the view's own. Each state the rounds send goes to the
// owner's thread, one at a time: the next waits until the owner has taken the one before, and
// states it no longer holds come back so that they are freed here rather than on its thread.
// A state of a folder asked for before the last one is never delivered.
class WatchRounds {
public:
    // What a round wakes to.
    struct Wakeup {
        bool events = false;               // the inotify queue has events
        std::optional<std::string> folder; // another folder was asked for: start over on it
    };

    // Starts the rounds: `round` runs until it returns false. Without a thread the owner runs one
    // every 20 ms, or at once again while `busy` (if given) says there is more to do.
    WatchRounds(QObject& owner, Threading threading, std::function<bool()> round,
                std::function<bool()> busy = {});
    // Ends the rounds, even in the middle of one that checks Abandoned().
    ~WatchRounds();

    // The owner's side.
    void Open(std::string folder);
    // A state the owner no longer holds.
    void Release(std::shared_ptr<const void> old);
    // The owner has taken the last state sent and no longer holds `old`: the next may go.
    void Delivered(std::shared_ptr<const void> old);

    // The rounds' side.
    bool OnThread() const noexcept { return m_ownThread; }
    // The inotify queue; negative when none can be had, and then nothing is followed.
    int Notify() const noexcept { return m_notify.get(); }
    bool InFlight() const noexcept { return m_inFlight; }
    // The rounds are to end, or another folder was asked for since the round took this one.
    bool Abandoned() const noexcept { return m_stop || m_requested != m_seen; }
    // Waits up to `timeout` ms (-1: no end; never without a thread) for news, frees the states
    // handed back and takes up a new request. Nothing once the rounds are to end.
    std::optional<Wakeup> Await(int timeout);
    // Hands each event queued on Notify() to `follow`, in order.
    void ReadEvents(const std::function<void(const inotify_event&)>& follow);
    // Posts `snapshot` to the owner, where `take(snapshot)` runs; a snapshot of a folder asked
    // for before the last one comes straight back instead.
    template <typename Snapshot, typename Take> void Send(Snapshot snapshot, Take take) {
        m_inFlight = true;
        // Posted to the owner: once it is gone, nothing more is delivered.
        QMetaObject::invokeMethod(
            &m_owner,
            [this, request = m_seen, snapshot = std::move(snapshot),
             take = std::move(take)]() mutable {
                if (request == m_requested)
                    take(std::move(snapshot));
                else
                    Delivered(std::move(snapshot));
            },
            Qt::QueuedConnection);
    }

private:
    void Wake();

    QObject& m_owner;
    const Descriptor m_wake;
    const Descriptor m_notify;

    std::mutex m_mutex;
    std::string m_folder;                                // guarded: the folder asked for
    std::vector<std::shared_ptr<const void>> m_released; // guarded: states the owner let go
    // Counts the folders asked for; raised under the lock, so a count names its folder.
    std::atomic<std::uint64_t> m_requested{0};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_inFlight{false};

    // Used by the rounds alone.
    bool m_ownThread = true;
    bool m_yielding = false;  // the thread's priority is lowered
    std::uint64_t m_seen = 0; // the request the rounds last took up

    QTimer m_inline; // runs the rounds when there is no thread
    Worker m_worker; // last: its thread starts once everything above is ready
};

} // namespace ini
