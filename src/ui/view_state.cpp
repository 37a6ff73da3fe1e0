#include "ui/view_state.h"

#include <QItemSelectionModel>
#include <QTreeView>

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
                             const QTreeView& view) {
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
    const std::optional<NodeId> top = IdAt(model, view.indexAt(QPoint(1, 1)));
    if (top)
        nodes.push_back(*top);

    std::vector<NodePath> paths = PathsOf(model.Nodes(), lines, nodes);
    ViewState state;
    state.m_filled.assign(paths.begin(), paths.begin() + static_cast<std::ptrdiff_t>(filled));
    state.m_expanded.assign(paths.begin() + static_cast<std::ptrdiff_t>(filled),
                            paths.begin() + static_cast<std::ptrdiff_t>(expanded));
    std::size_t next = expanded;
    if (selected)
        state.m_selected = std::move(paths[next++]);
    if (top)
        state.m_top = std::move(paths[next]);
    return state;
}

std::vector<NodeKey> ViewState::RootsToFill(const OutlineModel& model, const LineStore& lines) {
    std::vector<NodePath> paths = m_filled;
    paths.insert(paths.end(), m_expanded.begin(), m_expanded.end());
    if (m_selected)
        paths.push_back(*m_selected);
    if (m_top)
        paths.push_back(*m_top);
    m_roots = FindRoots(model.Nodes(), lines, paths);
    std::vector<NodeKey> roots;
    for (std::size_t i = 0; i < m_filled.size(); ++i)
        if (m_roots[i] != OutlineNodes::none)
            roots.push_back(model.Nodes().KeyOf(m_roots[i]));
    m_roots.erase(m_roots.begin(), m_roots.begin() + static_cast<std::ptrdiff_t>(m_filled.size()));
    return roots;
}

void ViewState::Reopen(OutlineModel& model, const LineStore& lines, QTreeView& view) const {
    std::vector<NodePath> paths = m_expanded;
    if (m_selected)
        paths.push_back(*m_selected);
    if (m_top)
        paths.push_back(*m_top);
    if (m_roots.size() != paths.size())
        return;
    const auto indexOf = [&](std::size_t i) -> QModelIndex {
        if (m_roots[i] == OutlineNodes::none)
            return {};
        const NodeId node = FindBelow(model.Nodes(), lines, m_roots[i], paths[i]);
        return node == OutlineNodes::none ? QModelIndex() : model.Reveal(model.Nodes().KeyOf(node));
    };
    for (std::size_t i = 0; i < m_expanded.size(); ++i)
        if (const QModelIndex index = indexOf(i); index.isValid())
            view.expand(index);
    std::size_t next = m_expanded.size();
    if (m_selected)
        if (const QModelIndex index = indexOf(next++); index.isValid())
            view.setCurrentIndex(index);
    const QModelIndex top = m_top ? indexOf(next) : QModelIndex();
    if (top.isValid())
        view.scrollTo(top, QAbstractItemView::PositionAtTop);
    else
        view.scrollToTop();
}

} // namespace ini
