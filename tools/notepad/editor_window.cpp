#include "editor_window.h"

#include "block_lines.h"
#include "goto_line_bar.h"
#include "text_file.h"

#include <QAction>
#include <QCloseEvent>
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
#include <string_view>

namespace ini {

namespace {

QString EncodingName(TextEncoding encoding) {
    return encoding == TextEncoding::Utf8 ? QStringLiteral("UTF-8")
                                          : QStringLiteral("Windows-1252");
}

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

} // namespace

EditorWindow::EditorWindow(QWidget* parent)
    : QMainWindow(parent), m_edit(new QPlainTextEdit(this)), m_goToLine(new GoToLineBar(this)),
      m_position(new QLabel(this)), m_format(new QLabel(this)) {
    m_edit->setObjectName(QStringLiteral("text"));
    m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_goToLine);
    setCentralWidget(central);

    m_position->setObjectName(QStringLiteral("position"));
    statusBar()->addPermanentWidget(m_format);
    statusBar()->addPermanentWidget(m_position);
    CreateActions();

    connect(m_edit, &QPlainTextEdit::cursorPositionChanged, this, &EditorWindow::UpdatePosition);
    connect(m_edit->document(), &QTextDocument::modificationChanged, this,
            &EditorWindow::OnModificationChanged);
    connect(m_goToLine, &GoToLineBar::lineRequested, this, &EditorWindow::GoToLine);
    connect(m_goToLine, &GoToLineBar::dismissed, this, &EditorWindow::CloseGoToLine);

    ShowLines(*m_edit->document(), m_document.Lines());
    UpdatePosition();
    UpdateFormatLabel();
    m_edit->setFocus();
    resize(800, 600);
}

void EditorWindow::CreateActions() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("&Save"), this, &EditorWindow::Save)->setShortcut(QKeySequence::Save);
    file->addAction(tr("Save &As..."), this, &EditorWindow::SaveAs)
        ->setShortcut(QKeySequence::SaveAs);
    file->addSeparator();
    file->addAction(tr("&Quit"), this, &QWidget::close)->setShortcut(QKeySequence::Quit);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    edit->addAction(tr("&Go to Line..."), this, &EditorWindow::OpenGoToLine)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
}

void EditorWindow::Open(const QString& path) {
    m_path = path;
    m_saveRefusal.clear();
    const std::variant<QByteArray, FileError> read = ReadFileBytes(path);
    if (const auto* error = std::get_if<FileError>(&read)) {
        m_document = TextDocument();
        if (error->missing) {
            ShowError(tr("%1; saving creates it").arg(error->message));
        } else {
            m_saveRefusal = tr("Not saved: %1 could not be opened, and saving would overwrite it. "
                               "Use Save As.")
                                .arg(path);
            ShowError(error->message);
        }
    } else {
        const QByteArray& bytes = std::get<QByteArray>(read);
        m_document = TextDocument::FromBytes(
            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        statusBar()->clearMessage();
    }
    ShowLines(*m_edit->document(), m_document.Lines());
    m_edit->moveCursor(QTextCursor::Start);
    UpdatePosition();
    UpdateFormatLabel();
}

void EditorWindow::ShowError(const QString& message) {
    statusBar()->showMessage(message);
}

bool EditorWindow::Save() {
    if (m_path.isEmpty())
        return SaveAs();
    if (!m_saveRefusal.isEmpty()) {
        ShowError(m_saveRefusal);
        return false;
    }
    return SaveTo(m_path);
}

bool EditorWindow::SaveAs() {
    const QString path = QFileDialog::getSaveFileName(this, tr("Save As"), m_path);
    if (path.isEmpty() || !SaveTo(path))
        return false;
    m_path = path;
    m_saveRefusal.clear();
    UpdatePosition();
    return true;
}

bool EditorWindow::SaveTo(const QString& path) {
    QTextDocument& text = *m_edit->document();
    TextDocument next = m_document.WithLines(CollectLines(text));
    const std::variant<QByteArray, EncodeError> bytes = next.ToBytes();
    if (const auto* error = std::get_if<EncodeError>(&bytes)) {
        ShowError(tr("Not saved: line %1, column %2 holds U+%3, which %4 cannot store")
                      .arg(error->line + 1)
                      .arg(error->column + 1)
                      .arg(static_cast<uint>(error->character), 4, 16, QLatin1Char('0'))
                      .arg(EncodingName(next.Format().encoding)));
        QTextCursor cursor(text.findBlockByNumber(static_cast<int>(error->line)));
        cursor.setPosition(cursor.position() + static_cast<int>(error->column));
        m_edit->setTextCursor(cursor);
        return false;
    }
    if (const std::optional<FileError> error = WriteFileBytes(path, std::get<QByteArray>(bytes))) {
        ShowError(error->message);
        return false;
    }
    m_document = std::move(next);
    TagLineEnds(text, m_document.Lines());
    text.setModified(false);
    statusBar()->showMessage(tr("Saved %1").arg(path), 5000);
    return true;
}

void EditorWindow::closeEvent(QCloseEvent* event) {
    if (!m_edit->document()->isModified()) {
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
    m_goToLine->Open(m_edit->document()->blockCount());
}

void EditorWindow::GoToLine(qint64 line) {
    const int count = m_edit->document()->blockCount();
    const auto number = static_cast<int>(std::clamp<qint64>(line, 1, count));
    m_edit->setTextCursor(QTextCursor(m_edit->document()->findBlockByNumber(number - 1)));
    m_edit->centerCursor();
    CloseGoToLine();
}

void EditorWindow::CloseGoToLine() {
    m_goToLine->hide();
    m_edit->setFocus(Qt::OtherFocusReason);
}

void EditorWindow::UpdatePosition() {
    const QTextCursor cursor = m_edit->textCursor();
    const QString position =
        tr("Ln %1, Col %2").arg(cursor.blockNumber() + 1).arg(cursor.positionInBlock() + 1);
    m_position->setText(position);
    HighlightCaretLine(cursor);
    // "[*]" in a file name is doubled so Qt shows it literally instead of taking it for ours.
    QString name = m_path.isEmpty() ? tr("Untitled") : QFileInfo(m_path).fileName();
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

void EditorWindow::UpdateFormatLabel() {
    const FileFormat& format = m_document.Format();
    m_format->setText(QStringLiteral("%1%2  %3")
                          .arg(EncodingName(format.encoding),
                               format.hasBom ? QStringLiteral(" BOM") : QString(),
                               LineEndName(format.newLineEnd)));
}

void EditorWindow::OnModificationChanged(bool modified) {
    setWindowModified(modified);
    // Undo back to the saved text does not undo the moves of block tags that Qt makes when
    // lines are split and joined; the text is the saved one again, so are its terminators.
    if (!modified)
        TagLineEnds(*m_edit->document(), m_document.Lines());
}

} // namespace ini
