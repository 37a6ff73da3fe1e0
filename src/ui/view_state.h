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
    static ViewState Capture(const OutlineModel& model, const LineStore& lines,
                             const QTreeView& view);

    // The roots of the new outline whose blocks were filled before, to be filled again. Finds
    // the roots of everything else that was open on the way, in the same pass.
    std::vector<NodeKey> RootsToFill(const OutlineModel& model, const LineStore& lines);
    // After those were filled: opens the nodes that were open, selects the node that was
    // selected and scrolls to the row that was at the top (or to the top, if it is gone).
    void Reopen(OutlineModel& model, const LineStore& lines, QTreeView& view) const;

private:
    std::vector<NodePath> m_filled;
    std::vector<NodePath> m_expanded; // parents before their children
    std::optional<NodePath> m_selected;
    std::optional<NodePath> m_top;
    // The roots in the new outline of the open nodes, the selected and the top one, in that order.
    std::vector<OutlineNodes::NodeId> m_roots;
};

} // namespace ini
