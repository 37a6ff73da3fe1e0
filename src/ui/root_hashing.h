#pragma once

#include "outline/model/outline_model.h"
#include "outline/nodes/node_path.h"
#include "outline/read/line_store.h"

#include <QTimer>

#include <functional>

namespace ini {

// The hashes of the shown outline's roots (see RootTextHashes), made a slice at a time while the
// window has nothing else to do: a reload's capture then looks at a few roots' lines, the first
// reload after a load as much as any later one.
class RootHashing {
public:
    // `mayRun` is asked before each slice: false while something else walks the outline.
    RootHashing(const OutlineModel& model, const LineStore& lines, std::function<bool()> mayRun);

    // The outline was replaced: the hashes of the one before are dropped and new ones begun.
    void Restart();
    // Every root's hash once made, fewer until then (a capture uses them only when complete).
    const RootTextHashes& Hashes() const noexcept { return m_hashes; }
    // For a pass over every root that makes the hashes on its way: no slice is needed after it.
    RootTextHashes* MadeByAPass() noexcept { return &m_hashes; }

private:
    void Slice();

    const OutlineModel& m_model;
    const LineStore& m_lines;
    std::function<bool()> m_mayRun;
    RootTextHashes m_hashes;
    QTimer m_idle;
};

} // namespace ini
