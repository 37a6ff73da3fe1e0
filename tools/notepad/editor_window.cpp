#include "notepad/editor_window.h"

#include "notepad/block_lines.h"
#include "notepad/failure_text.h"
#include "notepad/goto_line_bar.h"
#include "notepad/large_file_view.h"
#include "notepad/line_text_edit.h"
#include "notepad/path_text.h"
#include "notepad/text_find_bar.h"
#include "parse/text_encoding.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

namespace ini {

namespace {

QString LineEndName(LineEnd end) {
    switch (end) {
    case LineEnd::CrLf:
        return QStringLiteral("CRLF");
    case LineEnd::Cr:
        return QStringLiteral("CR");
    default:
        return QStringLiteral("LF");
    }
}

// An action that runs a step of the text's undo history, enabled while the text has one to run.
QAction* AddHistoryAction(QMenu& menu, QPlainTextEdit& text, const QString& name,
                          QKeySequence::StandardKey keys, void (QPlainTextEdit::*run)(),
                          void (QPlainTextEdit::*available)(bool)) {
    QAction* action = menu.addAction(name, &text, run);
    action->setShortcuts(keys);
    action->setEnabled(false);
    QObject::connect(&text, available, action, &QAction::setEnabled);
    return action;
}

} // namespace

EditorWindow::EditorWindow(QWidget* parent)
    : QMainWindow(parent), m_edit(new LineTextEdit(this)), m_large(new LargeFileView(this)),
      m_goToLine(new GoToLineBar(this)), m_find(new TextFindBar(this)),
      m_position(new QLabel(this)), m_format(new QLabel(this)),
      m_askOverwrite([this](const QString& question) {
          return QMessageBox::warning(this, tr("File changed on disk"), question,
                                      QMessageBox::Save | QMessageBox::Cancel,
                                      QMessageBox::Cancel) == QMessageBox::Save;
      }) {
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_edit->setObjectName(QStringLiteral("text"));
    connect(m_edit, &LineTextEdit::refused, this, &EditorWindow::ShowError);
    m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_edit->setFont(fixed);
    m_large->setFont(fixed);
    m_large->SetTabStopDistance(m_edit->tabStopDistance());
    m_large->hide();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_large, 1);
    layout->addWidget(m_find);
    layout->addWidget(m_goToLine);
    setCentralWidget(central);

    m_position->setObjectName(QStringLiteral("position"));
    statusBar()->addPermanentWidget(m_format);
    statusBar()->addPermanentWidget(m_position);
    // A message longer than the bar has room for is read whole in its tooltip.
    connect(statusBar(), &QStatusBar::messageChanged, statusBar(), &QWidget::setToolTip);
    CreateActions();

    connect(m_edit, &QPlainTextEdit::cursorPositionChanged, this, &EditorWindow::UpdatePosition);
    connect(m_large, &LargeFileView::caretLineChanged, this, &EditorWindow::UpdatePosition);
    connect(m_edit->document(), &QTextDocument::modificationChanged, this,
            &QWidget::setWindowModified);
    connect(m_goToLine, &GoToLineBar::lineRequested, this, &EditorWindow::GoToLine);
    connect(m_goToLine, &GoToLineBar::dismissed, this, [this] { CloseBar(m_goToLine); });
    connect(m_find, &TextFindBar::findRequested, this, [this] { Find(SearchDirection::Forward); });
    connect(m_find, &TextFindBar::dismissed, this, [this] { CloseBar(m_find); });

    ShowLines(*m_edit->document(), m_document);
    UpdatePosition();
    UpdateFormatLabel();
    m_edit->setFocus();
    resize(800, 600);
}

void EditorWindow::CreateActions() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    m_save = file->addAction(tr("&Save"), this, &EditorWindow::Save);
    m_save->setShortcut(QKeySequence::Save);
    m_saveAs = file->addAction(tr("Save &As..."), this, &EditorWindow::SaveAs);
    m_saveAs->setShortcut(QKeySequence::SaveAs);
    file->addSeparator();
    file->addAction(tr("&Quit"), this, &QWidget::close)->setShortcut(QKeySequence::Quit);

    CreateEditActions();
}

