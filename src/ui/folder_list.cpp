#include "ui/folder_list.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QStyle>

namespace ini {

namespace {

constexpr int pathRole = Qt::UserRole;

QTreeWidgetItem* MakeItem(const QString& name, const QString& path, const QIcon& icon) {
    auto* item = new QTreeWidgetItem(QStringList{name});
    item->setData(0, pathRole, path);
    item->setIcon(0, icon);
    return item;
}

} // namespace

QStringList Subfolders(const QString& folder) {
    return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
}

FolderList::FolderList(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(8);
    setUniformRowHeights(true);
    // Opening refills the list, so it waits until the item that was activated is done with.
    connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        const QString path = item->data(0, pathRole).toString();
        QMetaObject::invokeMethod(
            this, [this, path] { Open(path); }, Qt::QueuedConnection);
    });
}

bool FolderList::SetPath(const QString& path) {
    const QString clean = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    const QFileInfo info(clean);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable())
        return false;
    if (clean == m_path)
        return true;
    m_path = clean;
    Fill();
    emit pathChanged();
    return true;
}

void FolderList::Fill() {
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

    QTreeWidgetItem* shown = MakeItem(QStringLiteral("/"), QStringLiteral("/"), open);
    addTopLevelItem(shown);
    QString walked;
    for (const QString& name : m_path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        walked += QLatin1Char('/') + name;
        QTreeWidgetItem* next = MakeItem(name, walked, open);
        shown->addChild(next);
        shown = next;
    }
    const QString prefix = m_path == QLatin1String("/") ? QString() : m_path;
    for (const QString& name : Subfolders(m_path))
        shown->addChild(MakeItem(name, prefix + QLatin1Char('/') + name, closed));
    expandAll();
    setCurrentItem(shown);
    scrollToItem(shown, QAbstractItemView::PositionAtTop);
}

void FolderList::Open(const QString& path) {
    // A folder that cannot be entered stays unopened; the beep says the click was heard.
    if (!SetPath(path))
        QApplication::beep();
}

} // namespace ini
