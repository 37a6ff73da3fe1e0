#pragma once

#include "notepad/text_document.h"
#include "notepad/text_file.h"
#include "notepad/text_search.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

class QAction;
class QLabel;
class QPlainTextEdit;
class QTextCursor;

namespace ini {

// The copies of changes kept at ends by a signal for the file at `path`, beside it and in the
// home folder, newest first.
QStringList KeptCopies(const QString& path);

class LineTextEdit;
class TextFindBar;
class GoToLineBar;
class LargeFileView;

// Files above this open read-only: the text widget takes about 0.4 s and 25 bytes of memory per
// byte of file to open one (3.4 s and 210 MiB for 8 MiB of block file, measured with
// bench/editor_bench).
inline constexpr qint64 kLargeFileBytes = 8 * 1024 * 1024;
// Files with a longer line open read-only too: the text widget lays out a whole line on every
// repaint, caret blinks included, at about 0.5 us per character (32 ms at this length), and
// wrapping makes opening such a line far slower still.
inline constexpr qsizetype kMaxEditableLineLength = 64 * 1024;
// Files of more lines open read-only as well: the widget's cost goes by lines more than by bytes
// (8 MiB of block file is some 350,000 lines), and 8 MiB of empty lines took half a minute and
// 1.5 GiB to open.
inline constexpr std::size_t kMaxEditableLines = 400'000;

// The editor's window: one text, a find bar and a go-to-line bar under it, and the caret position
// in the status bar and in the title ("<file name>[*] - Ln N, Col M"). Large files are shown
// read-only in a view that lays out only what is on screen.
class EditorWindow : public QMainWindow {
    Q_OBJECT
public:
    // Asked before a save would replace a file that changed on disk since it was read; true
    // saves anyway.
    using OverwriteQuestion = std::function<bool(const QString& question)>;

    explicit EditorWindow(QWidget* parent = nullptr);

    // Shows the file at path (text as path_text.h makes it from the bytes). A file that cannot
    // be read leaves an empty document and says why in the status bar; if something is at the
    // path, saving there is then refused so it is not overwritten by the empty document.
    void Open(const QString& path);

    // Shows an error in the status bar until the next message.
    void ShowError(const QString& message);

    // Writes the text to the file (asking for a name when there is none). False, with the
    // reason in the status bar, when nothing was written.
    bool Save();
    bool SaveAs();

    // For an end by a signal (a logout, a kill), which leaves no time to ask: changes not saved
    // are written beside the file, as its name with ".unsaved" added (or ".2.unsaved" and so
    // on, where earlier ones are kept: a new file, never the file itself), or in the home folder
    // for a text never saved or a folder that has gone or refuses new files. Gives where they went,
    // empty when there were none, or why they could not be kept.
    Result<QString> KeepUnsaved();
    // Names in the status bar the newest copy KeepUnsaved left for `path`, if any.
    void NameKeptCopies(const QString& path);

    // Puts the caret at the start of line (counted from 1, clamped to the text) and closes the
    // go-to-line bar.
    void GoToLine(qint64 line);

    // Replaces the message box that asks before overwriting a file changed on disk.
    void SetOverwriteQuestion(OverwriteQuestion question) { m_askOverwrite = std::move(question); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActions();
    void CreateEditActions();
    void OpenReadOnly(const QString& why);
    // Why a file read as `bytes` into `document` opens read-only, if it does.
    std::optional<QString> WhyNotEditable(std::string_view bytes,
                                          const TextDocument& document) const;
    void ShowEditable(bool editable);
    // Something is at m_path that was not read; saving the empty text there would destroy it.
    void RefuseSavingOverUnread();
    bool IsReadOnly() const;
    bool SaveTo(const QString& path);
    bool WriteTo(const QString& path);
    void OpenGoToLine();
    void OpenFind();
    // Hides the bar and gives the focus back to the text.
    void CloseBar(QWidget* bar);
    void FocusText();
    // Selects the next (previous) match of the find bar's text and scrolls to it; without a
    // text, opens the find bar instead.
    void Find(SearchDirection direction);
    // Where a search starts: after the selection or match going forward, before it going back.
    TextPlace SearchStart(SearchDirection direction) const;
    void SelectMatch(const FoundText& match);
    void UpdatePosition();
    void HighlightCaretLine(const QTextCursor& cursor);
    void UpdateFormatLabel();
    // The last part of the path, as shown.
    QString FileName() const;

    LineTextEdit* m_edit;
    LargeFileView* m_large;
    GoToLineBar* m_goToLine;
    TextFindBar* m_find;
    QLabel* m_position;
    QLabel* m_format;
    QAction* m_save = nullptr;
    QAction* m_saveAs = nullptr;
    QAction* m_undo = nullptr;
    QAction* m_redo = nullptr;
    TextDocument m_document;
    QString m_path;
    QString m_saveRefusal; // why saving to m_path would destroy data; empty when it would not
    DiskState m_disk;      // the file at m_path as last read or written
    OverwriteQuestion m_askOverwrite;
};

} // namespace ini
