#pragma once

#include "outline/line_store.h"
#include "outline/outline_tree.h"
#include "parse/keywords.h"

#include <functional>
#include <optional>
#include <string>

namespace ini {

// What a walk asks of whoever runs it, once per line: whether comments are shown right now,
// and (once per non-empty line) a chance to let pending events run. `letEventsRun` returns
// false to stop the walk, for instance because the window is closing.
struct WalkHooks {
    std::function<bool()> showComments = [] { return false; };
    std::function<bool()> letEventsRun = [] { return true; };
};

enum class WalkStatus {
    Done,    // the walk ran to its end
    Busy,    // turned away: another load is running
    Failed,  // the file could not be read; store and outline are as they were
    Stopped, // the hooks stopped the walk; the outline holds what was built so far
    Nothing, // a click that builds nothing: a child node, or a root that has children already
};

struct WalkResult {
    WalkStatus status = WalkStatus::Done;
    std::optional<LoadError> error; // set when status is Failed
    std::size_t nodesAdded = 0;
    std::size_t addsRefused = 0; // keys already in use or missing relatives (never in a sound run)
};

// Loads files into a line store and shows their top level in an outline. Owns the `Loading`
// flag that turns away a second load while one runs (a walk lets events run, so a second press
// of "Load" can arrive in the middle of one).
class FileLoader {
public:
    // Reads `path` once; on success replaces `store`, empties `tree` and adds a root node for
    // every non-empty line met while no block is open, except block ends. On failure nothing is
    // changed and the result carries the error.
    WalkResult LoadFile(const std::string& path, LineStore& store, OutlineTree& tree,
                        const Keywords& keywords, const WalkHooks& hooks);
    // The same for lines already in memory: `lines` replaces `store`.
    WalkResult LoadLines(LineStore lines, LineStore& store, OutlineTree& tree,
                         const Keywords& keywords, const WalkHooks& hooks);
    bool Loading() const noexcept { return m_loading; }

private:
    bool m_loading = false;
};

// What a click on a node does: a root node without children gets the nested structure of its
// block, walked from its own line to the next root's line (or the store's last line).
// Other nodes are left alone.
WalkResult ClickNode(NodeKey clicked, const LineStore& store, OutlineTree& tree,
                     const Keywords& keywords, const WalkHooks& hooks);

// Adds a child node, under the innermost open block, for every line from `start` to `end`
// (both included) that lies inside a block, has content and is not a block end.
WalkResult BuildSubtree(NodeKey start, NodeKey end, const LineStore& store, OutlineTree& tree,
                        const Keywords& keywords, const WalkHooks& hooks);

} // namespace ini
