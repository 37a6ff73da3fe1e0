#pragma once

#include <QListView>
#include <QString>

namespace ini {

class FileModel;

// The list of the "*.ini" files (any letter case, not hidden, regular files or links to them)
// of one folder, sorted by name ignoring case. It fills as the folder is read on a thread of its
// own and follows files added to and removed from the folder. A click on a file, or moving the
// selection with the keyboard, raises fileClicked().
class FileList : public QListView {
    Q_OBJECT

public:
    explicit FileList(QWidget* parent = nullptr);

    // Starts listing `folder`; the list is empty until its files arrive.
    void SetFolder(const QString& folder);
    // The selected file's name without its folder; empty when none is selected.
    QString FileName() const;
    // The folder's first listing is complete.
    bool Listed() const;

signals:
    void fileClicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    FileModel* m_model;
};

} // namespace ini
