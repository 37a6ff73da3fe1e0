#include "outline/model/outline_model.h"

#include "parse/cp1252.h"

#include <algorithm>
#include <climits>

namespace ini {

namespace {

constexpr char16_t replacement = u'\uFFFD';

int ClampToInt(std::size_t n) {
    return static_cast<int>(std::min<std::size_t>(n, INT_MAX));
}

// The start of `line` up to `limit` bytes, not cutting a UTF-8 sequence in two.
std::string_view CutForLabel(std::string_view line, std::size_t limit, bool utf8) {
    if (line.size() <= limit)
        return line;
    std::size_t end = limit;
    while (utf8 && end > 0 && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80)
        --end;
    return line.substr(0, end);
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

void OutlineModel::Replace(OutlineNodes nodes) {
    m_inserting = true; // no fetching while the views hear of the reset
    beginResetModel();
    m_nodes = std::move(nodes);
    m_shownRoots = std::min(m_nodes.RootCount(), firstRows);
    m_shownChildren.clear();
    m_dirtyParents.clear();
    m_runParent = OutlineNodes::none;
    m_freshFrom = OutlineNodes::none;
    m_emptyBlocks.clear();
    m_problems.clear();
    m_problemsNotKept = 0;
    endResetModel();
    m_inserting = false;
}

AddResult OutlineModel::AddChild(NodeKey relative, NodeKey key, const NodeText& text) {
    const OutlineNodes::ChildAdd added = m_nodes.AddChild(relative, key, text.showComments);
    if (added.result != AddResult::Added)
        return added.result;
    // The view goes on seeing the rows it was shown until the next publish: a parent that showed
    // all its children goes on showing the ones it had. A parent whose own row the view has not
    // been given brings its rows along when it is, so it needs no note, unless it outgrows the
    // rows a view is given at once. Children arrive in runs under one parent, and a run needs
    // the look once.
    if (m_freshFrom == OutlineNodes::none ||
        OutlineNodes::RootOfNode(m_freshFrom) != OutlineNodes::RootOfNode(added.node))
        m_freshFrom = added.node;
    if (added.parent != m_runParent) {
        m_runParent = added.parent;
        const bool fresh =
            OutlineNodes::RootOfNode(added.parent) == OutlineNodes::RootOfNode(m_freshFrom) &&
            added.parent >= m_freshFrom;
        m_runParentShown = !fresh && IsShown(added.parent);
        if (m_runParentShown) {
            m_shownChildren.try_emplace(added.parent, added.childCount - 1);
            if (m_dirtyParents.empty() || m_dirtyParents.back() != added.parent)
                m_dirtyParents.push_back(added.parent);
        }
    }
    if (!m_runParentShown && added.childCount == firstRows + 1)
        m_shownChildren.try_emplace(added.parent, firstRows);
    return added.result;
}

void OutlineModel::DropChildren(NodeKey root) {
    const NodeId id = m_nodes.Find(root);
    if (id == OutlineNodes::none || !OutlineNodes::IsRoot(id) || m_nodes.ChildCountOf(id) == 0)
        return;
    const std::size_t shown = IsShown(id) ? ShownChildren(id) : 0;
    if (shown > 0)
        beginRemoveRows(IndexOfId(id), 0, ClampToInt(shown) - 1);
    const auto inBlock = [id](NodeId node) { return OutlineNodes::RootOfNode(node) == id; };
    std::erase_if(m_shownChildren, [&](const auto& entry) { return inBlock(entry.first); });
    std::erase_if(m_dirtyParents, inBlock);
    m_runParent = OutlineNodes::none;
    m_freshFrom = OutlineNodes::none;
    m_nodes.DropChildren(root);
    if (shown > 0)
        endRemoveRows();
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

bool OutlineModel::FillsNothing(NodeKey key) const {
    return m_nodes.FillsNothing(key);
}

void OutlineModel::ShowRows(NodeId parent, std::size_t count) {
    const std::size_t shown = ShownChildren(parent);
    count = std::min(count, TotalChildren(parent));
    if (count <= shown)
        return;
    // The next add must note what the view has now.
    m_runParent = OutlineNodes::none;
    m_freshFrom = OutlineNodes::none;
    const auto note = [&] {
        if (parent == OutlineNodes::none)
            m_shownRoots = count;
        else if (count == TotalChildren(parent))
            m_shownChildren.erase(parent);
        else
            m_shownChildren[parent] = count;
    };
    // A parent the view has not been given yet brings its rows along when it is: no signal.
    if (parent != OutlineNodes::none && !IsShown(parent)) {
        note();
        return;
    }
    // Views (and model testers) ask for more rows while they hear of a change; none are handed
    // out until it is complete.
    m_inserting = true;
    beginInsertRows(IndexOfId(parent), ClampToInt(shown), ClampToInt(count) - 1);
    note();
    endInsertRows();
    m_inserting = false;
}

void OutlineModel::PublishPending() {
    if (m_dirtyParents.empty())
        return;
    std::vector<NodeId> parents;
    parents.swap(m_dirtyParents);
    m_runParent = OutlineNodes::none;
    // Parents in file order: an ancestor before its descendants, so every parent is shown
    // before rows go in under it.
    std::sort(parents.begin(), parents.end());
    parents.erase(std::unique(parents.begin(), parents.end()), parents.end());
    for (const NodeId parent : parents)
        ShowRows(parent, std::max(ShownChildren(parent), firstRows));
}

std::size_t OutlineModel::TotalChildren(NodeId parent) const {
    return parent == OutlineNodes::none ? m_nodes.RootCount() : m_nodes.ChildCountOf(parent);
}

std::size_t OutlineModel::ShownChildren(NodeId parent) const {
    if (parent == OutlineNodes::none)
        return m_shownRoots;
    // Views ask this of every row they lay out; most nodes have no children at all.
    if (m_nodes.ChildCountOf(parent) == 0)
        return 0;
    const auto found = m_shownChildren.find(parent);
    return found == m_shownChildren.end() ? m_nodes.ChildCountOf(parent) : found->second;
}

bool OutlineModel::IsShown(NodeId id) const {
    for (NodeId node = id; node != OutlineNodes::none; node = m_nodes.ParentOf(node)) {
        if (m_nodes.RowOf(node) >= ShownChildren(m_nodes.ParentOf(node)))
            return false;
    }
    return true;
}

OutlineModel::NodeId OutlineModel::IdOf(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this)
        return OutlineNodes::none;
    const auto id = static_cast<NodeId>(index.internalId());
    return m_nodes.IsNode(id) ? id : OutlineNodes::none;
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
    return m_nodes.KeyOf(id, m_cursor);
}

QModelIndex OutlineModel::IndexOf(NodeKey key) const {
    const NodeId id = m_nodes.Find(key);
    if (id == OutlineNodes::none || !IsShown(id))
        return {};
    return IndexOfId(id);
}

QModelIndex OutlineModel::Reveal(NodeKey key) {
    const NodeId id = m_nodes.Find(key);
    if (id == OutlineNodes::none)
        return {};
    std::vector<NodeId> chain;
    for (NodeId node = id; node != OutlineNodes::none; node = m_nodes.ParentOf(node))
        chain.push_back(node);
    // Outermost first: each level's rows go in once its parent is shown.
    for (auto node = chain.rbegin(); node != chain.rend(); ++node) {
        const NodeId parent = m_nodes.ParentOf(*node);
        const std::size_t needed = m_nodes.RowOf(*node) + 1;
        if (ShownChildren(parent) < needed)
            ShowRows(parent,
                     std::max(needed, std::min(2 * ShownChildren(parent), needed + firstRows)));
    }
    return IndexOf(key);
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
    if (r >= ShownChildren(parentId))
        return {};
    const NodeId id = parentId == OutlineNodes::none ? OutlineNodes::RootAt(r)
                                                     : m_nodes.ChildAt(parentId, r, m_cursor);
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
        return ClampToInt(m_shownRoots);
    if (parent.column() != 0)
        return 0;
    const NodeId id = IdOf(parent);
    return id == OutlineNodes::none ? 0 : ClampToInt(ShownChildren(id));
}

int OutlineModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() && parent.column() != 0 ? 0 : 1;
}

bool OutlineModel::hasChildren(const QModelIndex& parent) const {
    if (rowCount(parent) > 0)
        return true;
    // A block shows its arrow before it is filled, so it can be opened from the keyboard.
    const NodeId id = IdOf(parent);
    return id != OutlineNodes::none && m_nodes.OpensBlock(id, m_cursor) &&
           m_nodes.ChildCountOf(id) == 0 && !m_emptyBlocks.contains(id);
}

void OutlineModel::NoteFilled(NodeKey root) {
    const NodeId id = m_nodes.Find(root);
    if (id == OutlineNodes::none || !m_nodes.OpensBlock(id) || m_nodes.ChildCountOf(id) > 0)
        return;
    if (m_emptyBlocks.insert(id).second) {
        // Views keep what hasChildren said in their layout: have them ask again.
        if (IndexOf(root).isValid()) {
            emit layoutAboutToBeChanged();
            emit layoutChanged();
        }
    }
}

bool OutlineModel::canFetchMore(const QModelIndex& parent) const {
    if (m_inserting || (parent.isValid() && parent.column() != 0))
        return false;
    const NodeId id = parent.isValid() ? IdOf(parent) : OutlineNodes::none;
    if (parent.isValid() && id == OutlineNodes::none)
        return false;
    return ShownChildren(id) < TotalChildren(id);
}

void OutlineModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent))
        return;
    const NodeId id = parent.isValid() ? IdOf(parent) : OutlineNodes::none;
    // As many again each time: scrolling to the end of a million rows takes a few fetches.
    const std::size_t shown = ShownChildren(id);
    ShowRows(id, shown + std::max(shown, firstRows));
}

