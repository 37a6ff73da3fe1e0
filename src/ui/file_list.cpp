#include "ui/file_list.h"

#include <QDir>
#include <QKeyEvent>

namespace ini {

QStringList MatchingFiles(const QString& folder) {
    // Name filters match regardless of case unless asked otherwise, so ARMOR.INI is listed.
    return QDir(folder).entryList({QStringLiteral("*.ini")}, QDir::Files,
                                  QDir::Name | QDir::IgnoreCase);
}

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemClicked, this, &FileList::fileClicked);
}

void FileList::SetFolder(const QString& folder) {
    m_folder = folder;
    clear();
    addItems(MatchingFiles(folder));
}

QString FileList::FileName() const {
    const QListWidgetItem* item = currentItem();
    return item != nullptr && item->isSelected() ? item->text() : QString();
}

void FileList::keyPressEvent(QKeyEvent* event) {
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before && currentItem() != nullptr)
        emit fileClicked();
}

} // namespace ini