void EditorWindow::CreateEditActions() {
    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    m_undo = AddHistoryAction(*edit, *m_edit, tr("&Undo"), QKeySequence::Undo,
                              &QPlainTextEdit::undo, &QPlainTextEdit::undoAvailable);
    m_undo->setObjectName(QStringLiteral("undo"));
    m_redo = AddHistoryAction(*edit, *m_edit, tr("&Redo"), QKeySequence::Redo,
                              &QPlainTextEdit::redo, &QPlainTextEdit::redoAvailable);
    m_redo->setObjectName(QStringLiteral("redo"));
    // Ctrl+Y as well, where Windows editors have it; the desktop's own key stays first.
    m_redo->setShortcuts(QKeySequence::keyBindings(QKeySequence::Redo)
                         << QKeySequence(Qt::CTRL | Qt::Key_Y));
    edit->addSeparator();

    edit->addAction(tr("&Find..."), this, &EditorWindow::OpenFind)
        ->setShortcuts(QKeySequence::Find);
    // Not QKeySequence::FindNext: on some desktops that holds Ctrl+G, which is Go to Line here.
    edit->addAction(tr("Find &Next"), this, [this] { Find(SearchDirection::Forward); })
        ->setShortcut(QKeySequence(Qt::Key_F3));
    edit->addAction(tr("Find &Previous"), this, [this] { Find(SearchDirection::Backward); })
        ->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
    edit->addAction(tr("&Go to Line..."), this, &EditorWindow::OpenGoToLine)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
}

void EditorWindow::Open(const QString& path) {
    m_path = path;
    m_saveRefusal.clear();
    m_disk = DiskState::Absent();
    m_large->Clear();
    if (const std::optional<qint64> size = RegularFileSize(path); size && *size > kLargeFileBytes) {
        // Sizes that round alike are given in bytes: "8.0 MiB, more than the 8.0 MiB" says nothing.
        const bool alike = MiB(*size) == MiB(kLargeFileBytes);
        OpenReadOnly(tr("Large files open read-only: %1 holds %2, more than the %3 that can be "
                        "edited")
                         .arg(FileName(),
                              alike ? tr("%1 bytes").arg(*size) : tr("%1 MiB").arg(MiB(*size)),
                              alike ? tr("%1 bytes").arg(kLargeFileBytes)
                                    : tr("%1 MiB").arg(MiB(kLargeFileBytes))));
        return;
    }
    const Result<QByteArray> read = ReadFileBytes(path, kLargeFileBytes);
    const FailureKind kind = read.ok() ? FailureKind::Other : read.failure().kind;
    if (kind == FailureKind::TooLarge) { // it grew since it was measured
        OpenReadOnly(tr("Large files open read-only: %1").arg(FailureText(read.failure())));
        return;
    }
    if (!read.ok()) {
        m_document = TextDocument();
        if (kind == FailureKind::NotFound) {
            // A save makes the file, but not the folder it would stand in.
            const QString folder = QFileInfo(path).absolutePath();
            ShowError(IsFolder(folder)
                          ? tr("%1; saving creates it").arg(FailureText(read.failure()))
                          : tr("%1, and no folder %2 is there to hold it")
                                .arg(FailureText(read.failure()), ShownPath(folder)));
            // A file moved or removed while it was edited is when its kept changes matter most.
            NameKeptCopies(path);
        } else {
            RefuseSavingOverUnread();
            ShowError(FailureText(read.failure()));
        }
    } else {
        const QByteArray& bytes = read.value();
        const std::string_view view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        TextDocument document = TextDocument::FromBytes(view);
        if (const std::optional<QString> why = WhyNotEditable(view, document)) {
            OpenReadOnly(*why);
            return;
        }
        m_document = std::move(document);
        m_disk = DiskState::Of(path, bytes);
        statusBar()->clearMessage();
        NameKeptCopies(path);
    }
    ShowLines(*m_edit->document(), m_document);
    ShowEditable(true);
    m_edit->moveCursor(QTextCursor::Start);
    UpdatePosition();
    UpdateFormatLabel();
}