QString OutlineModel::Label(NodeId id) const {
    const NodeKey key = m_nodes.KeyOf(id, m_cursor);
    if (key.line >= m_lines.Count())
        return {};
    const bool utf8 = m_lines.IsValidUtf8();
    const std::string_view line = m_lines.Line(key.line);
    const std::string_view shown = CutForLabel(line, labelBytes, utf8);
    QString label =
        DecodeLineText(NodeText{shown, m_nodes.ShowsComment(id, m_cursor)}.ToString(), utf8);
    if (shown.size() < line.size())
        label += QChar(u'\u2026');
    return label;
}

std::vector<OutlineModel::NodeId> OutlineModel::FilledRoots() const {
    std::vector<NodeId> filled;
    for (std::size_t row = 0; row < m_nodes.RootCount(); ++row) {
        const NodeId root = OutlineNodes::RootAt(row);
        if (m_nodes.ChildCountOf(root) > 0 || m_emptyBlocks.contains(root))
            filled.push_back(root);
    }
    return filled;
}

void OutlineModel::SetProblems(std::vector<Problem> problems, std::size_t notKept) {
    m_problems = std::move(problems);
    m_problemsNotKept = notKept;
    if (m_shownRoots > 0)
        emit dataChanged(index(0, 0), index(ClampToInt(m_shownRoots) - 1, 0),
                         {ProblemRole, Qt::ToolTipRole});
}

