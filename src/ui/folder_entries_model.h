#pragma once

#include "ui/live_folder.h"

#include <QAbstractItemModel>

#include <optional>
#include <string>

namespace ini {

// A model that shows the entries of one folder, sorted, under one parent index, and keeps them
// in step with the folder as its listing arrives and as it changes. Each new state replaces the
// one shown in a single step: rows added or removed at the end plus a reordering, so views keep
// their current item and selection, and the cost does not grow with the folder.
class FolderEntriesModel : public QAbstractItemModel {
public:
    explicit FolderEntriesModel(Wanted wanted, QObject* parent = nullptr);

    int EntryCount() const noexcept { return m_count; }
    // The name at `row`; empty for a row being added or removed.
    QString EntryName(int row) const;
    std::optional<int> RowOf(const QString& name) const;
    // The first listing of the folder is complete.
    bool Listed() const noexcept { return m_live.Listed(); }

protected:
    // Forgets the entries and starts listing `folder` (bytes). Call between beginResetModel()
    // and endResetModel().
    void ListFolder(std::string folder);
    // Where the entries sit in the model.
    virtual QModelIndex EntriesParent() const = 0;
    virtual QModelIndex EntryIndex(int row) const = 0;

private:
    void Show(const FolderSnapshot& next);

    LiveFolder m_live;
    FolderSnapshot m_entries; // sorted by SortsBefore; null before the first state
    int m_count = 0;          // rows shown: differs from m_entries' size only inside Show()
};

} // namespace ini
