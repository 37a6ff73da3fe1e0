#pragma once

#include <QString>
#include <QTreeView>

namespace ini {

class FolderModel;

// A classic folder list: the shown folder's ancestors from "/" down, each one step further in,
// and below the shown folder its subfolders (not hidden; links that lead to folders count),
// sorted by name ignoring case. The subfolders are read on a thread of their own and follow the
// folder as it changes. Double-click or Enter (the platform's activation) opens a folder. Every
// change of the path, by the user or by the program, raises pathChanged(), nested inside the
// call that made it.
class FolderList : public QTreeView {
    Q_OBJECT

public:
    explicit FolderList(QWidget* parent = nullptr);

    // The shown folder's full path; "/" for the root, otherwise without a trailing "/".
    QString Path() const;
    // Shows `path` (made absolute and clean). False, with nothing changed, when it is not a
    // folder that can be listed and entered.
    bool SetPath(const QString& path);
    // The subfolders' first listing is complete.
    bool Listed() const;

signals:
    void pathChanged();

protected:
    // Every level is always open, so there is nothing to expand or collapse.
    void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}

private:
    void Open(const QString& path);

    FolderModel* m_model;
    bool m_placePending = false; // the shown folder still waits to be scrolled to the top
};

} // namespace ini
