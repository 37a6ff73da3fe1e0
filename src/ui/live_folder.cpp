#include "ui/live_folder.h"

#include "ui/path_text.h"
#include "ui/watch_rounds.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <string_view>
#include <utility>

namespace ini {

namespace {

using Clock = std::chrono::steady_clock;
// How long news may gather before it is sent: short enough that a list fills visibly.
constexpr auto batchInterval = std::chrono::milliseconds(20);
// IN_ATTRIB: the folder may have become readable again, and what was made meanwhile is listed.
constexpr std::uint32_t watchedEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                        IN_DELETE_SELF | IN_MOVE_SELF | IN_ATTRIB | IN_ONLYDIR;

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

// The work behind a LiveFolder, in rounds (see WatchRounds) that follow the inotify queue of
// the folder. It keeps the state last sent and merges news into it, so every state it sends is
// complete and sorted. Without a thread a round takes only the news there is.
class LiveFolder::Lister {
    // How often a folder that is not there is looked for, in ms.
    static constexpr int missingLook = 500;

public:
    Lister(LiveFolder& owner, Wanted wanted, Threading threading)
        : m_owner(owner), m_wanted(wanted), m_rounds(owner, threading, [this] { return Round(); }) {
    }

    WatchRounds& Rounds() noexcept { return m_rounds; }

private:
    // News gathered since the last state was sent.
    struct News {
        bool startOver = false;          // the state starts from nothing
        FolderEntries listed;            // entries a listing found
        std::map<QString, bool> changed; // names changed since: whether wanted now
        bool Empty() const { return !startOver && listed.empty() && changed.empty(); }
    };

    // One round; false once the lister should end.
    bool Round() {
        // A folder that went (removed, or moved away) tells nothing when it is made again: it
        // is looked for now and then, and listed once it is back.
        const bool missing = m_watch < 0 && !m_current.empty();
        std::optional<WatchRounds::Wakeup> wakeup = m_rounds.Await(missing ? missingLook : -1);
        if (!wakeup)
            return false;
        if (wakeup->folder) {
            m_current = std::move(*wakeup->folder);
            m_relist = true;
        } else if (missing && CanList(m_current)) {
            m_relist = true;
        }
        if (!m_relist && wakeup->events)
            FollowChanges();
        if (m_relist) {
            m_relist = false;
            Watch();
            List();
        } else if (!m_news.Empty() && !m_rounds.InFlight()) {
            SendNews(false);
        }
        return true;
    }

    void Watch() {
        if (m_watch >= 0)
            inotify_rm_watch(m_rounds.Notify(), m_watch);
        m_watch = m_current.empty()
                      ? -1
                      : inotify_add_watch(m_rounds.Notify(), m_current.c_str(), watchedEvents);
    }

    // Lists the current folder from scratch. Gives up early when another folder is asked for.
    void List() {
        m_news = News{};
        m_news.startOver = true;
        DIR* dir = m_current.empty() ? nullptr : opendir(m_current.c_str());
        m_readable = dir != nullptr;
        if (dir != nullptr) {
            int sinceCheck = 0;
            while (const dirent* entry = readdir(dir)) {
                if (IsWanted(m_wanted, dirfd(dir), entry->d_name, entry->d_type))
                    m_news.listed.push_back(MakeEntry(TextFromPath(entry->d_name)));
                if (++sinceCheck == 256) {
                    sinceCheck = 0;
                    if (m_rounds.Abandoned())
                        break;
                    SendIfDue();
                }
            }
            closedir(dir);
        }
        if (!m_rounds.Abandoned())
            SendNews(true);
    }

    // Reads the queued changes of the followed folder and notes what each named entry is now.
    // Lists the folder again when the queue overflowed or the folder itself went.
    void FollowChanges() {
        std::set<std::string> names;
        m_rounds.ReadEvents([&](const inotify_event& event) {
            if ((event.mask & IN_Q_OVERFLOW) != 0)
                m_relist = true;
            else if (event.wd != m_watch)
                return;
            else if ((event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0)
                m_relist = true;
            else if (event.len > 0)
                names.emplace(event.name);
            else if ((event.mask & IN_ATTRIB) != 0)
                m_relist = m_relist || BecameReadable();
        });
        if (m_relist)
            return;
        const int dir = open(m_current.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const Descriptor closer(dir);
        m_readable = m_readable && dir >= 0;
        for (const std::string& name : names) {
            m_news.changed[TextFromPath(name)] =
                dir >= 0 && IsWanted(m_wanted, dir, name.c_str(), DT_UNKNOWN);
        }
        SendIfDue();
    }

    // Whether the folder can be read now but could not when last looked at: entries made while
    // it could not were not seen. Its mode changes rarely; its other attributes (its time, its
    // count of links as folders come and go) change often and need no new listing.
    bool BecameReadable() {
        const bool readable = ::access(m_current.c_str(), R_OK | X_OK) == 0;
        return !std::exchange(m_readable, readable) && readable;
    }

    void SendIfDue() {
        if (!m_rounds.InFlight() && Clock::now() - m_lastSent >= batchInterval)
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
        m_lastSent = Clock::now();
        m_rounds.Send(m_shown, [&owner = m_owner, listed](FolderSnapshot entries) {
            owner.Deliver(std::move(entries), listed);
        });
    }

    LiveFolder& m_owner;
    const Wanted m_wanted;
    std::string m_current;
    int m_watch = -1;
    bool m_relist = false;
    bool m_readable = true; // the folder could be read when last looked at
    News m_news;
    FolderSnapshot m_shown; // the state last sent
    Clock::time_point m_lastSent;

    WatchRounds m_rounds; // last: its thread starts once everything above is ready
};

LiveFolder::LiveFolder(Wanted wanted, QObject* parent, Threading threading)
    : QObject(parent), m_lister(std::make_unique<Lister>(*this, wanted, threading)) {}

LiveFolder::~LiveFolder() = default;

void LiveFolder::Open(std::string folder) {
    m_listed = false;
    m_lister->Rounds().Open(std::move(folder));
}

void LiveFolder::Release(FolderSnapshot shown) {
    m_lister->Rounds().Delivered(std::move(shown));
}

void LiveFolder::Deliver(FolderSnapshot entries, bool listed) {
    m_listed = m_listed || listed;
    emit changed(entries);
}

} // namespace ini
