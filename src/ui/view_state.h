#pragma once

#include "outline/model/outline_model.h"
#include "outline/nodes/node_path.h"

#include <optional>
#include <vector>

class QTreeView;

namespace ini {

// What the user had open in the tree, kept across a reload of the file: the filled blocks, the
// open nodes, the selected node and the row at the top of the view. Nodes are named by what
// they are (NodePath), so lines added or removed above them do not lose them.
class ViewState {
public:
    // `known`: the hashes of the model's roots, when a pass made them (see RootTextHashes).
    static ViewState Capture(const OutlineModel& model, const LineStore& lines,
                             const QTreeView& view, const RootTextHashes& known = {});

    // The roots of the new outline whose blocks were filled before, to be filled again. Finds
    // the roots of everything else that was open on the way, in the same pass, which puts the
    // new outline's root hashes in `made`.
    std::vector<NodeKey> RootsToFill(const OutlineModel& model, const LineStore& lines,
                                     RootTextHashes* made = nullptr);
    // After those were filled: opens the nodes that were open, selects the node that was
    // selected and scrolls to the row that was at the top (or to the top, if it is gone).
    void Reopen(OutlineModel& model, const LineStore& lines, QTreeView& view) const;

private:
    // The node at the place of the selected one, path `i`, when that is gone: its line was
    // changed (the value the user picked, edited), so the node at its row under the same parent.
    OutlineNodes::NodeId AtSelectedPlace(const OutlineNodes& nodes, const LineStore& lines,
                                         std::size_t i) const;

    // The nodes, in this order: the filled roots, the open nodes (parents before their
    // children), the selected node, the row at the top.
    std::vector<NodePath> m_paths;
    std::size_t m_filled = 0;
    std::size_t m_expanded = 0;
    bool m_hasSelected = false;
    std::size_t m_selectedRow = 0; // among its siblings
    bool m_hasTop = false;
    // The row of each path's root, and how many roots there were: where the count is the same,
    // a root whose line is gone was edited in place (a block renamed), and the root at its row
    // stands for it, so what was open and selected inside it stays so.
    std::vector<std::size_t> m_rootRows;
    std::size_t m_rootCount = 0;
    // The roots in the new outline of every path, once found.
    std::vector<OutlineNodes::NodeId> m_roots;
    // The root that now holds the selected line's text, when that line stood inside a block.
    OutlineNodes::NodeId m_selectedAsRoot = OutlineNodes::none;
};

} // namespace ini