std::optional<QString> EditorWindow::WhyNotEditable(std::string_view bytes,
                                                    const TextDocument& document) const {
    // Shown byte for byte, UTF-16 has a NUL beside every letter, and a character typed would
    // shift every one after it out of step.
    if (StartsLikeUtf16(bytes))
        return tr("UTF-16 text opens read-only: it is shown byte for byte, and an edit would "
                  "break every character after it");
    const auto& lines = document.Lines();
    if (lines.size() > kMaxEditableLines)
        return tr("Files of more than %1 lines open read-only: %2 holds %3")
            .arg(kMaxEditableLines)
            .arg(FileName())
            .arg(lines.size());
    const auto longest = std::max_element(
        lines.begin(), lines.end(), [](auto& a, auto& b) { return a.text.size() < b.text.size(); });
    if (longest != lines.end() && longest->text.size() > kMaxEditableLineLength)
        return tr("Files with lines over %1 characters open read-only: line %2 holds %3")
            .arg(kMaxEditableLineLength)
            .arg(longest - lines.begin() + 1)
            .arg(longest->text.size());
    return std::nullopt;
}

void EditorWindow::OpenReadOnly(const QString& why) {
    m_document = TextDocument();
    ShowLines(*m_edit->document(), m_document); // frees the text of a previous file
    Result<LargeFileLines> read = LargeFileLines::Read(m_path);
    if (!read.ok()) {
        RefuseSavingOverUnread();
        ShowEditable(true);
        ShowError(FailureText(read.failure()));
    } else {
        m_large->SetLines(std::move(read).value());
        ShowEditable(false);
        ShowError(why);
    }
    UpdatePosition();
    UpdateFormatLabel();
}

void EditorWindow::ShowEditable(bool editable) {
    m_edit->setVisible(editable);
    m_large->setVisible(!editable);
    m_save->setEnabled(editable);
    m_saveAs->setEnabled(editable);
    // The large view cannot be edited, so there is nothing to undo there.
    m_undo->setEnabled(editable && m_edit->document()->isUndoAvailable());
    m_redo->setEnabled(editable && m_edit->document()->isRedoAvailable());
    if (editable)
        m_large->Clear();
    FocusText();
}

void EditorWindow::RefuseSavingOverUnread() {
    m_saveRefusal =
        tr("Not saved: %1 could not be opened, and saving would overwrite it. Use Save As.")
            .arg(ShownPath(m_path));
}

bool EditorWindow::IsReadOnly() const {
    return !m_large->isHidden();
}

void EditorWindow::ShowError(const QString& message) {
    statusBar()->showMessage(message);
}

bool EditorWindow::Save() {
    if (IsReadOnly()) {
        ShowError(tr("Not saved: the file opened read-only"));
        return false;
    }
    if (m_path.isEmpty())
        return SaveAs();
    if (!m_saveRefusal.isEmpty()) {
        ShowError(m_saveRefusal);
        return false;
    }
    return SaveTo(m_path);
}

bool EditorWindow::SaveAs() {
    if (IsReadOnly()) {
        ShowError(tr("Not saved: the file opened read-only"));
        return false;
    }
    const QString path = QFileDialog::getSaveFileName(this, tr("Save As"), m_path);
    if (path.isEmpty() || !SaveTo(path))
        return false;
    m_path = path;
    m_saveRefusal.clear();
    UpdatePosition();
    return true;
}

bool EditorWindow::SaveTo(const QString& path) {
    try {
        return WriteTo(path);
    } catch (const std::bad_alloc&) {
        // Only the copy that a save makes of the text ran short: the text itself stays.
        ShowError(tr("Not saved: %1; the text here is kept")
                      .arg(FailureText(NotEnoughMemory("make the bytes to save"))));
        return false;
    }
}

