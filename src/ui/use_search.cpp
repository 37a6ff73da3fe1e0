#include "ui/use_search.h"

#include "outline/index/block_files.h"
#include "outline/index/file_index.h"

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

void UseSearch::Search() {
    BlockFiles listed = ListBlockFiles({m_folder});
    {
        const std::lock_guard hold(m_lock);
        m_failures = std::move(listed.failures);
    }
    BigBuffer room; // the pieces of each file in turn
    for (std::size_t file = 0; file < listed.files.size() && !m_stop; ++file) {
        std::string line;
        const auto onUse = [&](LineIndex index, std::string_view bytes, bool ends) {
            line += bytes;
            if (ends) {
                const std::lock_guard hold(m_lock);
                m_found.push_back(FoundUse{listed.files[file], index, std::move(line)});
                line.clear();
            }
            return !m_stop.load();
        };
        Result<void> walked = [&]() -> Result<void> {
            Result<FileReader> opened = FileReader::Open(listed.files[file]);
            if (!opened.ok())
                return opened.failure();
            return FindUses(std::move(opened).value(), m_keywords, m_name, onUse, &room, &m_stop);
        }();
        if (!walked.ok() && !m_stop) {
            const std::lock_guard hold(m_lock);
            m_failures.push_back(walked.failure());
        }
    }
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
