#pragma once

#include "outline/check/structure_checks.h"
#include "outline/nodes/outline_nodes.h"
#include "outline/nodes/outline_tree.h"
#include "outline/read/line_store.h"

#include <QAbstractItemModel>
#include <QString>

#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace ini {

// Bytes of a line shown as text: UTF-8 when the whole file is valid UTF-8, Windows-1252
// otherwise. Every byte sequence gives a string of the same length in characters or shorter;
// NUL shows as U+FFFD so nothing after it is lost from view.
QString DecodeLineText(std::string_view bytes, bool validUtf8);

// The outline as a Qt item model: one column, node texts made again from the line store when
// they are painted, node keys under KeyRole.
//
// Rows reach the view lazily, as in Qt's fetch-more example: a level shows its first rows, and
// the view asks for more (canFetchMore/fetchMore) as the user scrolls to its end, each time as
// many again. So the view's work and memory follow what the user looks at, not the size of the
// file. Nodes that builders add wait in storage until PublishPending() tells the views.
//
// The store is held by reference: its owner keeps the object alive for the model's lifetime and
// replaces its contents only through a load, which resets the model at the same time.
class OutlineModel final : public QAbstractItemModel, public OutlineTree {
    Q_OBJECT

public:
    using NodeId = OutlineNodes::NodeId;
    static constexpr int KeyRole = Qt::UserRole;
    // The problems a node is or holds, one message to a line; empty when it has none.
    static constexpr int ProblemRole = Qt::UserRole + 1;
    // Rows a level shows before the view asks for more.
    static constexpr std::size_t firstRows = 4096;
    // Labels are cut after this many bytes of their line and end in an ellipsis; the node still
    // stands for its whole line.
    static constexpr std::size_t labelBytes = 4096;
    // A tooltip shows this much of a long line, wrapped at 100 characters: some thirty rows,
    // so that the tooltip, its line number on top, fits whole on a small screen.
    static constexpr std::size_t tooltipBytes = 3000;

    explicit OutlineModel(const LineStore& lines, QObject* parent = nullptr);

    // OutlineTree: what the loader and the subtree builder use.
    void Replace(OutlineNodes nodes) override;
    AddResult AddChild(NodeKey relative, NodeKey key, const NodeText& text) override;
    // The rows the views were given under `root` go too.
    void DropChildren(NodeKey root) override;
    bool Contains(NodeKey key) const override;
    std::size_t ChildCount(NodeKey key) const override;
    std::optional<NodeKey> Parent(NodeKey key) const override;
    std::optional<NodeKey> NextSibling(NodeKey key) const override;
    bool FillsNothing(NodeKey key) const override;

    // A root whose block was walked: if that gave it no nodes, it loses the expand arrow that
    // every block shows until it is filled.
    void NoteFilled(NodeKey root);
    // The roots whose blocks were filled, in file order.
    std::vector<NodeId> FilledRoots() const;

    // The file's problems, in file order, for the outline a load has just put in place, and how
    // many more it found than it kept.
    void SetProblems(std::vector<Problem> problems, std::size_t notKept = 0);
    const std::vector<Problem>& Problems() const noexcept { return m_problems; }
    std::size_t ProblemsNotKept() const noexcept { return m_problemsNotKept; }

    // The nodes as stored, for questions the tree operations do not answer (whole-file find).
    const OutlineNodes& Nodes() const noexcept { return m_nodes; }
    // Tells the views about nodes added since the last call (up to each level's shown rows).
    void PublishPending();
    bool HasPending() const noexcept { return !m_dirtyParents.empty(); }

    std::optional<NodeKey> KeyAt(const QModelIndex& index) const;
    // The index of a node the view has been given; invalid for unknown keys and for nodes the
    // view has not fetched yet.
    QModelIndex IndexOf(NodeKey key) const;
    // The index of any node, handing the view the rows up to it (and up to its ancestors) first.
    QModelIndex Reveal(NodeKey key);
    // Hands the view every root row, so that End reaches the last.
    void ShowAllRoots() { ShowRows(OutlineNodes::none, TotalChildren(OutlineNodes::none)); }

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    NodeId IdOf(const QModelIndex& index) const;
    std::size_t TotalChildren(NodeId parent) const;
    std::size_t ShownChildren(NodeId parent) const;
    bool IsShown(NodeId id) const;
    QModelIndex IndexOfId(NodeId id) const;
    // Hands the view the rows of `parent` up to `count` (at most all of them).
    void ShowRows(NodeId parent, std::size_t count);
    QString Label(NodeId id) const;
    QString Tooltip(NodeId id) const;
    // The problems on the lines a node stands for: its own and those of its block.
    std::pair<std::vector<Problem>::const_iterator, std::vector<Problem>::const_iterator>
    ProblemsOf(NodeId id) const;
    QString ProblemText(NodeId id) const;

    const LineStore& m_lines;
    OutlineNodes m_nodes;
    // Where the views' last look at a root and at a row ended: they ask for row after row, each
    // then a step from the one before. Views read the model on its own thread only.
    mutable OutlineNodes::Cursor m_cursor;
    std::size_t m_shownRoots = 0;
    // Shown child counts of the nodes whose children are not all shown; every other node shows
    // all its children (most have none), so the map stays small once rows are published.
    std::unordered_map<NodeId, std::size_t> m_shownChildren;
    // Parents that got nodes since the last publish.
    std::vector<NodeId> m_dirtyParents;
    // The parent of the last run of added children, while the view has not been told of them.
    NodeId m_runParent = OutlineNodes::none;
    bool m_runParentShown = false; // whether the view had that parent's row then
    // The first node added since the view was last given rows, or OutlineNodes::none. Nodes of
    // its block after it came later, so the view has not been given them: a fill's new parents
    // need no look at what is shown.
    NodeId m_freshFrom = OutlineNodes::none;
    bool m_inserting = false;
    // Roots of blocks that were filled and hold nothing (only comments and an End, say).
    std::unordered_set<NodeId> m_emptyBlocks;
    std::vector<Problem> m_problems;
    std::size_t m_problemsNotKept = 0;
};

} // namespace ini