bool EditorWindow::WriteTo(const QString& path) {
    QTextDocument& text = *m_edit->document();
    TextDocument next = m_document.WithLines(CollectLines(text));
    const Result<QByteArray> bytes = next.ToBytes();
    if (!bytes.ok()) {
        ShowError(tr("Not saved: %1").arg(FailureText(bytes.failure())));
        if (const std::optional<TextPlace> place = bytes.failure().place) {
            QTextCursor cursor(text.findBlockByNumber(static_cast<int>(place->line)));
            cursor.setPosition(cursor.position() + static_cast<int>(place->column));
            m_edit->setTextCursor(cursor);
        }
        return false;
    }
    // Another editor, or another copy of this one, may have saved the file since we read it;
    // writing now would silently undo that.
    if (path == m_path && m_disk.ChangedAt(path)) {
        const bool gone = !PathExists(path);
        const QString question =
            gone ? tr("%1 was removed or moved away after it was opened here. Save it again?")
                 : tr("%1 was changed on disk after it was opened here, perhaps by another "
                      "editor. Save anyway and replace those changes?");
        if (!m_askOverwrite(question.arg(ShownPath(path)))) {
            ShowError((gone ? tr("Not saved: %1 is gone; the text here is kept")
                            : tr("Not saved: %1 was changed on disk; the changes here are kept"))
                          .arg(ShownPath(path)));
            return false;
        }
    }
    const QByteArray& written = bytes.value();
    if (const Result<void> saved = WriteFileBytes(path, written); !saved.ok()) {
        ShowError(FailureText(saved.failure()));
        return false;
    }
    m_disk = DiskState::Of(path, written);
    m_document = std::move(next);
    text.setModified(false);
    statusBar()->showMessage(tr("Saved %1").arg(ShownPath(path)), 5000);
    return true;
}

namespace {

// A name in `folder` for kept changes of the file `name` that no earlier ones have: a second
// end before the first copy was looked at must not replace it, and the home folder may get the
// changes of files of one name from several folders.
QString FreePlace(const QDir& folder, const QString& name) {
    QString place = folder.filePath(name + QStringLiteral(".unsaved"));
    for (int n = 2; PathExists(place) && n < 1000; ++n)
        place = folder.filePath(QStringLiteral("%1.%2.unsaved").arg(name).arg(n));
    return place;
}

} // namespace

