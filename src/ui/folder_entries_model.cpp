#include "ui/folder_entries_model.h"

#include <algorithm>

namespace ini {

namespace {

std::optional<int> RowIn(const FolderSnapshot& entries, const QString& name) {
    if (!entries)
        return std::nullopt;
    const FolderEntry probe = MakeEntry(name);
    const auto at = std::lower_bound(entries->begin(), entries->end(), probe, SortsBefore);
    if (at == entries->end() || at->name != name)
        return std::nullopt;
    return static_cast<int>(at - entries->begin());
}

} // namespace

FolderEntriesModel::FolderEntriesModel(Wanted wanted, QObject* parent)
    : QAbstractItemModel(parent), m_live(wanted) {
    connect(&m_live, &LiveFolder::changed, this, &FolderEntriesModel::Show);
}

QString FolderEntriesModel::EntryName(int row) const {
    if (!m_entries || row < 0 || row >= static_cast<int>(m_entries->size()))
        return {};
    return (*m_entries)[row].name;
}

std::optional<int> FolderEntriesModel::RowOf(const QString& name) const {
    return RowIn(m_entries, name);
}

void FolderEntriesModel::ListFolder(std::string folder) {
    m_entries.reset();
    m_count = 0;
    m_live.Open(std::move(folder));
}

void FolderEntriesModel::Show(const FolderSnapshot& next) {
    const QModelIndex parent = EntriesParent();
    const int before = m_count;
    const int after = static_cast<int>(next->size());
    // Rows that come are added at the end first, empty for a moment ...
    if (after > before) {
        beginInsertRows(parent, before, after - 1);
        m_count = after;
        endInsertRows();
    }
    // ... then every row takes its new entry, and whatever pointed at an entry follows it ...
    emit layoutAboutToBeChanged({QPersistentModelIndex(parent)}, VerticalSortHint);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& index : from) {
        if (index.parent() != parent) {
            to.append(index);
            continue;
        }
        const std::optional<int> row = RowIn(next, EntryName(index.row()));
        to.append(row ? EntryIndex(*row) : QModelIndex());
    }
    FolderSnapshot shown = std::exchange(m_entries, next);
    changePersistentIndexList(from, to);
    emit layoutChanged({QPersistentModelIndex(parent)}, VerticalSortHint);
    // ... and rows that go, empty by now, are removed from the end.
    if (after < before) {
        beginRemoveRows(parent, after, before - 1);
        m_count = after;
        endRemoveRows();
    }
    m_live.Release(std::move(shown));
}

} // namespace ini