std::pair<std::vector<Problem>::const_iterator, std::vector<Problem>::const_iterator>
OutlineModel::ProblemsOf(NodeId id) const {
    // A node stands for the lines up to its next sibling, or its nearest ancestor's. A line
    // between blocks belongs to the root before it, or to the first root when none comes before.
    NodeKey key = m_nodes.KeyOf(id, m_cursor);
    const bool root = !m_nodes.Parent(key);
    const LineIndex first =
        root && (key.line == 0 ||
                 m_nodes.RootAtOrBefore(NodeKey{key.line - 1}) == OutlineNodes::none)
            ? 0
            : key.line;
    LineIndex end = m_lines.Count();
    for (;;) {
        if (const std::optional<NodeKey> next = m_nodes.NextSibling(key)) {
            end = next->line;
            break;
        }
        const std::optional<NodeKey> parent = m_nodes.Parent(key);
        if (!parent)
            break;
        key = *parent;
    }
    const auto byLine = [](const Problem& problem, LineIndex line) { return problem.line < line; };
    const auto from = std::lower_bound(m_problems.begin(), m_problems.end(), first, byLine);
    const auto to = std::lower_bound(from, m_problems.end(), end, byLine);
    // Past the root's block, what a node's lines reach holds only lines between blocks.
    if (!root)
        return {from, std::find_if(from, to, [](const Problem& p) { return p.betweenBlocks; })};
    return {from, to};
}

QString OutlineModel::ProblemText(NodeId id) const {
    if (m_problems.empty())
        return {};
    // A block of thousands of mistakes names a few; the rest are counted.
    constexpr std::ptrdiff_t mostNamed = 5;
    const auto [from, to] = ProblemsOf(id);
    QString text;
    for (auto problem = from; problem != to && problem - from < mostNamed; ++problem) {
        if (!text.isEmpty())
            text += u'\n';
        text += DecodeLineText(problem->message, m_lines.IsValidUtf8());
    }
    if (to - from > mostNamed)
        text +=
            QStringLiteral("\n... and %1 more problems in this block").arg(to - from - mostNamed);
    return text;
}

QString OutlineModel::Tooltip(NodeId id) const {
    const NodeKey key = m_nodes.KeyOf(id, m_cursor);
    if (key.line >= m_lines.Count())
        return {};
    // Lines are counted from 1, as the editor counts them.
    QString tip = QStringLiteral("Line %1").arg(key.line + 1);
    const std::string_view line = m_lines.Line(key.line);
    // A label that is cut short or too wide to read in the tree is shown at more length, wrapped.
    constexpr qsizetype wrapAt = 100;
    if (line.size() > wrapAt) {
        const bool utf8 = m_lines.IsValidUtf8();
        const std::string_view shown = CutForLabel(line, tooltipBytes, utf8);
        const QString text = DecodeLineText(shown, utf8);
        for (qsizetype at = 0; at < text.size(); at += wrapAt)
            tip += u'\n' + text.mid(at, wrapAt);
        if (shown.size() < line.size())
            tip += QChar(u'\u2026');
    }
    if (const QString problems = ProblemText(id); !problems.isEmpty())
        tip += u'\n' + problems;
    return tip;
}

QVariant OutlineModel::data(const QModelIndex& index, int role) const {
    const NodeId id = IdOf(index);
    if (id == OutlineNodes::none)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return Label(id);
    case KeyRole:
        return QString::fromStdString(m_nodes.KeyOf(id, m_cursor).ToString());
    case ProblemRole:
        return ProblemText(id);
    case Qt::ToolTipRole:
        return Tooltip(id);
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