QStringList KeptCopies(const QString& path) {
    const QFileInfo file(path);
    const QString name = file.fileName();
    // FILE.unsaved or FILE.N.unsaved, as FreePlace names them.
    const auto isCopy = [&name](const QString& candidate) {
        if (!candidate.startsWith(name + QLatin1Char('.')))
            return false;
        const QString rest = candidate.mid(name.size() + 1);
        const QString number = rest.chopped(std::min<qsizetype>(rest.size(), 8));
        return rest == QStringLiteral("unsaved") ||
               (rest.endsWith(QStringLiteral(".unsaved")) && !number.isEmpty() &&
                std::all_of(number.begin(), number.end(), [](QChar c) { return c.isDigit(); }));
    };
    // Listed by their bytes: a name that is not UTF-8 is matched as the editor holds it.
    std::vector<std::pair<qint64, QString>> found;
    QStringList folders{QDir::cleanPath(file.absolutePath())};
    if (const QString home = QDir::cleanPath(QDir::homePath()); home != folders.front())
        folders.push_back(home);
    for (const QString& folder : folders) {
        for (const FolderFile& entry : FilesIn(folder))
            if (isCopy(entry.name))
                found.emplace_back(entry.modifiedNs, QDir(folder).filePath(entry.name));
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    QStringList newestFirst;
    for (auto& [modified, copy] : found)
        newestFirst.push_back(std::move(copy));
    return newestFirst;
}

void EditorWindow::NameKeptCopies(const QString& path) {
    // Changes kept at an earlier end by a signal are easy to forget.
    const QStringList kept = KeptCopies(path);
    if (kept.isEmpty())
        return;
    const QString where = ShownPath(kept.front());
    const QString note = tr("Changes not saved when an editor was ended are kept in %1");
    const QString text =
        kept.size() == 1 ? note.arg(where)
                         : tr("%1 (the newest of %2 copies)").arg(note.arg(where)).arg(kept.size());
    // After what the status bar says already (that the file is not there, say), not instead.
    const QString shown = statusBar()->currentMessage();
    statusBar()->showMessage(shown.isEmpty() ? text : shown + QStringLiteral("; ") + text);
}

Result<QString> EditorWindow::KeepUnsaved() {
    if (IsReadOnly() || !m_edit->document()->isModified())
        return QString();
    const TextDocument edited = m_document.WithLines(CollectLines(*m_edit->document()));
    Result<QByteArray> bytes = edited.ToBytes();
    // A character the file's encoding cannot hold must not cost every change: the copy is then
    // written as UTF-8, which holds them all.
    if (!bytes.ok())
        bytes = edited.InUtf8().ToBytes();
    if (!bytes.ok())
        return bytes.failure();
    // An edit undone by hand leaves the text as the file holds it: nothing to keep.
    if (!m_path.isEmpty() && m_disk.Held(bytes.value()) && !m_disk.ChangedAt(m_path))
        return QString();
    // Beside the file; where its folder has gone or refuses a new file, in the home folder. Only
    // the owner may read the copy: the file may be one that others must not.
    constexpr mode_t ownerOnly = 0600;
    const QFileInfo file(m_path.isEmpty() ? QStringLiteral("untitled") : m_path);
    if (!m_path.isEmpty()) {
        const QString beside = FreePlace(file.dir(), file.fileName());
        if (WriteFileBytes(beside, bytes.value(), ownerOnly).ok())
            return beside;
    }
    const QString home = FreePlace(QDir::home(), file.fileName());
    if (const Result<void> written = WriteFileBytes(home, bytes.value(), ownerOnly); !written.ok())
        return written.failure();
    return home;
}

void EditorWindow::closeEvent(QCloseEvent* event) {
    if (IsReadOnly() || !m_edit->document()->isModified()) {
        event->accept();
        return;
    }
    const QMessageBox::StandardButton answer = QMessageBox::warning(
        this, tr("Unsaved changes"), tr("Save the changes before closing?"),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Discard || (answer == QMessageBox::Save && Save()))
        event->accept();
    else
        event->ignore();
}

void EditorWindow::OpenGoToLine() {
    m_find->hide();
    m_goToLine->Open(IsReadOnly() ? std::max<qint64>(1, m_large->LineCount())
                                  : LineCount(*m_edit->document()));
}

void EditorWindow::GoToLine(qint64 line) {
    if (IsReadOnly()) {
        m_large->GoToLine(line - 1);
        CloseBar(m_goToLine);
        return;
    }
    const int count = LineCount(*m_edit->document());
    const auto number = static_cast<int>(std::clamp<qint64>(line, 1, count));
    m_edit->setTextCursor(QTextCursor(m_edit->document()->findBlockByNumber(number - 1)));
    m_edit->centerCursor();
    CloseBar(m_goToLine);
}

void EditorWindow::CloseBar(QWidget* bar) {
    bar->hide();
    FocusText();
}

void EditorWindow::FocusText() {
    (IsReadOnly() ? static_cast<QWidget*>(m_large) : m_edit)->setFocus(Qt::OtherFocusReason);
}

void EditorWindow::OpenFind() {
    m_goToLine->hide();
    m_find->Open();
}

void EditorWindow::Find(SearchDirection direction) {
    const QString needle = m_find->Text();
    if (needle.isEmpty()) {
        OpenFind();
        return;
    }
    const TextPlace from = SearchStart(direction);
    std::optional<FoundText> found;
    if (IsReadOnly()) {
        // Millions of lines take seconds: the window is painted meanwhile and says how far the
        // search is; keys and clicks wait, so the lines cannot change under it.
        QElapsedTimer sincePaint;
        sincePaint.start();
        const qint64 lines = m_large->LineCount();
        const QString before = statusBar()->currentMessage();
        bool told = false;
        const auto looked = [&](qint64 count) {
            if (sincePaint.elapsed() < 16)
                return;
            statusBar()->showMessage(tr("Searching... %1%").arg(count * 100 / lines));
            told = true;
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            sincePaint.restart();
        };
        const auto lineText = [this](qint64 line) { return m_large->LineText(line); };
        try {
            found = FindText(lines, lineText, from, needle, direction, looked);
        } catch (const std::bad_alloc&) {
            // A line of a hundred MB is decoded whole to be searched.
            ShowError(
                tr("Search stopped: %1").arg(FailureText(NotEnoughMemory("search this file"))));
            return;
        }
        if (told)
            statusBar()->showMessage(before);
    } else {
        const QTextDocument* text = m_edit->document();
        const auto lineText = [text](qint64 line) {
            return text->findBlockByNumber(static_cast<int>(line)).text();
        };
        found = FindText(text->blockCount(), lineText, from, needle, direction);
    }
    m_find->ShowFound(found.has_value());
    if (found)
        SelectMatch(*found);
}

TextPlace EditorWindow::SearchStart(SearchDirection direction) const {
    const bool forward = direction == SearchDirection::Forward;
    if (IsReadOnly()) {
        const std::optional<FoundText>& match = m_large->Match();
        if (!match)
            return {m_large->CaretLine(), 0};
        return {match->line, match->column + (forward ? match->length : 0)};
    }
    const QTextCursor caret = m_edit->textCursor();
    QTextCursor from(m_edit->document());
    from.setPosition(forward ? caret.selectionEnd() : caret.selectionStart());
    return {from.blockNumber(), from.positionInBlock()};
}

void EditorWindow::SelectMatch(const FoundText& match) {
    if (IsReadOnly()) {
        m_large->ShowMatch(match);
        UpdatePosition();
        return;
    }
    QTextCursor cursor(m_edit->document()->findBlockByNumber(static_cast<int>(match.line)));
    const int start = cursor.position() + static_cast<int>(match.column);
    cursor.setPosition(start);
    cursor.setPosition(start + static_cast<int>(match.length), QTextCursor::KeepAnchor);
    m_edit->setTextCursor(cursor);
    m_edit->ensureCursorVisible();
}

void EditorWindow::UpdatePosition() {
    const QTextCursor cursor = m_edit->textCursor();
    QString position;
    if (IsReadOnly()) {
        // The caret there is a whole line; a match shown on it puts the column after the match,
        // as a selection's end does in the editable text.
        const std::optional<FoundText>& match = m_large->Match();
        const qsizetype column = match ? match->column + match->length : 0;
        position = tr("Ln %1, Col %2").arg(m_large->CaretLine() + 1).arg(column + 1);
    } else {
        position =
            tr("Ln %1, Col %2").arg(cursor.blockNumber() + 1).arg(cursor.positionInBlock() + 1);
    }
    m_position->setText(position);
    if (!IsReadOnly())
        HighlightCaretLine(cursor);
    // "[*]" in a file name is doubled so Qt shows it literally instead of taking it for ours.
    QString name = m_path.isEmpty() ? tr("Untitled") : FileName();
    name.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(QStringLiteral("%1[*] - %2").arg(name, position));

    // Text typed right after a placeholder would take on its format; give it the plain one.
    if (!cursor.hasSelection() && IsPlaceholderFormat(m_edit->currentCharFormat()))
        m_edit->setCurrentCharFormat(QTextCharFormat());
}

// The line the viewer sent us to stays easy to spot after the caret blinks off.
void EditorWindow::HighlightCaretLine(const QTextCursor& cursor) {
    QTextEdit::ExtraSelection line;
    line.format.setBackground(palette().color(QPalette::Highlight).lighter(185));
    line.format.setProperty(QTextFormat::FullWidthSelection, true);
    line.cursor = cursor;
    line.cursor.clearSelection();
    m_edit->setExtraSelections({line});
}

QString EditorWindow::FileName() const {
    return ShownPath(QStringView(m_path).sliced(m_path.lastIndexOf(QLatin1Char('/')) + 1));
}

void EditorWindow::UpdateFormatLabel() {
    if (IsReadOnly()) {
        m_format->setText(tr("%1  read-only").arg(EncodingName(m_large->Encoding())));
        return;
    }
    const FileFormat& format = m_document.Format();
    m_format->setText(QStringLiteral("%1%2  %3")
                          .arg(EncodingName(format.encoding),
                               format.hasBom ? QStringLiteral(" BOM") : QString(),
                               LineEndName(format.newLineEnd)));
}

} // namespace ini
