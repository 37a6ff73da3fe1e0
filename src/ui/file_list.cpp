#include "ui/file_list.h"

#include "ui/folder_entries_model.h"
#include "ui/path_text.h"

#include <QKeyEvent>

namespace ini {

// The files as one flat list.
class FileModel final : public FolderEntriesModel {
public:
    explicit FileModel(QObject* parent) : FolderEntriesModel(Wanted::IniFiles, parent) {}

    void SetFolder(const QString& folder) {
        beginResetModel();
        ListFolder(PathFromText(folder));
        endResetModel();
    }

    QModelIndex index(int row, int column, const QModelIndex& parent) const override {
        if (parent.isValid() || column != 0 || row < 0 || row >= EntryCount())
            return {};
        return createIndex(row, 0);
    }
    QModelIndex parent(const QModelIndex&) const override { return {}; }
    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : EntryCount();
    }
    int columnCount(const QModelIndex&) const override { return 1; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        return EntryName(index.row());
    }

protected:
    QModelIndex EntriesParent() const override { return {}; }
    QModelIndex EntryIndex(int row) const override { return createIndex(row, 0); }
};

FileList::FileList(QWidget* parent) : QListView(parent), m_model(new FileModel(this)) {
    setModel(m_model);
    setUniformItemSizes(true);
    setEditTriggers(NoEditTriggers);
    connect(this, &QListView::clicked, this, &FileList::fileClicked);
}

void FileList::SetFolder(const QString& folder) {
    m_model->SetFolder(folder);
}

QString FileList::FileName() const {
    const QModelIndex current = currentIndex();
    if (!current.isValid() || !selectionModel()->isSelected(current))
        return {};
    return m_model->EntryName(current.row());
}

bool FileList::Listed() const {
    return m_model->Listed();
}

void FileList::keyPressEvent(QKeyEvent* event) {
    const QModelIndex before = currentIndex();
    QListView::keyPressEvent(event);
    if (currentIndex() != before && currentIndex().isValid())
        emit fileClicked();
}

} // namespace ini
