#include "ui/folder_index.h"

#include "outline/index/block_files.h"
#include "outline/index/file_index.h"
#include "outline/read/file_reader.h"
#include "parse/in_order.h"
#include "ui/watch_rounds.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>

namespace ini {

FileRecord::FileRecord(const FileRecord& other) noexcept : m_file(other.m_file) {
    if (m_file != nullptr)
        m_file->m_holds.fetch_add(1, std::memory_order_relaxed);
}

FileRecord::~FileRecord() {
    // The last hold, on whichever thread, sees every write the others made to the record.
    if (m_file != nullptr && m_file->m_holds.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        m_file->~FileDefinitions();
        ::operator delete(m_file);
    }
}

FileDefinitions::FileDefinitions(std::size_t count, std::size_t textsSize, std::size_t pathSize)
    : m_count(static_cast<std::uint32_t>(count)),
      m_textsSize(static_cast<std::uint32_t>(textsSize)),
      m_pathSize(static_cast<std::uint32_t>(pathSize)) {}

FileDefinitions* FileDefinitions::Allocate(std::size_t count, std::size_t textsSize,
                                           std::string_view path) {
    if (count > UINT32_MAX || textsSize > UINT32_MAX || path.size() > UINT32_MAX)
        throw std::length_error("the definitions of one file pass 4 GiB");
    const std::size_t tables = TablesBytes(count);
    void* const memory = ::operator new(sizeof(FileDefinitions) + tables + textsSize + path.size());
    auto* const file = new (memory) FileDefinitions(count, textsSize, path.size());
    path.copy(file->Block() + tables + textsSize, path.size());
    return file;
}

std::uint32_t FileDefinitions::NameHash(std::string_view name) noexcept {
    return static_cast<std::uint32_t>(std::hash<std::string_view>{}(name));
}

FileRecord FileDefinitions::Make(std::string_view path,
                                 std::span<const IndexedDefinition> definitions,
                                 std::string_view texts) {
    FileRecord record(Allocate(definitions.size(), texts.size(), path));
    auto* const file = record.m_file;
    texts.copy(file->Block() + TablesBytes(definitions.size()), texts.size());
    // The record starts aligned for any object, and its size keeps the table behind it so.
    static_assert(sizeof(FileDefinitions) % alignof(Stored) == 0);
    auto* const stored = reinterpret_cast<Stored*>(file->Block());
    // Built here, where it is written: the filter is Filter() of this record.
    auto* const filter = reinterpret_cast<unsigned char*>(stored + definitions.size());
    const std::size_t filterBits = 8 * FilterBytes(definitions.size());
    std::memset(filter, 0, FilterBytes(definitions.size()));
    for (std::size_t i = 0; i < definitions.size(); ++i) {
        const IndexedDefinition& read = definitions[i];
        new (stored + i) Stored{static_cast<std::uint32_t>(read.text.data() - texts.data()),
                                read.typeSize, read.line};
        const std::uint32_t hash = NameHash(read.Name());
        for (int probe = 0; probe < filterProbes; ++probe) {
            const std::size_t bit = FilterBit(hash, probe, filterBits);
            filter[bit / 8] |= static_cast<unsigned char>(1u << (bit % 8));
        }
        file->m_longestName =
            std::max(file->m_longestName, static_cast<std::uint32_t>(read.Name().size()));
    }
    return record;
}

bool FileDefinitions::MayDefine(std::uint32_t nameHash) const noexcept {
    if (m_count == 0)
        return false; // and it has no filter
    const std::size_t bits = 8 * FilterBytes(m_count);
    for (int probe = 0; probe < filterProbes; ++probe) {
        const std::size_t bit = FilterBit(nameHash, probe, bits);
        if ((Filter()[bit / 8] & (1u << (bit % 8))) == 0)
            return false;
    }
    return true;
}

FileRecord FileDefinitions::Make(std::string_view path, Failure failure) {
    auto failed = std::make_unique<const Failure>(std::move(failure));
    FileRecord record(Allocate(0, 0, path));
    record.m_file->failure = std::move(failed);
    return record;
}

FileDefinitions::DefinitionList FileDefinitions::Definitions() const noexcept {
    DefinitionList list;
    list.m_stored = reinterpret_cast<const Stored*>(Block());
    list.m_count = m_count;
    list.m_texts = Block() + TablesBytes(m_count);
    list.m_textsEnd = m_textsSize;
    return list;
}

namespace {

using Clock = std::chrono::steady_clock;
using Files = std::vector<FileRecord>;

// How long news may gather before it is sent: progress shows, the window hardly notices.
constexpr auto sendInterval = std::chrono::milliseconds(50);
// How long a file's events must pause before it is read again: a save is often several writes.
constexpr auto settleTime = std::chrono::milliseconds(100);
// How often a folder that is not there is looked for again: one removed and made again (an
// archive unpacked, a checkout switched) is a new folder, of which the old watches hear nothing.
constexpr auto missingFolderLook = std::chrono::milliseconds(500);
// Work between two looks at requests and inotify: on a thread, and on the owner's thread.
constexpr auto threadRound = std::chrono::milliseconds(50);
constexpr auto inlineRound = std::chrono::milliseconds(8);
// Files read at once by the threads of a build, between two looks at the time and at requests.
constexpr std::size_t filesPerBatch = 64;
// IN_ATTRIB: a file or folder that could not be read may have become readable.
constexpr std::uint32_t watchedEvents = IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                                        IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ATTRIB |
                                        IN_ONLYDIR;

// The definitions of one file as they are read: their texts gather in one string, and go to
// the file's own block once all are in, where they no longer move.
class DefinitionsRead {
public:
    void Add(const DefinitionLine& definition) {
        m_starts.push_back(m_texts.size());
        m_texts.append(definition.type).append(" ").append(definition.name);
        const auto typeSize =
            static_cast<std::uint32_t>(std::min<std::size_t>(definition.type.size(), UINT32_MAX));
        m_definitions.push_back(IndexedDefinition{{}, typeSize, definition.line});
    }

