#include "ui/live_folder.h"

#include "ui/path_text.h"

#include <QTimer>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string_view>

namespace ini {

namespace {

using Clock = std::chrono::steady_clock;
// How long news may gather before it is sent: short enough that a list fills visibly.
constexpr auto batchInterval = std::chrono::milliseconds(20);
constexpr std::uint32_t watchedEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                        IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool EndsWithIni(std::string_view name) {
    if (name.size() < 4)
        return false;
    const std::string_view tail = name.substr(name.size() - 4);
    return tail[0] == '.' && (tail[1] | 0x20) == 'i' && (tail[2] | 0x20) == 'n' &&
           (tail[3] | 0x20) == 'i';
}

// Whether the entry `name` of the open folder `dir` is wanted. `type` is readdir's d_type, or
// DT_UNKNOWN to look at the entry itself.
bool IsWanted(Wanted wanted, int dir, const char* name, unsigned char type) {
    const std::string_view view(name);
    if (view.empty() || view.front() == '.')
        return false;
    if (wanted == Wanted::IniFiles && !EndsWithIni(view))
        return false;
    if (type != DT_UNKNOWN && type != DT_LNK)
        return wanted == Wanted::Folders ? type == DT_DIR : type == DT_REG;
    // Links are followed: what they point to decides.
    struct stat info {};
    if (fstatat(dir, name, &info, 0) != 0)
        return false;
    return wanted == Wanted::Folders ? S_ISDIR(info.st_mode) : S_ISREG(info.st_mode);
}

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

} // namespace

bool SortsBefore(const FolderEntry& a, const FolderEntry& b) {
    const int byKey = a.sortKey.compare(b.sortKey);
    return byKey != 0 ? byKey < 0 : a.name < b.name;
}

FolderEntry MakeEntry(QString name) {
    QString key = name.toCaseFolded();
    return FolderEntry{std::move(name), std::move(key)};
}

bool CanList(const std::string& folder) {
    struct stat info {};
    return !folder.empty() && stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           access(folder.c_str(), R_OK | X_OK) == 0;
}

// The work behind a LiveFolder, in rounds. A round waits on two descriptors: an eventfd that
// says a new folder was asked for, a state was handed back or it should end, and the inotify
// queue of the folder it follows. It keeps the state last sent and merges news into it, so every
// state it sends is complete and sorted. On a thread of its own the rounds follow one another
// and each waits for news; without one, the owner runs them, and a round takes only the news
// there is.
class LiveFolder::Lister {
public:
    using Send = std::function<void(std::uint64_t, FolderSnapshot, bool listed)>;

    Lister(Wanted wanted, Send send, Threading threading)
        : m_wanted(wanted), m_send(std::move(send)), m_wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
          m_notify(inotify_init1(IN_CLOEXEC | IN_NONBLOCK)), m_rounds(threading) {
        m_rounds.Repeat([this] { return Round(); });
        // Written only when no thread was started, so no round can be reading it.
        if (!m_rounds.OnThread())
            m_ownThread = false;
    }

    ~Lister() {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        ++m_requested;
        Wake();
        m_rounds.Wait();
    }

    bool OnThread() const noexcept { return m_rounds.OnThread(); }
    // Without a thread: one round, here.
    void RunRound() { m_rounds.StepInline(); }

    void Open(std::string folder, std::uint64_t generation) {
        {
            const std::lock_guard lock(m_mutex);
            m_folder = std::move(folder);
            m_generation = generation;
        }
        ++m_requested;
        Wake();
    }

    // The owner has taken the last state sent and hands back the one it showed before.
    void Delivered(FolderSnapshot old) {
        {
            const std::lock_guard lock(m_mutex);
            m_released.push_back(std::move(old));
        }
        m_inFlight = false;
        Wake();
    }

private:
    // News gathered since the last state was sent.
    struct News {
        bool startOver = false;          // the state starts from nothing
        FolderEntries listed;            // entries a listing found
        std::map<QString, bool> changed; // names changed since: whether wanted now
        bool Empty() const { return !startOver && listed.empty() && changed.empty(); }
    };

    void Wake() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = write(m_wake.get(), &one, sizeof one);
    }

