#include "outline/outline_model.h"

#include "parse/cp1252.h"

#include <algorithm>
#include <climits>

namespace ini {

namespace {

constexpr char16_t replacement = u'\uFFFD';

// Root rows published at once while a walk runs, so a file's start shows without delay.
constexpr std::size_t rootsAlwaysShown = 4096;

int ClampToInt(std::size_t n) {
    return static_cast<int>(std::min<std::size_t>(n, INT_MAX));
}

} // namespace

QString DecodeLineText(std::string_view bytes, bool validUtf8) {
    if (validUtf8) {
        QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
        text.replace(QChar(u'\0'), QChar(replacement));
        return text;
    }
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* out = text.data();
    // NUL shows as the replacement character, as it does in UTF-8 text.
    for (const char byte : bytes)
        *out++ = byte == '\0' ? QChar(replacement)
                              : QChar(Cp1252ToUnicode(static_cast<unsigned char>(byte)));
    return text;
}

OutlineModel::OutlineModel(const LineStore& lines, QObject* parent)
    : QAbstractItemModel(parent), m_lines(lines) {}

void OutlineModel::RemoveAll() {
    beginResetModel();
    m_nodes.Clear();
    m_publishedRoots = 0;
    m_publishedChildren.clear();
    m_rootsDirty = false;
    m_dirtyParents.clear();
    endResetModel();
}

AddResult OutlineModel::AddRoot(NodeKey key, const NodeText& text) {
    const AddResult added = m_nodes.AddRoot(key, text.showComments);
    if (added == AddResult::Added)
        m_rootsDirty = true;
    return added;
}

AddResult OutlineModel::AddChild(NodeKey relative, NodeKey key, const NodeText& text) {
    const AddResult added = m_nodes.AddChild(relative, key, text.showComments);
    if (added == AddResult::Added)
        MarkDirty(m_nodes.Find(relative));
    return added;
}

bool OutlineModel::Contains(NodeKey key) const {
    return m_nodes.Find(key) != OutlineNodes::none;
}

std::size_t OutlineModel::ChildCount(NodeKey key) const {
    return m_nodes.ChildCount(key);
}

std::optional<NodeKey> OutlineModel::Parent(NodeKey key) const {
    return m_nodes.Parent(key);
}

std::optional<NodeKey> OutlineModel::NextSibling(NodeKey key) const {
    return m_nodes.NextSibling(key);
}

void OutlineModel::MarkDirty(NodeId parent) {
    // Children usually arrive in runs under one parent; repeats left here are dropped at publish.
    if (m_dirtyParents.empty() || m_dirtyParents.back() != parent)
        m_dirtyParents.push_back(parent);
}

void OutlineModel::PublishRows(NodeId parent, std::size_t published, std::size_t total) {
    const int first = ClampToInt(published);
    const int last = ClampToInt(total) - 1;
    if (first > last)
        return;
    beginInsertRows(IndexOfId(parent), first, last);
    if (parent == OutlineNodes::none)
        m_publishedRoots = static_cast<std::size_t>(last) + 1;
    else
        m_publishedChildren[parent] = static_cast<std::size_t>(last) + 1;
    endInsertRows();
}

void OutlineModel::PublishPending(Publish what) {
    // Roots first, then parents in creation order: a parent's id is below its children's, so
    // every parent is visible before rows are inserted under it.
    const std::size_t waiting = m_nodes.RootCount() - m_publishedRoots;
    const bool rootsDue = what == Publish::Everything || m_publishedRoots < rootsAlwaysShown ||
                          waiting >= m_publishedRoots;
    if (m_rootsDirty && rootsDue) {
        m_rootsDirty = false;
        PublishRows(OutlineNodes::none, m_publishedRoots, m_nodes.RootCount());
    }
    if (m_dirtyParents.empty())
        return;
    std::vector<NodeId> parents;
    parents.swap(m_dirtyParents);
    std::sort(parents.begin(), parents.end());
    parents.erase(std::unique(parents.begin(), parents.end()), parents.end());
    for (const NodeId parent : parents)
        PublishRows(parent, PublishedChildren(parent), m_nodes.ChildCountOf(parent));
}

std::size_t OutlineModel::PublishedChildren(NodeId parent) const {
    if (parent == OutlineNodes::none)
        return m_publishedRoots;
    // Views ask this of every root row they lay out; most nodes have no children at all.
    if (m_nodes.ChildCountOf(parent) == 0)
        return 0;
    const auto found = m_publishedChildren.find(parent);
    return found == m_publishedChildren.end() ? 0 : found->second;
}

bool OutlineModel::IsPublished(NodeId id) const {
    return m_nodes.RowOf(id) < PublishedChildren(m_nodes.ParentOf(id));
}

OutlineModel::NodeId OutlineModel::IdOf(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this || index.internalId() >= m_nodes.Size())
        return OutlineNodes::none;
    return static_cast<NodeId>(index.internalId());
}

QModelIndex OutlineModel::IndexOfId(NodeId id) const {
    if (id == OutlineNodes::none)
        return {};
    return createIndex(ClampToInt(m_nodes.RowOf(id)), 0, static_cast<quintptr>(id));
}

std::optional<NodeKey> OutlineModel::KeyAt(const QModelIndex& index) const {
    const NodeId id = IdOf(index);
    if (id == OutlineNodes::none)
        return std::nullopt;
    return m_nodes.KeyOf(id);
}

QModelIndex OutlineModel::IndexOf(NodeKey key) const {
    const NodeId id = m_nodes.Find(key);
    if (id == OutlineNodes::none)
        return {};
    // An unpublished node, or one below an unpublished ancestor, is not in the model yet.
    for (NodeId node = id; node != OutlineNodes::none; node = m_nodes.ParentOf(node)) {
        if (!IsPublished(node))
            return {};
    }
    return IndexOfId(id);
}

QModelIndex OutlineModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column != 0)
        return {};
    NodeId parentId = OutlineNodes::none;
    if (parent.isValid()) {
        parentId = IdOf(parent);
        if (parentId == OutlineNodes::none)
            return {};
    }
    const auto r = static_cast<std::size_t>(row);
    if (r >= PublishedChildren(parentId))
        return {};
    const NodeId id =
        parentId == OutlineNodes::none ? m_nodes.RootAt(r) : m_nodes.ChildAt(parentId, r);
    return createIndex(row, 0, static_cast<quintptr>(id));
}

QModelIndex OutlineModel::parent(const QModelIndex& child) const {
    const NodeId id = IdOf(child);
    if (id == OutlineNodes::none)
        return {};
    return IndexOfId(m_nodes.ParentOf(id));
}

int OutlineModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid())
        return ClampToInt(m_publishedRoots);
    if (parent.column() != 0)
        return 0;
    const NodeId id = IdOf(parent);
    return id == OutlineNodes::none ? 0 : ClampToInt(PublishedChildren(id));
}

int OutlineModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() && parent.column() != 0 ? 0 : 1;
}

bool OutlineModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

QVariant OutlineModel::data(const QModelIndex& index, int role) const {
    const NodeId id = IdOf(index);
    if (id == OutlineNodes::none)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return DecodeLineText(m_nodes.TextOf(id, m_lines), m_lines.IsValidUtf8());
    case KeyRole:
        return QString::fromStdString(m_nodes.KeyOf(id).ToString());
    default:
        return {};
    }
}

Qt::ItemFlags OutlineModel::flags(const QModelIndex& index) const {
    if (IdOf(index) == OutlineNodes::none)
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace ini
