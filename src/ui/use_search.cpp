#include "ui/use_search.h"

#include "outline/index/block_files.h"
#include "outline/index/file_index.h"
#include "parse/in_order.h"

#include <algorithm>
#include <iterator>
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
    m_running = true;
    m_worker.Run([this] { Search(); });
    m_poll.start();
}

void UseSearch::Cancel() {
    m_stop = true;
    m_worker.Wait();
    m_poll.stop();
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

} // namespace

void UseSearch::Search() {
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
        const auto onUse = [&](LineIndex index, std::string_view bytes, bool ends) {
            line += bytes;
            if (ends)
                found.uses.push_back(FoundUse{listed.files[file], index, std::exchange(line, {})});
            return !m_stop.load() && found.uses.size() < mostUses;
        };
        Result<FileReader> opened = FileReader::Open(listed.files[file]);
        Result<void> walked = opened.ok() ? FindUses(std::move(opened).value(), m_keywords, m_name,
                                                     onUse, &rooms[helper], &m_stop)
                                          : Result<void>(opened.failure());
        if (!walked.ok())
            found.failure = walked.failure();
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
    m_done = true;
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