    FileRecord Made(std::string_view path) {
        // Only now that the texts no longer move do the definitions point at them.
        for (std::size_t i = 0; i < m_definitions.size(); ++i) {
            const std::size_t end = i + 1 < m_starts.size() ? m_starts[i + 1] : m_texts.size();
            m_definitions[i].text =
                std::string_view(m_texts).substr(m_starts[i], end - m_starts[i]);
        }
        try {
            return FileDefinitions::Make(path, m_definitions, m_texts);
        } catch (const std::length_error&) {
            return FileDefinitions::Make(
                path, Failure{"its definitions are too many to keep (over 4 GiB)",
                              FailureKind::TooLarge});
        }
    }

private:
    std::string m_texts;
    std::vector<IndexedDefinition> m_definitions;
    std::vector<std::size_t> m_starts;
};

// `name` inside `folder`, joined as ListBlockFiles joins them.
std::string JoinPath(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    path.append(name);
    return path;
}

bool ByPath(const FileRecord& file, std::string_view path) {
    return file->Path() < path;
}

// Drops the files below `folder`: in byte order they stand side by side. Whether there were any.
bool EraseUnder(Files& files, const std::string& folder) {
    const std::string prefix = JoinPath(folder, {});
    const auto first = std::lower_bound(files.begin(), files.end(), prefix, ByPath);
    const auto last = std::find_if(
        first, files.end(), [&](const auto& file) { return !file->Path().starts_with(prefix); });
    files.erase(first, last);
    return first != last;
}

// Why `folder` cannot be indexed as a folder, if it cannot.
std::optional<Failure> NotAFolder(const std::string& folder) {
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0) {
        const int error = errno;
        return Failure{"Cannot list '" + folder + "': " + std::generic_category().message(error)};
    }
    if (!S_ISDIR(info.st_mode))
        return Failure{"Cannot list '" + folder + "': not a folder"};
    return std::nullopt;
}

} // namespace

// The work behind a FolderIndex, in rounds (see WatchRounds) that follow the inotify queue of
// the tree. It keeps the files in path order and makes each state it sends from them. Without a
// thread a round takes only a few milliseconds.
class FolderIndex::Indexer {
public:
    Indexer(FolderIndex& owner, const Keywords& keywords, Threading threading)
        : m_owner(owner), m_keywords(keywords),
          m_rounds(
              owner, threading, [this] { return Round(); },
              [this] { return m_build.has_value() || m_rebuild; }) {}

