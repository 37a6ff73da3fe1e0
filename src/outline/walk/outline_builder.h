#pragma once

#include "outline/check/structure_checks.h"
#include "outline/nodes/outline_nodes.h"
#include "outline/nodes/outline_tree.h"
#include "outline/read/line_store.h"
#include "parse/keywords.h"
#include "parse/result.h"
#include "parse/worker.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ini {

// What a walk asks of whoever runs it. `showComments` is the comment switch, read once per
// non-empty line (from the load's worker thread as well, hence atomic); none means off.
// `letEventsRun` is called on the caller's thread, once per non-empty line of a block fill and
// every millisecond or so while a load's worker runs; it returns false to stop the work, for
// instance because the window is closing.
struct WalkHooks {
    const std::atomic<bool>* showComments = nullptr;
    std::function<bool()> letEventsRun = [] { return true; };
    // A load's, when set: called once the file is read, right before its outline replaces the
    // one shown, which still holds what the user did while it was read.
    std::function<void()> beforeReplace;
};

enum class WalkStatus {
    Done,    // the walk ran to its end
    Busy,    // turned away: another load is running
    Failed,  // the file could not be read or did not fit; store and outline are as they were
    Stopped, // the hooks stopped the work: a load leaves store and outline as they were, a block
             // fill keeps what it built so far
    Nothing, // a click that builds nothing: a child node, or a root that has children already
};

struct WalkResult {
    WalkStatus status = WalkStatus::Done;
    std::optional<Failure> error; // set when status is Failed
    std::size_t nodesAdded = 0;
    std::size_t addsRefused = 0;     // keys already in use or out of order (never in a sound run)
    std::vector<Problem> problems;   // a load's: the mistakes its walk found, in file order
    std::size_t problemsNotKept = 0; // a load's: mistakes past the most kept, only counted
};

// A file's lines, its top-level outline and its mistakes, made in one pass.
struct TopLevel {
    LineStore lines;
    OutlineNodes roots;
    std::vector<Problem> problems;
    std::size_t problemsNotKept = 0;
};

// Reads `file` and finds its root nodes while its lines are cut: one per non-empty line met
// while no block is open, except block ends. The structure checks run in the same walk. Safe to run
// on any thread; `stop` (when given) is checked once per non-empty line and makes the read fail.
Result<TopLevel> ReadTopLevel(FileReader file, const Keywords& keywords,
                              const std::atomic<bool>* showComments,
                              const std::atomic<bool>* stop = nullptr,
                              Threading threading = Threading::OwnThread);

// Loads files into a line store and shows their top level in an outline. Owns the `Loading`
// flag, which is set from the start of a load to its end and turns away a second load meanwhile
// (the caller's events run during a load, so a second press of "Load" can arrive in one).
class FileLoader {
public:
    // `threading` says where the reading runs; a machine without threads to spare reads inline.
    explicit FileLoader(Threading threading = Threading::OwnThread) : m_threading(threading) {}

    // Reads `path` on a worker thread while the caller's events run. On success replaces
    // `store` and the whole of `tree` with the file's lines and root nodes at once, and hands back
    // the file's problems. On failure,
    // or when the hooks stop it, nothing is changed and the result says why.
    WalkResult LoadFile(const std::string& path, LineStore& store, OutlineTree& tree,
                        const Keywords& keywords, const WalkHooks& hooks);
    bool Loading() const noexcept { return m_loading; }

private:
    Threading m_threading;
    bool m_loading = false;
};

// What a click on a node does: a root node without children gets the nested structure of its
// block, walked from its own line to the next root's line (or the store's last line).
// Other nodes are left alone.
WalkResult ClickNode(NodeKey clicked, const LineStore& store, OutlineTree& tree,
                     const Keywords& keywords, const WalkHooks& hooks);

// Adds a child node, under the innermost open block, for every line from `start` to `end`
// (both included) that lies inside a block, has content and is not a block end. One that runs
// out of memory takes away what it added and fails: the block is unfilled, as it was.
WalkResult BuildSubtree(NodeKey start, NodeKey end, const LineStore& store, OutlineTree& tree,
                        const Keywords& keywords, const WalkHooks& hooks);

} // namespace ini
