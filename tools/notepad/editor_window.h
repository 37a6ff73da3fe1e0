#pragma once

#include "text_document.h"

#include <QMainWindow>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QTextCursor;

namespace ini {

class GoToLineBar;

// The editor's window: one text, a go-to-line bar under it, and the caret position in the
// status bar and in the title ("<file name>[*] - Ln N, Col M").
class EditorWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit EditorWindow(QWidget* parent = nullptr);

    // Shows the file at path. A file that cannot be read leaves an empty document and says why
    // in the status bar; if something is at the path, saving there is then refused so it is not
    // overwritten by the empty document.
    void Open(const QString& path);

    // Shows an error in the status bar until the next message.
    void ShowError(const QString& message);

    // Writes the text to the file (asking for a name when there is none). False, with the
    // reason in the status bar, when nothing was written.
    bool Save();
    bool SaveAs();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActions();
    bool SaveTo(const QString& path);
    void OpenGoToLine();
    void GoToLine(qint64 line);
    void CloseGoToLine();
    void UpdatePosition();
    void HighlightCaretLine(const QTextCursor& cursor);
    void UpdateFormatLabel();
    void OnModificationChanged(bool modified);

    QPlainTextEdit* m_edit;
    GoToLineBar* m_goToLine;
    QLabel* m_position;
    QLabel* m_format;
    TextDocument m_document;
    QString m_path;
    QString m_saveRefusal; // why saving to m_path would destroy data; empty when it would not
};

} // namespace ini