    WatchRounds& Rounds() noexcept { return m_rounds; }

private:
    // A build from scratch, as it goes.
    struct Build {
        std::vector<std::string> paths; // to read, in byte order
        std::size_t next = 0;           // paths before it are read (and moved out)
        Files files;
        std::vector<Failure> failures;
    };

    bool Abandoned() const noexcept { return m_rounds.Abandoned(); }

    // One round; false once the indexer should end.
    bool Round() {
        try {
            return FollowAndRead();
        } catch (const std::bad_alloc&) {
            GiveUp();
            return true;
        }
    }

    // Memory ran out (a folder of millions of definitions): what the index held is let go, and it
    // says why, until a folder is asked for again. Half-done changes leave nothing to follow.
    void GiveUp() {
        m_build.reset();
        Files().swap(m_files);
        Unwatch();
        m_rebuild = false;
        m_lookForFolderAt.reset();
        m_failures.assign(1, NotEnoughMemory("index " + m_current));
        m_complete = true;
        m_dirty = true;
        m_sendAtOnce = true;
    }

    bool FollowAndRead() {
        std::optional<WatchRounds::Wakeup> wakeup = m_rounds.Await(PollTimeout());
        if (!wakeup)
            return false;
        if (wakeup->folder)
            StartOver(std::move(*wakeup->folder));
        LookForMissingFolder();
        // Events of a tree about to be rebuilt are left for the rounds after.
        if (!m_rebuild && wakeup->events)
            m_rounds.ReadEvents([this](const inotify_event& event) { Follow(event); });
        if (m_rebuild)
            StartBuild();
        if (m_build)
            BuildSome();
        else
            ReadSettled();
        SendIfDue();
        return true;
    }

