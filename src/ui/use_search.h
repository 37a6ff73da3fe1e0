#pragma once

#include "parse/keywords.h"
#include "parse/node_key.h"
#include "parse/result.h"
#include "parse/worker.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace ini {

// A line that uses a name: its file, the line, its bytes.
struct FoundUse {
    std::string file;
    LineIndex line = 0;
    std::string text;
    bool cut = false; // the line was longer: `text` holds its start
};

// Finds every use of a name in the block files of a folder on a thread of its own (the folder
// is listed there too), through the same streaming walk as ini-outline --uses. What it finds
// reaches the window as it goes (found(), about every 30 ms); a new search, or Cancel(), stops the
// one before at once. A name used everywhere would list more than anyone reads and hold memory
// for each: the search stops at the first mostUses uses, as a search in an editor does.
class UseSearch : public QObject {
    Q_OBJECT

public:
    explicit UseSearch(const Keywords& keywords, QObject* parent = nullptr,
                       Threading threading = Threading::OwnThread);
    ~UseSearch() override;

    static constexpr std::size_t mostUses = 20'000;

    void Start(std::string folder, std::string name);
    void Cancel();
    bool Running() const noexcept { return m_running; }
    // The search stopped at mostUses uses: there may be more.
    bool StoppedAtMost() const noexcept { return m_stoppedAtMost; }
    // Cancel() stopped the search before it had read every file: there may be more.
    bool Cancelled() const noexcept { return m_cancelled; }
    const std::string& Name() const noexcept { return m_name; }
    // The uses found since the last call, in file order.
    std::vector<FoundUse> TakeFound();
    // The files and folders that could not be read, so far.
    std::vector<Failure> TakeFailures();

signals:
    void found();
    void finished();

private:
    void Search();
    void SearchFolder();
    void Poll();

    const Keywords& m_keywords;
    std::string m_folder;
    std::string m_name;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_stoppedAtMost{false};
    bool m_running = false;
    bool m_cancelled = false;
    std::mutex m_lock;
    std::vector<FoundUse> m_found;
    std::vector<Failure> m_failures;
    QTimer m_poll;
    Worker m_worker; // last: it is stopped before what it uses goes
};

} // namespace ini
