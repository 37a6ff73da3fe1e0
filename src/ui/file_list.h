#pragma once

#include <QListWidget>
#include <QString>
#include <QStringList>

namespace ini {

// The names of the files in `folder` that match "*.ini" in any letter case, sorted by name
// ignoring case; hidden files are left out.
QStringList MatchingFiles(const QString& folder);

// The list of "*.ini" files of one folder. A click on a file, or moving the selection with the
// keyboard, raises fileClicked().
class FileList : public QListWidget {
    Q_OBJECT

public:
    explicit FileList(QWidget* parent = nullptr);

    void SetFolder(const QString& folder);
    QString Folder() const { return m_folder; }
    // The selected file's name without its folder; empty when none is selected.
    QString FileName() const;

signals:
    void fileClicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_folder;
};

} // namespace ini
