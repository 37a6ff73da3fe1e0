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
    // Its first click has chosen the file already.
    connect(this, &QListView::doubleClicked, this, &FileList::fileOpened);
    connect(this, &FileList::fileClicked, this, [this] { m_highlight.clear(); });
    // Rows arrive empty and take their names at the layout change that follows.
    connect(m_model, &QAbstractItemModel::layoutChanged, this, &FileList::ApplyHighlight);
    connect(m_model, &QAbstractItemModel::modelReset, this, &FileList::ApplyHighlight);
}

void FileList::SetFolder(const QString& folder) {
    // The folder shown again (the folder list may say so twice) keeps the file highlighted.
    if (folder != m_folder)
        m_highlight.clear();
    m_folder = folder;
    m_model->SetFolder(folder);
}

void FileList::Highlight(const QString& name) {
    m_highlight = name;
    ApplyHighlight();
}

void FileList::ApplyHighlight() {
    if (m_highlight.isEmpty())
        return;
    for (int row = 0; row < m_model->EntryCount(); ++row) {
        if (m_model->EntryName(row) != m_highlight)
            continue;
        const QModelIndex found = m_model->index(row, 0, {});
        if (currentIndex() != found || !selectionModel()->isSelected(found))
            setCurrentIndex(found);
        scrollTo(found);
        return;
    }
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
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter on a row that shows only the focus frame chooses that file first.
        if (FileName().isEmpty() && currentIndex().isValid()) {
            selectionModel()->select(currentIndex(), QItemSelectionModel::ClearAndSelect);
            emit fileClicked();
        }
        if (!FileName().isEmpty())
            emit fileOpened();
        return;
    }
    const QString before = FileName();
    QListView::keyPressEvent(event);
    // A file chosen from the keyboard (arrows, or Space on the framed row) counts as a click.
    if (const QString now = FileName(); !now.isEmpty() && now != before)
        emit fileClicked();
}

} // namespace ini
