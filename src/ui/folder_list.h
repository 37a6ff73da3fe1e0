#pragma once

#include <QString>
#include <QStringList>
#include <QTreeWidget>

namespace ini {

// The subfolders of `folder` a person browses: not hidden, sorted by name ignoring case.
QStringList Subfolders(const QString& folder);

// A classic folder list: the shown folder's ancestors from "/" down, each one step further in,
// and below the shown folder its subfolders. Double-click or Enter (the platform's activation)
// opens a folder. Every change of the path, by the user or by the program, raises
// pathChanged(), nested inside the call that made it.
class FolderList : public QTreeWidget {
    Q_OBJECT

public:
    explicit FolderList(QWidget* parent = nullptr);

    // The shown folder's full path; "/" for the root, otherwise without a trailing "/".
    QString Path() const { return m_path; }
    // Shows `path` (made absolute and clean). False, with nothing changed, when it is not a
    // folder that can be listed and entered.
    bool SetPath(const QString& path);

signals:
    void pathChanged();

protected:
    // Every level is always open, so there is nothing to expand or collapse.
    void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}

private:
    void Fill();
    void Open(const QString& path);

    QString m_path;
};

} // namespace ini
