#include "ui/view_state.h"

#include <QItemSelectionModel>
#include <QTreeView>

#include <algorithm>

namespace ini {

namespace {

using NodeId = OutlineNodes::NodeId;

void CollectExpanded(const OutlineModel& model, const QTreeView& view, const QModelIndex& parent,
                     std::vector<NodeId>& expanded) {
    for (int row = 0, rows = model.rowCount(parent); row < rows; ++row) {
        const QModelIndex child = model.index(row, 0, parent);
        // Asked only of rows that can open: the view's answer costs a persistent index.
        if (!model.hasChildren(child) || !view.isExpanded(child))
            continue;
        if (const std::optional<NodeKey> key = model.KeyAt(child))
            expanded.push_back(model.Nodes().Find(*key));
        CollectExpanded(model, view, child, expanded);
    }
}

std::optional<NodeId> IdAt(const OutlineModel& model, const QModelIndex& index) {
    const std::optional<NodeKey> key = model.KeyAt(index);
    if (!key)
        return std::nullopt;
    return model.Nodes().Find(*key);
}

} // namespace

ViewState ViewState::Capture(const OutlineModel& model, const LineStore& lines,
                             const QTreeView& view, const RootTextHashes& known) {
    std::vector<NodeId> nodes = model.FilledRoots();
    const std::size_t filled = nodes.size();
    // Only filled blocks have open nodes; each is asked of the view, without its rows.
    for (std::size_t i = 0; i < filled; ++i) {
        const QModelIndex root = model.IndexOf(model.Nodes().KeyOf(nodes[i]));
        if (!root.isValid() || !view.isExpanded(root))
            continue;
        nodes.push_back(nodes[i]);
        CollectExpanded(model, view, root, nodes);
    }
    const std::size_t expanded = nodes.size();
    const QModelIndexList selection = view.selectionModel()->selectedIndexes();
    const std::optional<NodeId> selected =
        selection.isEmpty() ? std::nullopt : IdAt(model, selection.front());
    if (selected)
        nodes.push_back(*selected);
    const std::size_t selectedRow = selected ? model.Nodes().RowOf(*selected) : 0;
    const std::optional<NodeId> top = IdAt(model, view.indexAt(QPoint(1, 1)));
    if (top)
        nodes.push_back(*top);

    ViewState state;
    const OutlineNodes& outline = model.Nodes();
    for (const NodeId node : nodes)
        state.m_rootRows.push_back(outline.RowOf(outline.RootAtOrBefore(outline.KeyOf(node))));
    state.m_rootCount = outline.RootCount();
    state.m_paths = PathsOf(model.Nodes(), lines, nodes, known);
    state.m_filled = filled;
    state.m_expanded = expanded - filled;
    state.m_hasSelected = selected.has_value();
    state.m_selectedRow = selectedRow;
    state.m_hasTop = top.has_value();
    return state;
}

std::vector<NodeKey> ViewState::RootsToFill(const OutlineModel& model, const LineStore& lines,
                                            RootTextHashes* made) {
    // A selected line inside a block that now stands at the top level (the End missing above it
    // was added) is looked for among the roots too, in the same pass.
    std::vector<NodePath> wanted = m_paths;
    const std::size_t selected = m_filled + m_expanded;
    const bool nested = m_hasSelected && m_paths[selected].size() > 1;
    if (nested)
        wanted.push_back({NodeStep{m_paths[selected].back().text, 0}});
    m_roots = FindRoots(model.Nodes(), lines, wanted, made);
    m_selectedAsRoot = nested ? m_roots.back() : OutlineNodes::none;
    if (nested)
        m_roots.pop_back();
    if (model.Nodes().RootCount() == m_rootCount)
        for (std::size_t i = 0; i < m_roots.size(); ++i)
            if (m_roots[i] == OutlineNodes::none)
                m_roots[i] = OutlineNodes::RootAt(m_rootRows[i]);
    std::vector<NodeKey> roots;
    for (std::size_t i = 0; i < m_filled; ++i)
        if (m_roots[i] != OutlineNodes::none)
            roots.push_back(model.Nodes().KeyOf(m_roots[i]));
    return roots;
}

void ViewState::Reopen(OutlineModel& model, const LineStore& lines, QTreeView& view) const {
    if (m_roots.size() != m_paths.size())
        return;
    const auto indexOf = [&](std::size_t i) -> QModelIndex {
        const bool selected = m_hasSelected && i == m_filled + m_expanded;
        NodeId node = m_roots[i] == OutlineNodes::none
                          ? OutlineNodes::none
                          : FindBelow(model.Nodes(), lines, m_roots[i], m_paths[i]);
        if (node == OutlineNodes::none && selected)
            node = m_selectedAsRoot != OutlineNodes::none
                       ? m_selectedAsRoot
                       : AtSelectedPlace(model.Nodes(), lines, i);
        return node == OutlineNodes::none ? QModelIndex() : model.Reveal(model.Nodes().KeyOf(node));
    };
    std::size_t next = m_filled;
    for (; next < m_filled + m_expanded; ++next)
        if (const QModelIndex index = indexOf(next); index.isValid())
            view.expand(index);
    if (m_hasSelected)
        if (const QModelIndex index = indexOf(next++); index.isValid())
            view.setCurrentIndex(index);
    const QModelIndex top = m_hasTop ? indexOf(next) : QModelIndex();
    if (top.isValid())
        view.scrollTo(top, QAbstractItemView::PositionAtTop);
    else
        view.scrollToTop();
}

OutlineNodes::NodeId ViewState::AtSelectedPlace(const OutlineNodes& nodes, const LineStore& lines,
                                                std::size_t i) const {
    // The last of its level deleted: the one now last stands in for it, or the block it was in.
    const NodePath& path = m_paths[i];
    if (path.size() == 1)
        return nodes.RootCount() == 0
                   ? OutlineNodes::none
                   : OutlineNodes::RootAt(std::min(m_selectedRow, nodes.RootCount() - 1));
    if (m_roots[i] == OutlineNodes::none)
        return OutlineNodes::none;
    const NodeId parent =
        FindBelow(nodes, lines, m_roots[i], NodePath(path.begin(), path.end() - 1));
    if (parent == OutlineNodes::none || nodes.ChildCountOf(parent) == 0)
        return parent;
    return nodes.ChildAt(parent, std::min(m_selectedRow, nodes.ChildCountOf(parent) - 1));
}

} // namespace ini
