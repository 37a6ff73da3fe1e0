#include "ui/use_search.h"

#include "outline/index/block_files.h"
#include "outline/index/file_index.h"
#include "parse/in_order.h"

#include <algorithm>
#include <iterator>
#include <new>
#include <optional>
#include <thread>
#include <utility>

namespace ini {

UseSearch::UseSearch(const Keywords& keywords, QObject* parent, Threading threading)
    : QObject(parent), m_keywords(keywords), m_worker(threading) {
    m_poll.setInterval(30);
    connect(&m_poll, &QTimer::timeout, this, &UseSearch::Poll);
}

UseSearch::~UseSearch() {
    m_stop = true;
    m_worker.Wait();
}

void UseSearch::Start(std::string folder, std::string name) {
    Cancel();
    m_folder = std::move(folder);
    m_name = std::move(name);
    {
        const std::lock_guard hold(m_lock);
        m_found.clear();
        m_failures.clear();
    }
    m_stop = false;
    m_done = false;
    m_stoppedAtMost = false;
    m_cancelled = false;
    m_running = true;
    try {
        m_worker.Run([this] { Search(); });
    } catch (const std::bad_alloc&) {
        // No room even to start: the poll ends the search with why.
        const std::lock_guard hold(m_lock);
        m_failures.push_back(NotEnoughMemory("search " + m_folder));
        m_done = true;
    }
    m_poll.start();
}

void UseSearch::Cancel() {
    m_stop = true;
    m_worker.Wait();
    m_poll.stop();
    // Told before the poll saw it end, a search that read every file still counts as stopped:
    // the list may say "stopped" of a complete search, never "complete" of a stopped one.
    m_cancelled = m_cancelled || m_running;
    m_running = false;
}

namespace {

// What one file gave a search: its uses in line order, or why it could not be read.
struct FileUses {
    std::vector<FoundUse> uses;
    std::optional<Failure> failure;
};

// Files whose uses may wait for those before them to be taken.
constexpr std::size_t filesAhead = 32;
// Most bytes of a line a use keeps: far wider than the list shows, and a line of a gigabyte
// must not be held whole.
constexpr std::size_t mostTextBytes = 1024;

// Appends to `kept` what of `bytes` fits in `most` bytes, without a UTF-8 character cut short at
// its end (a text that is not UTF-8 may lose up to three bytes more); gives whether anything was
// left out.
bool KeepUpTo(std::string& kept, std::string_view bytes, std::size_t most) {
    if (kept.size() + bytes.size() <= most) {
        kept += bytes;
        return false;
    }
    kept += bytes.substr(0, most - std::min(most, kept.size()));
    for (std::size_t back = 1; back <= std::min<std::size_t>(3, kept.size()); ++back) {
        const auto byte = static_cast<unsigned char>(kept[kept.size() - back]);
        if ((byte & 0xC0) == 0x80)
            continue; // continues a character that starts further back
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        if (length > back)
            kept.resize(kept.size() - back);
        break;
    }
    return true;
}

} // namespace

void UseSearch::Search() {
    try {
        SearchFolder();
    } catch (const std::bad_alloc&) {
        // The uses not taken yet are let go, so that there is room to say why the search ended.
        const std::lock_guard hold(m_lock);
        std::vector<FoundUse>().swap(m_found);
        m_failures.push_back(NotEnoughMemory("search " + m_folder + " further"));
    }
    m_done = true;
}

void UseSearch::SearchFolder() {
    BlockFiles listed = ListBlockFiles({m_folder});
    {
        const std::lock_guard hold(m_lock);
        m_failures = std::move(listed.failures);
    }
    // On a thread of its own the search reads files on every core; they are told in file order.
    const std::size_t helpers =
        m_worker.OnThread() ? std::max(1u, std::thread::hardware_concurrency()) - 1 : 0;
    std::vector<BigBuffer> rooms(helpers + 1); // the pieces of each reader's file in turn
    const auto search = [&](std::size_t file, std::size_t helper) {
        FileUses found;
        std::string line;
        bool cut = false;
        const auto onUse = [&](LineIndex index, std::string_view bytes, bool ends) {
            // Once cut, nothing after the cut is kept.
            cut = cut || KeepUpTo(line, bytes, mostTextBytes);
            if (ends) {
                found.uses.push_back(FoundUse{listed.files[file], index, std::exchange(line, {}),
                                              std::exchange(cut, false)});
            }
            return !m_stop.load() && found.uses.size() < mostUses;
        };
        try {
            Result<FileReader> opened = FileReader::Open(listed.files[file]);
            Result<void> walked = opened.ok() ? FindUses(std::move(opened).value(), m_keywords,
                                                         m_name, onUse, &rooms[helper], &m_stop)
                                              : Result<void>(opened.failure());
            if (!walked.ok())
                found.failure = walked.failure();
        } catch (const std::bad_alloc&) {
            found.uses.clear();
            found.failure = NotEnoughMemory("search " + listed.files[file]);
        }
        return found;
    };
    std::size_t told = 0;
    RunInOrder<FileUses>(
        listed.files.size(), helpers, filesAhead, search, [&](std::size_t, FileUses found) {
            if (m_stop)
                return false;
            found.uses.resize(std::min(found.uses.size(), mostUses - told));
            told += found.uses.size();
            const std::lock_guard hold(m_lock);
            m_found.insert(m_found.end(), std::make_move_iterator(found.uses.begin()),
                           std::make_move_iterator(found.uses.end()));
            if (found.failure)
                m_failures.push_back(std::move(*found.failure));
            m_stoppedAtMost = told == mostUses;
            return !m_stoppedAtMost;
        });
}

void UseSearch::Poll() {
    // Without a thread the search ran whole inside Start; either way its news is told here.
    const bool done = m_done.load();
    bool any = false;
    {
        const std::lock_guard hold(m_lock);
        any = !m_found.empty() || !m_failures.empty();
    }
    if (any)
        emit found();
    if (done) {
        m_poll.stop();
        m_running = false;
        emit finished();
    }
}

std::vector<FoundUse> UseSearch::TakeFound() {
    const std::lock_guard hold(m_lock);
    return std::exchange(m_found, {});
}

std::vector<Failure> UseSearch::TakeFailures() {
    const std::lock_guard hold(m_lock);
    return std::exchange(m_failures, {});
}

} // namespace ini
