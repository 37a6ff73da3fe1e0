#pragma once

#include <QListView>
#include <QString>

namespace ini {

class FileModel;

// The list of the "*.ini" files (any letter case, not hidden, regular files or links to them)
// of one folder, sorted by name ignoring case. It fills as the folder is read on a thread of its
// own and follows files added to and removed from the folder. A click on a file, or moving the
// selection with the keyboard, raises fileClicked(); Enter or a double-click on a file raises
// fileOpened() after it.
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
    // Selects the file named `name` (the file shown) without raising fileClicked(), now or as
    // soon as the listing holds it; a new folder or a click of the user's ends the wait.
    void Highlight(const QString& name);

signals:
    void fileClicked();
    void fileOpened();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ApplyHighlight();

    FileModel* m_model;
    QString m_folder;
    QString m_highlight;
};

} // namespace ini
