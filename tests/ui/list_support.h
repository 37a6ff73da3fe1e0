#pragma once

#include <QAbstractItemView>
#include <QStringList>
#include <QTreeView>

// What a file or folder list shows as choices: a flat list's rows, or the rows under a tree's
// current item (the folder shown).
inline QStringList ShownNames(const QAbstractItemView* view) {
    const QAbstractItemModel* model = view->model();
    const QModelIndex parent =
        qobject_cast<const QTreeView*>(view) != nullptr ? view->currentIndex() : QModelIndex();
    QStringList names;
    for (int row = 0; row < model->rowCount(parent); ++row)
        names.append(model->index(row, 0, parent).data().toString());
    return names;
}

// Makes the row named `name` under the shown folder current and selected; false when there is
// none.
inline bool SelectName(QAbstractItemView* view, const QString& name) {
    const qsizetype row = ShownNames(view).indexOf(name);
    if (row < 0)
        return false;
    const QModelIndex parent =
        qobject_cast<const QTreeView*>(view) != nullptr ? view->currentIndex() : QModelIndex();
    view->setCurrentIndex(view->model()->index(static_cast<int>(row), 0, parent));
    return true;
}
