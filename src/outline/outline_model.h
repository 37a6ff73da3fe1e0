#pragma once

#include "outline/line_store.h"
#include "outline/outline_nodes.h"
#include "outline/outline_tree.h"

#include <QAbstractItemModel>
#include <QString>

#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ini {

// Bytes of a line shown as text: UTF-8 when the whole file is valid UTF-8, Windows-1252
// otherwise. Every byte sequence gives a string of the same length in characters or shorter;
// NUL shows as U+FFFD so nothing after it is lost from view.
QString DecodeLineText(std::string_view bytes, bool validUtf8);

// The outline as a Qt item model: one column, node texts made again from the line store on
// demand, node keys under KeyRole.
//
// The builders add nodes much faster than a view can follow, so adds only go to storage; the
// view learns of them in batches when PublishPending() runs (one row insertion per parent that
// grew). Until then rowCount() and hasChildren() answer what was published.
//
// The store is held by reference: its owner keeps the object alive for the model's lifetime and
// replaces its contents only through a load, which resets the model first.
class OutlineModel final : public QAbstractItemModel, public OutlineTree {
    Q_OBJECT

public:
    static constexpr int KeyRole = Qt::UserRole;

    explicit OutlineModel(const LineStore& lines, QObject* parent = nullptr);

    // OutlineTree: what the loader and the subtree builder use.
    void RemoveAll() override;
    void ReserveLines(std::size_t lineCount) override { m_nodes.ReserveLines(lineCount); }
    AddResult AddRoot(NodeKey key, const NodeText& text) override;
    AddResult AddChild(NodeKey relative, NodeKey key, const NodeText& text) override;
    bool Contains(NodeKey key) const override;
    std::size_t ChildCount(NodeKey key) const override;
    std::optional<NodeKey> Parent(NodeKey key) const override;
    std::optional<NodeKey> NextSibling(NodeKey key) const override;

    enum class Publish {
        Everything,
        // Root rows only in growing steps: a tree view lays out every root row again whenever
        // roots are inserted, so once there are many, a step waits until it would double them
        // (all steps together then cost at most two full layouts). Used while a walk runs; the
        // walk's end publishes everything.
        InGrowingSteps,
    };
    // Tells the views about the nodes added since the last call, parents before children.
    void PublishPending(Publish what = Publish::Everything);
    bool HasPending() const noexcept { return m_rootsDirty || !m_dirtyParents.empty(); }

    std::optional<NodeKey> KeyAt(const QModelIndex& index) const;
    // The index of a published node; invalid for unknown or not yet published keys.
    QModelIndex IndexOf(NodeKey key) const;

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    using NodeId = OutlineNodes::NodeId;

    NodeId IdOf(const QModelIndex& index) const;
    std::size_t PublishedChildren(NodeId parent) const;
    bool IsPublished(NodeId id) const;
    QModelIndex IndexOfId(NodeId id) const;
    void MarkDirty(NodeId parent);
    void PublishRows(NodeId parent, std::size_t published, std::size_t total);

    const LineStore& m_lines;
    OutlineNodes m_nodes;
    std::size_t m_publishedRoots = 0;
    // Published child counts of the nodes that have children; most nodes have none.
    std::unordered_map<NodeId, std::size_t> m_publishedChildren;
    bool m_rootsDirty = false;
    // Parents that got children since the last publish; may repeat, sorted at publish time.
    std::vector<NodeId> m_dirtyParents;
};

} // namespace ini