    // How long a round on a thread may wait for news: until something is due.
    int PollTimeout() const {
        if (m_build || m_rebuild)
            return 0;
        std::optional<Clock::time_point> due;
        if (m_dirty && !m_rounds.InFlight())
            due = m_sendAtOnce ? Clock::now() : m_lastSent + sendInterval;
        for (const auto& [path, at] : m_pending)
            due = std::min(due.value_or(at + settleTime), at + settleTime);
        if (m_lookForFolderAt)
            due = std::min(due.value_or(*m_lookForFolderAt), *m_lookForFolderAt);
        if (!due)
            return -1;
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - Clock::now());
        return static_cast<int>(
            std::clamp<std::chrono::milliseconds::rep>(wait.count(), 0, INT_MAX));
    }

    // Another folder was asked for: nothing of the one before is kept.
    void StartOver(std::string folder) {
        m_current = std::move(folder);
        m_rebuild = true;
        m_complete = false;
        m_files.clear();
        m_failures.clear();
        m_lastSent = {};
    }

    // Nothing of the tree is followed any more, and no change of it is still to be read.
    void Unwatch() {
        m_pending.clear();
        for (const auto& [wd, folder] : m_watched)
            inotify_rm_watch(m_rounds.Notify(), wd);
        m_watched.clear();
    }

    // Watches the tree and lists it; the files are read by the rounds that follow. Until the
    // first build is complete its progress is sent; a later one replaces the files at its end.
    void StartBuild() {
        m_rebuild = false;
        Unwatch();
        m_unfollowed = 0;
        m_unfollowedReason.clear();
        m_build.emplace(Build{});
        m_dirty = true;
        m_lookForFolderAt.reset();
        if (m_current.empty())
            return;
        if (std::optional<Failure> failure = NotAFolder(m_current)) {
            m_build->failures.push_back(std::move(*failure));
            m_lookForFolderAt = Clock::now() + missingFolderLook;
            return;
        }
        BlockFiles listed =
            ListBlockFiles({m_current}, [this](const std::string& folder) { Watch(folder); });
        m_build->paths = std::move(listed.files);
        m_build->failures = std::move(listed.failures);
        // How many files there are shows while the first are read: one may take seconds.
        m_dirty = true;
        m_sendAtOnce = true;
        SendIfDue();
    }

    // Reads files of the build for one round's time, sending progress as it is due. On a thread
    // of its own the build reads files on every core, a batch at a time.
    void BuildSome() {
        const auto until = Clock::now() + (m_rounds.OnThread() ? threadRound : inlineRound);
        const std::size_t helpers = m_rounds.OnThread() ? m_rooms.size() - 1 : 0;
        Build& build = *m_build;
        while (build.next < build.paths.size()) {
            const std::size_t first = build.next;
            const std::size_t batch =
                std::min(build.paths.size() - first, helpers > 0 ? filesPerBatch : 1);
            RunInOrder<FileRecord>(
                batch, helpers, batch,
                [&](std::size_t file, std::size_t helper) {
                    // The listing lets go of each path as its file is read (the record keeps
                    // its own copy): a folder of many small files would hold each path twice
                    // until the build ends.
                    return ReadFile(std::exchange(build.paths[first + file], std::string()),
                                    m_rooms[helper]);
                },
                [&](std::size_t, FileRecord file) {
                    if (Abandoned())
                        return false;
                    ++build.next;
                    if (file)
                        build.files.push_back(std::move(file));
                    m_dirty = true;
                    SendIfDue();
                    return true;
                });
            if (Abandoned() || Clock::now() >= until)
                return;
        }
        m_files = std::move(build.files);
        m_failures = std::move(build.failures);
        m_build.reset();
        m_complete = true;
        m_dirty = true;
        m_sendAtOnce = true; // the complete state is not progress: it need not wait its turn
    }

    // A folder that was not there when it was built is built again once it is.
    void LookForMissingFolder() {
        if (!m_lookForFolderAt || Clock::now() < *m_lookForFolderAt)
            return;
        if (NotAFolder(m_current))
            m_lookForFolderAt = Clock::now() + missingFolderLook;
        else
            m_rebuild = true;
    }

    // Watches one folder of the tree; a refusal is counted, so the user learns that changes
    // there go unseen.
    void Watch(const std::string& folder) {
        const int wd = m_rounds.Notify() < 0
                           ? -1
                           : inotify_add_watch(m_rounds.Notify(), folder.c_str(), watchedEvents);
        if (wd >= 0) {
            m_watched[wd] = folder;
            return;
        }
        if (m_unfollowed++ > 0)
            return;
        m_unfollowedReason =
            m_rounds.Notify() < 0 ? std::string("the system offers no way to follow changes")
            : errno == ENOSPC     ? std::string("the system's limit of watched folders is reached "
                                                    "(fs.inotify.max_user_watches)")
                                  : std::generic_category().message(errno);
    }

    // One queued event: it names what to read again, or asks for a rebuild.
    void Follow(const inotify_event& event) {
        if ((event.mask & IN_Q_OVERFLOW) != 0) {
            m_rebuild = true; // events were lost: nothing tells what changed
            return;
        }
        const auto watched = m_watched.find(event.wd);
        if (watched == m_watched.end())
            return;
        if ((event.mask & IN_IGNORED) != 0) {
            m_watched.erase(watched);
        } else if ((event.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) != 0) {
            // A folder below is dealt with through its parent's event; the top one is gone.
            m_rebuild = m_rebuild || watched->second == m_current;
        } else if (event.len == 0 && (event.mask & IN_ATTRIB) != 0) {
            ReadFailedIn(watched->second);
        } else if (event.len > 0) {
            std::string path = JoinPath(watched->second, event.name);
            if ((event.mask & IN_ISDIR) == 0) {
                // A file closed after writing, renamed in or gone is complete and is read at
                // once; one just made waits for the writes that follow it to settle.
                const bool complete = (event.mask & (IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE |
                                                     IN_MOVED_FROM | IN_ATTRIB)) != 0;
                if (IsBlockFileName(event.name))
                    m_pending[std::move(path)] =
                        complete ? Clock::now() - settleTime : Clock::now();
            } else if ((event.mask & (IN_CREATE | IN_MOVED_TO)) != 0) {
                AddFolder(path);
            } else if ((event.mask & (IN_DELETE | IN_MOVED_FROM)) != 0) {
                DropFolder(path);
            } else if ((event.mask & IN_ATTRIB) != 0 &&
                       (!Watches(path) || ::access(path.c_str(), R_OK | X_OK) != 0)) {
                // A folder whose mode changed may have become readable, or unreadable: its
                // failure is told by the listing, so all is listed again. A rare change.
                m_rebuild = true;
            }
        }
    }

    // A watched folder's mode may have changed: its files that could not be read are read
    // again, as it may be readable now.
    void ReadFailedIn(const std::string& folder) {
        const std::string prefix = JoinPath(folder, {});
        for (auto at = std::lower_bound(m_files.begin(), m_files.end(), prefix, ByPath);
             at != m_files.end() && (*at)->Path().starts_with(prefix); ++at) {
            if ((*at)->failure && (*at)->Path().find('/', prefix.size()) == std::string_view::npos)
                m_pending[std::string((*at)->Path())] = Clock::now() - settleTime;
        }
    }

    bool Watches(const std::string& folder) const {
        return std::any_of(m_watched.begin(), m_watched.end(),
                           [&](const auto& watch) { return watch.second == folder; });
    }

    // A folder came into the tree: it is watched and its files are read once settled.
    void AddFolder(const std::string& folder) {
        BlockFiles listed =
            ListBlockFiles({folder}, [this](const std::string& sub) { Watch(sub); });
        const auto now = Clock::now();
        for (std::string& path : listed.files)
            m_pending[std::move(path)] = now;
        std::vector<Failure>& failures = m_build ? m_build->failures : m_failures;
        failures.insert(failures.end(), std::make_move_iterator(listed.failures.begin()),
                        std::make_move_iterator(listed.failures.end()));
        m_dirty = m_dirty || !listed.failures.empty();
    }

    // A folder left the tree: its files go, and so do its watches and those below.
    void DropFolder(const std::string& folder) {
        const std::string prefix = JoinPath(folder, {});
        std::erase_if(m_watched, [&](const auto& watch) {
            const bool goes = watch.second == folder || watch.second.starts_with(prefix);
            if (goes)
                inotify_rm_watch(m_rounds.Notify(), watch.first);
            return goes;
        });
        const bool dropped = EraseUnder(m_files, folder);
        const bool droppedFromBuild = m_build && EraseUnder(m_build->files, folder);
        m_dirty = m_dirty || dropped || droppedFromBuild;
    }

    // Reads again, for one round's time, the files whose events have settled.
    void ReadSettled() {
        const auto now = Clock::now();
        const auto until = now + (m_rounds.OnThread() ? threadRound : inlineRound);
        for (auto it = m_pending.begin(); it != m_pending.end() && !Abandoned();) {
            if (now - it->second < settleTime) {
                ++it;
                continue;
            }
            ReadAgain(it->first);
            it = m_pending.erase(it);
            // How many changes are still to read is shown, also when this one changed nothing
            // (a link or a pipe named as a block file).
            m_dirty = true;
            if (Clock::now() >= until)
                return;
        }
    }

    // Puts the file at `path` as it is now in place of what the index held of it.
    void ReadAgain(const std::string& path) {
        struct stat info {};
        FileRecord file;
        // As the listing does: a link is not read, a folder is not a file. One that cannot be
        // looked at (its folder cannot be entered now) is read all the same, which says why.
        const bool seen = lstat(path.c_str(), &info) == 0;
        if (seen ? !S_ISLNK(info.st_mode) && !S_ISDIR(info.st_mode)
                 : errno != ENOENT && errno != ENOTDIR)
            file = ReadFile(path, m_rooms[0]);
        if (Abandoned())
            return;
        const auto at = std::lower_bound(m_files.begin(), m_files.end(), path, ByPath);
        const bool held = at != m_files.end() && (*at)->Path() == path;
        m_dirty = m_dirty || file || held;
        if (file && held)
            *at = std::move(file);
        else if (file)
            m_files.insert(at, std::move(file));
        else if (held)
            m_files.erase(at);
    }

    // The definitions of the file at `path`, or its failure; null when there is no such file
    // (it went since it was listed).
    // Safe on several threads at once, each with a room of its own.
    // Runs on the build's helper threads too, which nothing may leave by an exception.
    FileRecord ReadFile(const std::string& path, BigBuffer& room) const {
        try {
            return ReadDefinitions(path, room);
        } catch (const std::bad_alloc&) {
            return FileDefinitions::Make(path, NotEnoughMemory("index it"));
        }
    }

    FileRecord ReadDefinitions(const std::string& path, BigBuffer& room) const {
        Result<FileReader> reader = FileReader::Open(path);
        if (!reader.ok() && reader.failure().kind == FailureKind::NotFound)
            return {};
        if (!reader.ok())
            return FileDefinitions::Make(path, reader.failure());
        DefinitionsRead read;
        IndexSink sink([&](const DefinitionLine& definition) {
            read.Add(definition);
            return !Abandoned();
        });
        sink.StopWhen([this] { return Abandoned(); });
        const Result<void> done = IndexFile(std::move(reader).value(), m_keywords, sink, &room);
        if (!done.ok())
            return FileDefinitions::Make(path, done.failure());
        return read.Made(path);
    }

    void SendIfDue() {
        if (!m_dirty || m_rounds.InFlight() ||
            (!m_sendAtOnce && Clock::now() - m_lastSent < sendInterval))
            return;
        auto state = std::make_shared<FolderIndexState>();
        state->folder = m_current;
        if (m_build && !m_complete) {
            state->files = m_build->files;
            state->folderFailures = m_build->failures;
            state->filesTotal = m_build->files.size() + m_build->paths.size() - m_build->next;
        } else {
            state->files = m_files;
            state->folderFailures = m_failures;
            state->filesTotal = m_files.size();
        }
        state->complete = m_complete;
        state->changesToRead = m_complete ? m_pending.size() : 0;
        state->unfollowed = m_unfollowed;
        state->unfollowedReason = m_unfollowedReason;
        m_dirty = false;
        m_sendAtOnce = false;
        m_lastSent = Clock::now();
        m_rounds.Send(std::move(state), [&owner = m_owner](FolderIndexSnapshot snapshot) {
            owner.Deliver(std::move(snapshot));
        });
    }

    FolderIndex& m_owner;
    const Keywords m_keywords;
    // The pieces of each file read in turn, one room per thread that reads: the rounds' own and
    // a helper per further core.
    std::vector<BigBuffer> m_rooms{std::max(1u, std::thread::hardware_concurrency())};
    std::string m_current;
    bool m_rebuild = false;
    std::optional<Build> m_build;
    bool m_complete = false; // the first build of the current folder is done
    Files m_files;           // of the last complete build, kept up to date since
    std::vector<Failure> m_failures;
    std::map<int, std::string> m_watched; // watch descriptor: its folder
    std::size_t m_unfollowed = 0;         // folders the system refused to watch
    std::string m_unfollowedReason;
    std::map<std::string, Clock::time_point> m_pending; // files to read again: last event
    bool m_dirty = false;                               // changed since the last state sent
    bool m_sendAtOnce = false;                          // the next state goes without waiting
    Clock::time_point m_lastSent;
    std::optional<Clock::time_point> m_lookForFolderAt; // the folder was not there: look again

    WatchRounds m_rounds; // last: its thread starts once everything above is ready
};

namespace {

FolderIndexSnapshot EmptyState(std::string folder) {
    auto state = std::make_shared<FolderIndexState>();
    state->folder = std::move(folder);
    return state;
}

} // namespace

FolderIndex::FolderIndex(const Keywords& keywords, QObject* parent, Threading threading)
    : QObject(parent), m_snapshot(EmptyState({})) {
    m_indexer = std::make_unique<Indexer>(*this, keywords, threading);
}

FolderIndex::~FolderIndex() {
    m_indexer.reset();
}

void FolderIndex::Open(std::string folder) {
    m_folder = folder;
    m_indexer->Rounds().Release(std::exchange(m_snapshot, EmptyState(m_folder)));
    m_indexer->Rounds().Open(std::move(folder));
}

void FolderIndex::Deliver(FolderIndexSnapshot snapshot) {
    snapshot.swap(m_snapshot);
    m_indexer->Rounds().Delivered(std::move(snapshot));
    emit changed();
}

} // namespace ini