    // One round; false once the lister should end.
    bool Round() {
        if (m_ownThread && !m_yielding) {
            // Listing yields to the window's thread when they compete for a core.
            setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
            m_yielding = true;
        }
        pollfd fds[2] = {{m_wake.get(), POLLIN, 0}, {m_notify.get(), POLLIN, 0}};
        if (poll(fds, 2, m_ownThread ? -1 : 0) < 0 && errno != EINTR)
            return false;
        if ((fds[0].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto got = read(m_wake.get(), &count, sizeof count);
        }
        std::vector<FolderSnapshot> released;
        {
            const std::lock_guard lock(m_mutex);
            if (m_stop)
                return false;
            released.swap(m_released);
            if (m_requested != m_seen) {
                m_seen = m_requested;
                m_current = m_folder;
                m_currentGeneration = m_generation;
                m_relist = true;
            }
        }
        released.clear();
        if (!m_relist && (fds[1].revents & POLLIN) != 0)
            FollowChanges();
        if (m_relist) {
            m_relist = false;
            Watch();
            List();
        } else if (!m_news.Empty() && !m_inFlight) {
            SendNews(false);
        }
        return true;
    }

    void Watch() {
        if (m_watch >= 0)
            inotify_rm_watch(m_notify.get(), m_watch);
        m_watch = m_current.empty()
                      ? -1
                      : inotify_add_watch(m_notify.get(), m_current.c_str(), watchedEvents);
    }

    // Lists the current folder from scratch. Gives up early when another folder is asked for.
    void List() {
        const std::uint64_t request = m_requested;
        m_news = News{};
        m_news.startOver = true;
        DIR* dir = m_current.empty() ? nullptr : opendir(m_current.c_str());
        if (dir != nullptr) {
            int sinceCheck = 0;
            while (const dirent* entry = readdir(dir)) {
                if (IsWanted(m_wanted, dirfd(dir), entry->d_name, entry->d_type))
                    m_news.listed.push_back(MakeEntry(TextFromPath(entry->d_name)));
                if (++sinceCheck == 256) {
                    sinceCheck = 0;
                    if (m_requested != request)
                        break;
                    SendIfDue();
                }
            }
            closedir(dir);
        }
        if (m_requested == request)
            SendNews(true);
    }

    // Reads the queued changes of the followed folder and notes what each named entry is now.
    // Lists the folder again when the queue overflowed or the folder itself went.
    void FollowChanges() {
        std::set<std::string> names;
        alignas(inotify_event) char buffer[16384];
        for (;;) {
            const ssize_t got = read(m_notify.get(), buffer, sizeof buffer);
            if (got <= 0)
                break;
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                if ((event->mask & IN_Q_OVERFLOW) != 0)
                    m_relist = true;
                else if (event->wd != m_watch)
                    continue;
                else if ((event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0)
                    m_relist = true;
                else if (event->len > 0)
                    names.emplace(event->name);
            }
        }
        if (m_relist)
            return;
        const int dir = open(m_current.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const Descriptor closer(dir);
        for (const std::string& name : names) {
            m_news.changed[TextFromPath(name)] =
                dir >= 0 && IsWanted(m_wanted, dir, name.c_str(), DT_UNKNOWN);
        }
        SendIfDue();
    }

    void SendIfDue() {
        if (!m_inFlight && Clock::now() - m_lastSent >= batchInterval)
            SendNews(false);
    }

    // Merges the news into the state last sent and sends the result.
    void SendNews(bool listed) {
        FolderEntries fresh = std::move(m_news.listed);
        for (const auto& [name, wanted] : m_news.changed) {
            if (wanted)
                fresh.push_back(MakeEntry(name));
        }
        std::sort(fresh.begin(), fresh.end(), SortsBefore);
        static const FolderEntries none;
        const FolderEntries& base = m_news.startOver || !m_shown ? none : *m_shown;
        auto next = std::make_shared<FolderEntries>();
        next->reserve(base.size() + fresh.size());
        auto from = fresh.begin();
        for (const FolderEntry& entry : base) {
            for (; from != fresh.end() && SortsBefore(*from, entry); ++from)
                next->push_back(std::move(*from));
            // A changed name is kept only as its fresh copy, if it is still wanted.
            if (!m_news.changed.contains(entry.name))
                next->push_back(entry);
        }
        next->insert(next->end(), std::make_move_iterator(from),
                     std::make_move_iterator(fresh.end()));
        m_news = News{};
        m_shown = std::move(next);
        m_inFlight = true;
        m_lastSent = Clock::now();
        m_send(m_currentGeneration, m_shown, listed);
    }

    const Wanted m_wanted;
    const Send m_send;
    const Descriptor m_wake;
    const Descriptor m_notify;

    std::mutex m_mutex;
    std::string m_folder;                   // guarded: the folder asked for
    std::uint64_t m_generation{};           // guarded: its generation
    bool m_stop = false;                    // guarded
    std::vector<FolderSnapshot> m_released; // guarded: states the owner no longer shows
    std::atomic<std::uint64_t> m_requested{0};
    std::atomic<bool> m_inFlight{false};

    // Used by the rounds alone.
    bool m_ownThread = true;
    bool m_yielding = false;  // the thread's priority is lowered
    std::uint64_t m_seen = 0; // the request the rounds last took up
    std::string m_current;
    std::uint64_t m_currentGeneration = 0;
    int m_watch = -1;
    bool m_relist = false;
    News m_news;
    FolderSnapshot m_shown; // the state last sent
    Clock::time_point m_lastSent;

    Worker m_rounds; // last: its thread starts once everything above is ready
};

LiveFolder::LiveFolder(Wanted wanted, QObject* parent, Threading threading) : QObject(parent) {
    m_lister = std::make_unique<Lister>(
        wanted,
        [this](std::uint64_t generation, FolderSnapshot entries, bool listed) {
            // Posted to this object: once it is gone, nothing more is delivered.
            QMetaObject::invokeMethod(
                this,
                [this, generation, listed, entries = std::move(entries)]() mutable {
                    Deliver(generation, std::move(entries), listed);
                },
                Qt::QueuedConnection);
        },
        threading);
    if (!m_lister->OnThread()) {
        auto* rounds = new QTimer(this);
        connect(rounds, &QTimer::timeout, this, [this] { m_lister->RunRound(); });
        rounds->start(batchInterval);
    }
}

LiveFolder::~LiveFolder() = default;

void LiveFolder::Open(std::string folder) {
    m_listed = false;
    m_lister->Open(std::move(folder), ++m_generation);
}

void LiveFolder::Release(FolderSnapshot shown) {
    m_lister->Delivered(std::move(shown));
}

void LiveFolder::Deliver(std::uint64_t generation, FolderSnapshot entries, bool listed) {
    if (generation != m_generation) {
        Release(std::move(entries));
        return;
    }
    m_listed = m_listed || listed;
    emit changed(entries);
}

} // namespace ini
