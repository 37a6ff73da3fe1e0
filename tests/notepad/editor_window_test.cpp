#include "notepad/editor_window.h"
#include "notepad/large_file_view.h"
#include "notepad/path_text.h"
#include "notepad/remote_control.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QWindow>
#include <QtTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace ini;

namespace {

const QByteArray kFiveLines =
    "Object Alpha\r\n  Speed = 10 ; comment\r\n  Name = x\r\nEnd\r\nEnd\r\n";

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// The title as the window system shows it, "[*]" already turned into "*" or nothing.
QString ShownTitle(const QWidget& window) {
    return window.windowHandle()->title();
}

QWidget* Focused() {
    return QApplication::focusWidget();
}

// The text edit's selection as "line:column text", line and column counted from 1.
QString Selection(const QPlainTextEdit& text) {
    const QTextCursor cursor = text.textCursor();
    QTextCursor start(text.document());
    start.setPosition(cursor.selectionStart());
    return QString("%1:%2 %3")
        .arg(start.blockNumber() + 1)
        .arg(start.positionInBlock() + 1)
        .arg(cursor.selectedText());
}

QAction& Action(const QWidget& window, const char* name) {
    auto* action = window.findChild<QAction*>(name);
    if (!action)
        qFatal("no action %s", name);
    return *action;
}

// Key events with text QTest cannot type (it narrows characters to Latin-1).
void TypeText(QWidget* widget, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
}

} // namespace

class EditorWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void opensAwkwardPaths_data();
    void opensAwkwardPaths();
    void goToLine_data();
    void goToLine();
    void goToLineFieldTakesDigitsOnly();
    void goToLineClosesWithoutMoving_data();
    void goToLineClosesWithoutMoving();
    void secondCtrlGStartsAFreshNumber();

    void typingMarksTitleAndSaveClearsIt();
    void undoToSavedTextKeepsLineEnds();
    void pilcrowTypedNextToPlaceholderStaysPilcrow();
    void unencodableCharacterIsNotSaved();
    void missingFileIsCreatedOnSave();
    void unreadFileIsNeverOverwritten();
    void editsThatGiveBackTheTextKeepTheBytes_data();
    void editsThatGiveBackTheTextKeepTheBytes();
    void cutAndPasteKeepTheBytes_data();
    void cutAndPasteKeepTheBytes();
    void clipboardCarriesTheCharacters();
    void pastePastTheEditableSizesIsTurnedAway();
    void saveOverAnotherEditorsSaveAsksFirst_data();
    void saveOverAnotherEditorsSaveAsksFirst();
    void largeFileOpensReadOnly();
    void longLineOpensReadOnly();

    void undoAndRedoFromTheMenu();
    void anEndBySignalKeepsWhatWasNotSaved();
    void anEndBySignalKeepsChangesWhateverTheNameAndTheCharacters();
    void findStepsThroughMatchesAndWraps();
    void findWithoutMatchLeavesTheCaret();
    void findInReadOnlyView();

private:
    QString WriteFile(const QString& name, const QByteArray& bytes);
    EditorWindow& OpenShown(const QString& path);
    void GoTo(const QString& typed);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<EditorWindow> m_window;
};

void EditorWindowTest::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void EditorWindowTest::cleanup() {
    m_window.reset();
    m_dir.reset();
}

QString EditorWindowTest::WriteFile(const QString& name, const QByteArray& bytes) {
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write test file %s", qPrintable(path));
    return path;
}

EditorWindow& EditorWindowTest::OpenShown(const QString& path) {
    m_window = std::make_unique<EditorWindow>();
    m_window->Open(path);
    m_window->show();
    m_window->activateWindow();
    if (!QTest::qWaitForWindowActive(m_window.get()))
        qWarning("editor window did not become active");
    return *m_window;
}

// What the viewer types: Ctrl+G, the digits, Enter, each to whatever has the focus then.
void EditorWindowTest::GoTo(const QString& typed) {
    QTest::keyClick(Focused(), Qt::Key_G, Qt::ControlModifier);
    QTest::keyClicks(Focused(), typed);
    QTest::keyClick(Focused(), Qt::Key_Return);
}

void EditorWindowTest::opensAwkwardPaths_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("spaces") << "my data file.ini";
    QTest::newRow("quotes") << "it's \"quoted\".ini";
    QTest::newRow("shell syntax") << "a; b $(touch pwned) `x`.ini";
    QTest::newRow("title placeholder") << "odd[*]name.ini";
}

void EditorWindowTest::opensAwkwardPaths() {
    QFETCH(QString, name);
    EditorWindow& window = OpenShown(WriteFile(name, kFiveLines));
    const auto* text = window.findChild<QPlainTextEdit*>("text");
    // Five lines, and the empty place after the last one's end.
    QCOMPARE(text->document()->blockCount(), 6);
    QCOMPARE(text->document()->findBlockByNumber(1).text(), "  Speed = 10 ; comment");
    QCOMPARE(ShownTitle(window), name + " - Ln 1, Col 1");
    QCOMPARE(window.findChild<QLabel*>("position")->text(), "Ln 1, Col 1");
    QVERIFY(window.statusBar()->currentMessage().isEmpty());
}

void EditorWindowTest::goToLine_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("line");
    QTest::newRow("middle") << "3" << 3;
    QTest::newRow("first") << "1" << 1;
    QTest::newRow("last") << "5" << 5;
    QTest::newRow("leading zeros") << "004" << 4;
    QTest::newRow("zero goes to the first") << "0" << 1;
    QTest::newRow("past the end goes to the last") << "6" << 5;
    QTest::newRow("beyond any integer") << "99999999999999999999999" << 5;
}

void EditorWindowTest::goToLine() {
    QFETCH(QString, typed);
    QFETCH(int, line);
    EditorWindow& window = OpenShown(WriteFile("five.ini", kFiveLines));
    auto* text = window.findChild<QPlainTextEdit*>("text");
    // Start mid-line elsewhere so the column shows the caret went to the line's start.
    QTextCursor start(text->document()->findBlockByNumber(1));
    start.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 4);
    text->setTextCursor(start);

    QTest::keyClick(Focused(), Qt::Key_G, Qt::ControlModifier);
    QCOMPARE(Focused()->objectName(), "goToLineField");
    QTest::keyClicks(Focused(), typed);
    QTest::keyClick(Focused(), Qt::Key_Return);

    QCOMPARE(ShownTitle(window), QString("five.ini - Ln %1, Col 1").arg(line));
    QCOMPARE(text->textCursor().blockNumber(), line - 1);
    QCOMPARE(text->textCursor().positionInBlock(), 0);
    QVERIFY(!window.findChild<QWidget*>("goToLineBar")->isVisible());
    QCOMPARE(Focused(), text);
}

void EditorWindowTest::goToLineFieldTakesDigitsOnly() {
    OpenShown(WriteFile("five.ini", kFiveLines));
    QTest::keyClick(Focused(), Qt::Key_G, Qt::ControlModifier);
    QTest::keyClicks(Focused(), "1a-2 +");
    QCOMPARE(qobject_cast<QLineEdit*>(Focused())->text(), "12");
}

void EditorWindowTest::goToLineClosesWithoutMoving_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("key");
    QTest::newRow("escape") << "4" << int(Qt::Key_Escape);
    QTest::newRow("enter on an empty field") << "" << int(Qt::Key_Return);
}

void EditorWindowTest::goToLineClosesWithoutMoving() {
    QFETCH(QString, typed);
    QFETCH(int, key);
    EditorWindow& window = OpenShown(WriteFile("five.ini", kFiveLines));
    auto* text = window.findChild<QPlainTextEdit*>("text");
    text->setTextCursor(QTextCursor(text->document()->findBlockByNumber(1)));

    QTest::keyClick(Focused(), Qt::Key_G, Qt::ControlModifier);
    QTest::keyClicks(Focused(), typed);
    QTest::keyClick(Focused(), static_cast<Qt::Key>(key));

    QCOMPARE(ShownTitle(window), "five.ini - Ln 2, Col 1");
    QVERIFY(!window.findChild<QWidget*>("goToLineBar")->isVisible());
    QCOMPARE(Focused(), text);
}

void EditorWindowTest::secondCtrlGStartsAFreshNumber() {
    EditorWindow& window = OpenShown(WriteFile("five.ini", kFiveLines));
    QTest::keyClick(Focused(), Qt::Key_G, Qt::ControlModifier);
    QTest::keyClicks(Focused(), "12");
    GoTo("3");
    QCOMPARE(ShownTitle(window), "five.ini - Ln 3, Col 1");
}

void EditorWindowTest::typingMarksTitleAndSaveClearsIt() {
    const QString path = WriteFile("edit me.ini", kFiveLines);
    EditorWindow& window = OpenShown(path);
    GoTo("4");
    QTest::keyClicks(Focused(), "x");
    QCOMPARE(ShownTitle(window), "edit me.ini* - Ln 4, Col 2");
    QTest::keyClick(Focused(), Qt::Key_Return);
    QTest::keyClicks(Focused(), "y");

    QTest::keyClick(Focused(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(ShownTitle(window), "edit me.ini - Ln 5, Col 2");
    QCOMPARE(ReadAll(path),
             "Object Alpha\r\n  Speed = 10 ; comment\r\n  Name = x\r\nx\r\nyEnd\r\nEnd\r\n");
}

void EditorWindowTest::undoToSavedTextKeepsLineEnds() {
    const QByteArray mixed = "a\r\nb\nc\rd";
    const QString path = WriteFile("mixed.ini", mixed);
    EditorWindow& window = OpenShown(path);
    GoTo("2");
    QTest::keyClick(Focused(), Qt::Key_End);
    QTest::keyClick(Focused(), Qt::Key_Delete); // joins b and c
    QTest::keyClick(Focused(), Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(ShownTitle(window).startsWith("mixed.ini - "));

    QTest::keyClick(Focused(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(ReadAll(path).toHex(' '), mixed.toHex(' '));
}

void EditorWindowTest::pilcrowTypedNextToPlaceholderStaysPilcrow() {
    const QString path = WriteFile("sep.ini", "a\xE2\x80\xA9"
                                              "b\nc\n");
    EditorWindow& window = OpenShown(path);
    QTest::keyClick(Focused(), Qt::Key_Right);
    QTest::keyClick(Focused(), Qt::Key_Right);
    TypeText(Focused(), QString::fromUtf8("\u00B6"));
    QCOMPARE(ShownTitle(window), "sep.ini* - Ln 1, Col 4");
    GoTo("2");
    QCOMPARE(ShownTitle(window), "sep.ini* - Ln 2, Col 1");

    QTest::keyClick(Focused(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(ReadAll(path), "a\xE2\x80\xA9\xC2\xB6"
                            "b\nc\n");
}

void EditorWindowTest::unencodableCharacterIsNotSaved() {
    const QByteArray original = "Name = caf\xE9\r\nEnd\r\n";
    const QString path = WriteFile("latin.ini", original);
    EditorWindow& window = OpenShown(path);
    GoTo("2");
    TypeText(Focused(), QString::fromUtf8("\u6F22"));

    QTest::keyClick(Focused(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY2(window.statusBar()->currentMessage().contains("U+6f22"),
             qPrintable(window.statusBar()->currentMessage()));
    QCOMPARE(ReadAll(path), original);
    QCOMPARE(ShownTitle(window), "latin.ini* - Ln 2, Col 1");
}

void EditorWindowTest::missingFileIsCreatedOnSave() {
    const QString path = m_dir->filePath("new file.ini");
    EditorWindow& window = OpenShown(path);
    QVERIFY(window.statusBar()->currentMessage().contains("does not exist"));
    QCOMPARE(ShownTitle(window), "new file.ini - Ln 1, Col 1");

    QTest::keyClicks(Focused(), "Object A");
    QTest::keyClick(Focused(), Qt::Key_Return);
    QTest::keyClicks(Focused(), "End");
    QTest::keyClick(Focused(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(ReadAll(path), "Object A\nEnd");

    // A save makes no folder: the promise is not made where it cannot be kept.
    EditorWindow& other = OpenShown(m_dir->filePath("no folder/x.ini"));
    const QString said = other.statusBar()->currentMessage();
    QVERIFY2(said.contains("no folder") && !said.contains("saving creates it"), qPrintable(said));
}

// A file that exists but was not read (here: beyond what any view can hold) shows as empty;
// saving that over it would destroy it.
void EditorWindowTest::unreadFileIsNeverOverwritten() {
    const QString path = WriteFile("huge.ini", "x");
    constexpr qint64 size = (qint64{4} << 30) + 1;
    {
        QFile file(path);
        if (!file.resize(size)) // sparse: costs no disk
            QSKIP("this file system cannot hold a sparse 4 GiB file");
    }
    EditorWindow& window = OpenShown(path);
    QVERIFY2(window.statusBar()->currentMessage().startsWith("Cannot "),
             qPrintable(window.statusBar()->currentMessage()));

    QTest::keyClicks(Focused(), "typed");
    QTest::keyClick(Focused(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(window.statusBar()->currentMessage().startsWith("Not saved"));
    QCOMPARE(QFileInfo(path).size(), size);
    QCOMPARE(ShownTitle(window), "huge.ini* - Ln 1, Col 6");
}

void EditorWindowTest::editsThatGiveBackTheTextKeepTheBytes_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QList<int>>("keys");
    QTest::newRow("join at the end of a line, then split there")
        << "2" << QList<int>{Qt::Key_End, Qt::Key_Delete, Qt::Key_Return};
    QTest::newRow("split inside a line, then join")
        << "3" << QList<int>{Qt::Key_Right, Qt::Key_Return, Qt::Key_Backspace};
    QTest::newRow("join to the line above, then split")
        << "4" << QList<int>{Qt::Key_Backspace, Qt::Key_Return};
    QTest::newRow("empty a line, then type it again")
        << "2" << QList<int>{Qt::Key_End, Qt::Key_Backspace, Qt::Key_B};
}

// Lines with three different ends, each kept through edits whose result reads as loaded.
void EditorWindowTest::editsThatGiveBackTheTextKeepTheBytes() {
    QFETCH(QString, line);
    QFETCH(QList<int>, keys);
    const QByteArray mixed = "a\r\nb\ncc\rd\r\ne\n";
    const QString path = WriteFile("mixed.ini", mixed);
    EditorWindow& window = OpenShown(path);
    GoTo(line);
    for (const int key : keys)
        QTest::keyClick(Focused(), static_cast<Qt::Key>(key));
    QVERIFY(ShownTitle(window).startsWith("mixed.ini* - "));

    QTest::keyClick(Focused(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(ReadAll(path).toHex(' '), mixed.toHex(' '));
}

void EditorWindowTest::cutAndPasteKeepTheBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("keys");
    QTest::newRow("line and paragraph separators") << QByteArray("Name = a\xE2\x80\xA8"
                                                                 "b\nTag = c\xE2\x80\xA9"
                                                                 "d\n")
                                                   << "^a^x^v";
    QTest::newRow("frame marks and a no-break space") << QByteArray("a\xEF\xB7\x90"
                                                                    "b\xEF\xB7\x91\r\nc\xC2\xA0"
                                                                    "d\r\n")
                                                      << "^a^x^v";
    QTest::newRow("8-bit no-break space") << QByteArray("caf\xE9\xA0x\r\nEnd\r\n") << "^a^x^v";
    QTest::newRow("placeholder glyphs beside what they stand for")
        << QByteArray("\xC2\xB6\xE2\x80\xA9\xE2\x86\xB5\xE2\x80\xA8\n") << "^a^x^v";
    QTest::newRow("a line moved down and back") << QByteArray("Tag = c\xE2\x80\xA9"
                                                              "d\nName = a\xE2\x80\xA8"
                                                              "b\nEnd\n")
                                                << "+{DOWN}^x{DOWN}^v{UP}+{DOWN}^x{UP}^v";
}

// Text that goes out through the clipboard and comes back in is the text that went out.
void EditorWindowTest::cutAndPasteKeepTheBytes() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, keys);
    const QString path = WriteFile("pasted.ini", bytes);
    EditorWindow& window = OpenShown(path);
    QVERIFY(TypeInto(window, keys.toStdString()).ok());
    QVERIFY(ShownTitle(window).startsWith("pasted.ini* - "));

    QTest::keyClick(Focused(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(ReadAll(path).toHex(' '), bytes.toHex(' '));
}

// Other programs get the file's characters, and theirs arrive as themselves.
void EditorWindowTest::clipboardCarriesTheCharacters() {
    const QString path = WriteFile("shared.ini", "Name = a\xE2\x80\xA8"
                                                 "b\nTag = c\xE2\x80\xA9"
                                                 "d\n");
    EditorWindow& window = OpenShown(path);
    QVERIFY(TypeInto(window, "^a^c").ok());
    QCOMPARE(QApplication::clipboard()->text(),
             QStringLiteral("Name = a\u2028b\nTag = c\u2029d\n"));

    QApplication::clipboard()->setText(QStringLiteral("x\u2028y\u2029z\uFDD0\r\nw"));
    // Pasted after the final line end: on a line of its own, the last without an end.
    QVERIFY(TypeInto(window, "^{END}^v^s").ok());
    QCOMPARE(window.findChild<QPlainTextEdit*>("text")->document()->blockCount(), 4);
    QCOMPARE(ReadAll(path), "Name = a\xE2\x80\xA8"
                            "b\nTag = c\xE2\x80\xA9"
                            "d\nx\xE2\x80\xA8y\xE2\x80\xA9z\xEF\xB7\x90\nw");
}

// A paste may not take the text past what a file opens editable at: the text widget would need
// memory by the hundred MB and fail inside Qt when it runs out. Pasting over a selection counts
// what it replaces.
void EditorWindowTest::pastePastTheEditableSizesIsTurnedAway() {
    const QString path = WriteFile("grown.ini", "Object A\nEnd\n");
    EditorWindow& window = OpenShown(path);
    const QPlainTextEdit* text = window.findChild<QPlainTextEdit*>("text");
    QApplication::clipboard()->setText(QString(QStringLiteral("x\n")).repeated(kMaxEditableLines));
    QVERIFY(TypeInto(window, "^{END}^v").ok());
    QCOMPARE(text->document()->blockCount(), 3);
    QVERIFY2(window.statusBar()->currentMessage().startsWith("Not pasted"),
             qPrintable(window.statusBar()->currentMessage()));
    QApplication::clipboard()->setText(QString(kLargeFileBytes + 1, QLatin1Char('y')));
    QVERIFY(TypeInto(window, "^v").ok());
    QCOMPARE(text->document()->characterCount(), 14);
    // Just within the limit, over all the text, it goes in.
    QApplication::clipboard()->setText(
        QString(QStringLiteral("x\n")).repeated(kMaxEditableLines - 1));
    QVERIFY(TypeInto(window, "^a^v").ok());
    QCOMPARE(text->document()->blockCount(), static_cast<int>(kMaxEditableLines));
}

void EditorWindowTest::saveOverAnotherEditorsSaveAsksFirst_data() {
    QTest::addColumn<bool>("answer");
    QTest::newRow("keep the other save") << false;
    QTest::newRow("save anyway") << true;
}

// Two editors on one file: the second save would silently undo the first.
void EditorWindowTest::saveOverAnotherEditorsSaveAsksFirst() {
    QFETCH(bool, answer);
    const QString path = WriteFile("shared.ini", kFiveLines);
    EditorWindow other;
    other.Open(path);
    EditorWindow& window = OpenShown(path);
    QStringList asked;
    const auto ask = [&](const QString& question) {
        asked << question;
        return answer;
    };
    other.SetOverwriteQuestion(ask);
    window.SetOverwriteQuestion(ask);

    other.GoToLine(5);
    QTest::keyClicks(other.findChild<QPlainTextEdit*>("text"), "other ");
    QVERIFY(other.Save());
    QVERIFY(other.Save()); // its own save is no change on disk
    QVERIFY(asked.isEmpty());
    const QByteArray otherBytes = ReadAll(path);

    QTest::keyClicks(Focused(), "mine ");
    QCOMPARE(window.Save(), answer);
    QCOMPARE(asked.size(), 1);
    QVERIFY(asked[0].contains(path));
    QCOMPARE(ReadAll(path), answer ? "mine " + kFiveLines : otherBytes);
    QCOMPARE(ShownTitle(window).startsWith("shared.ini* - "), !answer);
    if (!answer)
        QVERIFY(window.statusBar()->currentMessage().startsWith("Not saved"));

    // A file removed since: asked again, in words that say so.
    QVERIFY(QFile::remove(path));
    QTest::keyClicks(Focused(), "again ");
    QCOMPARE(window.Save(), answer);
    QCOMPARE(asked.size(), 2);
    QVERIFY2(asked[1].contains("removed"), qPrintable(asked[1]));
    QCOMPARE(QFile::exists(path), answer);
}

// Above the size the text widget handles well, the file is shown read-only, line for line as
// the viewer cuts it, and go-to-line works as always.
void EditorWindowTest::largeFileOpensReadOnly() {
    QByteArray bytes;
    bytes.reserve(kLargeFileBytes + 64);
    for (int line = 1; bytes.size() <= kLargeFileBytes; ++line)
        bytes += "Line " + QByteArray::number(line) + (line % 2 ? "\r\n" : "\n");
    const qint64 lines = bytes.count('\n');
    const QString path = WriteFile("big.ini", bytes);
    EditorWindow& window = OpenShown(path);
    const QString message = window.statusBar()->currentMessage();
    QVERIFY2(message.startsWith("Large files open read-only") &&
                 message.contains(QString("holds %1 bytes").arg(bytes.size())),
             qPrintable(message));
    QCOMPARE(window.statusBar()->toolTip(), message); // the bar may cut it short
    QCOMPARE(ShownTitle(window), "big.ini - Ln 1, Col 1");
    auto* view = window.findChild<LargeFileView*>();
    QCOMPARE(Focused(), view);
    QCOMPARE(view->LineCount(), lines);

    GoTo(QString::number(lines - 7));
    QCOMPARE(ShownTitle(window), QString("big.ini - Ln %1, Col 1").arg(lines - 7));
    QCOMPARE(Focused(), view);
    QTest::keyClick(Focused(), Qt::Key_Down);
    QCOMPARE(view->CaretLine(), lines - 7);
    // The caret line is highlighted right across the view, text or no text.
    const QImage shown = view->viewport()->grab().toImage();
    const int row = static_cast<int>(view->CaretLine() - view->verticalScrollBar()->value());
    const int y = row * view->fontMetrics().lineSpacing() + 1;
    const QRgb highlight = view->palette().color(QPalette::Highlight).lighter(185).rgb();
    QCOMPARE(shown.pixel(shown.width() - 3, y), highlight);
    QVERIFY(shown.pixel(shown.width() - 3, y + view->fontMetrics().lineSpacing()) != highlight);

    QTest::keyClicks(Focused(), "typed");
    QTest::keyClick(Focused(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(ShownTitle(window), QString("big.ini - Ln %1, Col 1").arg(lines - 6));
    QCOMPARE(ReadAll(path), bytes);
}

// One line too long for the text widget to repaint at every caret blink; and UTF-16 text,
// shown byte for byte, where a character typed would shift every one after it out of step.
void EditorWindowTest::longLineOpensReadOnly() {
    EditorWindow& many = OpenShown(WriteFile("many.ini", QByteArray(kMaxEditableLines + 1, '\n')));
    QVERIFY2(many.statusBar()->currentMessage().startsWith("Files of more than"),
             qPrintable(many.statusBar()->currentMessage()));

    EditorWindow& utf16 = OpenShown(WriteFile("utf16.ini", QByteArray("O\0b\0j\0\r\0\n\0", 10)));
    QVERIFY2(utf16.statusBar()->currentMessage().startsWith("UTF-16 text opens read-only"),
             qPrintable(utf16.statusBar()->currentMessage()));
    QVERIFY(!utf16.findChild<QPlainTextEdit*>("text")->isVisible());

    const QByteArray bytes =
        "Object A\r\n  Data = " + QByteArray(kMaxEditableLineLength, 'x') + "\r\nEnd\r\n";
    EditorWindow& window = OpenShown(WriteFile("long.ini", bytes));
    QVERIFY2(window.statusBar()->currentMessage().contains("line 2 holds"),
             qPrintable(window.statusBar()->currentMessage()));
    auto* view = window.findChild<LargeFileView*>();
    QCOMPARE(view->LineCount(), 3);
    GoTo("2");
    QTest::keyClick(Focused(), Qt::Key_End);
    QCOMPARE(view->horizontalScrollBar()->value(),
             view->horizontalScrollBar()->maximum()); // the line's end is in view
    QVERIFY(view->horizontalScrollBar()->maximum() > kMaxEditableLineLength - 200);
}

// Undo and Redo follow what the text can undo, and do it when chosen from the menu.
void EditorWindowTest::undoAndRedoFromTheMenu() {
    EditorWindow& window = OpenShown(WriteFile("five.ini", kFiveLines));
    const auto* text = window.findChild<QPlainTextEdit*>("text");
    QAction& undo = Action(window, "undo");
    QAction& redo = Action(window, "redo");
    QVERIFY(!undo.isEnabled());
    QVERIFY(!redo.isEnabled());

    GoTo("2");
    QTest::keyClicks(Focused(), "ab");
    QVERIFY(undo.isEnabled());
    QVERIFY(!redo.isEnabled());

    undo.trigger();
    QCOMPARE(text->document()->findBlockByNumber(1).text(), "  Speed = 10 ; comment");
    QCOMPARE(ShownTitle(window), "five.ini - Ln 2, Col 1");
    QVERIFY(!undo.isEnabled());
    QVERIFY(redo.isEnabled());

    redo.trigger();
    QCOMPARE(text->document()->findBlockByNumber(1).text(), "ab  Speed = 10 ; comment");
    QCOMPARE(ShownTitle(window), "five.ini* - Ln 2, Col 3");
    QVERIFY(undo.isEnabled());
    QVERIFY(!redo.isEnabled());

    // Ctrl+Y redoes too, as Windows editors do.
    undo.trigger();
    QTest::keyClick(Focused(), Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(text->document()->findBlockByNumber(1).text(), "ab  Speed = 10 ; comment");
}

// A logout or a kill leaves no time to ask: what was typed and not saved goes beside the file,
// which stays as it was, in the file's own encoding and line ends.
void EditorWindowTest::anEndBySignalKeepsWhatWasNotSaved() {
    const QString path = WriteFile("kept.ini", kFiveLines);
    EditorWindow& window = OpenShown(path);
    const Result<QString> nothing = window.KeepUnsaved();
    QVERIFY(nothing.ok() && nothing.value().isEmpty());
    QVERIFY(!QFileInfo::exists(path + ".unsaved"));
    // A change undone by hand leaves nothing to keep either.
    GoTo("3");
    QTest::keyClicks(Focused(), "x");
    QTest::keyClick(Focused(), Qt::Key_Backspace);
    const Result<QString> same = window.KeepUnsaved();
    QVERIFY(same.ok() && same.value().isEmpty());
    QVERIFY(!QFileInfo::exists(path + ".unsaved"));

    GoTo("3");
    QTest::keyClicks(Focused(), "ab");
    const Result<QString> kept = window.KeepUnsaved();
    QVERIFY(kept.ok());
    QCOMPARE(kept.value(), path + ".unsaved");
    QCOMPARE(
        ReadAll(path + ".unsaved"),
        QByteArray("Object Alpha\r\n  Speed = 10 ; comment\r\nab  Name = x\r\nEnd\r\nEnd\r\n"));
    QCOMPARE(ReadAll(path), kFiveLines);
    // Named when the file is opened again; a second end keeps the first copy.
    EditorWindow again;
    again.Open(path);
    QVERIFY(again.statusBar()->currentMessage().contains(QStringLiteral("kept.ini.unsaved")));
    const Result<QString> second = window.KeepUnsaved();
    QVERIFY(second.ok());
    QCOMPARE(second.value(), path.chopped(4) + ".ini.2.unsaved");
    QVERIFY(QFileInfo::exists(path + ".unsaved"));
    QCOMPARE(KeptCopies(path).size(), 2);

    // The file's folder moved away meanwhile: the home folder takes them, beside what it holds.
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME");
    const auto restoreHome = qScopeGuard([&] { qputenv("HOME", oldHome); });
    qputenv("HOME", home.path().toUtf8());
    QFile earlier(home.filePath("kept.ini.unsaved"));
    QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier\n") == 8);
    earlier.close();
    const QString folder = QFileInfo(path).absolutePath();
    QVERIFY(QDir().rename(folder, folder + "-moved"));
    const Result<QString> moved = window.KeepUnsaved();
    QVERIFY(QDir().rename(folder + "-moved", folder));
    QVERIFY(moved.ok());
    QCOMPARE(moved.value(), home.filePath("kept.ini.2.unsaved"));
    QVERIFY(ReadAll(moved.value()).startsWith("Object Alpha\r\n"));
    QCOMPARE(ReadAll(home.filePath("kept.ini.unsaved")), "earlier\n");
}

// A name that is not UTF-8 is found again by its bytes, so a second end does not replace the
// first copy; a character the file's 8-bit encoding cannot hold makes the copy UTF-8 rather than
// losing every change.
void EditorWindowTest::anEndBySignalKeepsChangesWhateverTheNameAndTheCharacters() {
    const QString path = m_dir->filePath(PathFromBytes("caf\xE9.ini"));
    QVERIFY(WriteFileBytes(path, "Name = caf\xE9\r\nEnd\r\n").ok());
    EditorWindow& window = OpenShown(path);
    GoTo("2");
    // As an input method would type it: key clicks carry only Latin-1.
    window.findChild<QPlainTextEdit*>("text")->insertPlainText(QString::fromUtf8("\u4E2D "));
    const Result<QString> kept = window.KeepUnsaved();
    QVERIFY(kept.ok());
    QCOMPARE(kept.value(), path + ".unsaved");
    QCOMPARE(ReadFileBytes(kept.value(), 1024).value(),
             QByteArray("Name = caf\xC3\xA9\r\n\xE4\xB8\xAD End\r\n"));
    QCOMPARE(ReadFileBytes(path, 1024).value(), QByteArray("Name = caf\xE9\r\nEnd\r\n"));
    // The file may be one that others must not read.
    struct stat copy {};
    QCOMPARE(::stat(PathToBytes(kept.value()).constData(), &copy), 0);
    QCOMPARE(copy.st_mode & 0077, mode_t{0});

    const Result<QString> second = window.KeepUnsaved();
    QVERIFY(second.ok());
    QCOMPARE(second.value(), path.chopped(4) + ".ini.2.unsaved");
    QCOMPARE(KeptCopies(path).size(), 2);
    EditorWindow again;
    again.Open(path);
    QVERIFY2(again.statusBar()->currentMessage().contains(QStringLiteral("copies")),
             qPrintable(again.statusBar()->currentMessage()));
    // The file removed meanwhile, when its kept changes matter most: both are said.
    QCOMPARE(::unlink(PathToBytes(path).constData()), 0);
    EditorWindow gone;
    gone.Open(path);
    const QString said = gone.statusBar()->currentMessage();
    QVERIFY2(said.contains(QStringLiteral("saving creates it")) && said.contains("copies"),
             qPrintable(said));
}

// Matches are found whatever their case, from the caret on, round the end and back round
// the start; a lone match is found again rather than reported missing.
void EditorWindowTest::findStepsThroughMatchesAndWraps() {
    EditorWindow& window = OpenShown(
        WriteFile("find.ini", "Object Alpha\n  Speed = 10\n  Name = alpha\nEnd\nalphA\n"));
    const auto* text = window.findChild<QPlainTextEdit*>("text");
    GoTo("2");
    QTest::keyClick(Focused(), Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(Focused()->objectName(), "findField");
    QTest::keyClicks(Focused(), "ALPHA");
    QTest::keyClick(Focused(), Qt::Key_Return);
    QCOMPARE(Selection(*text), "3:10 alpha");
    QCOMPARE(ShownTitle(window), "find.ini - Ln 3, Col 15");
    QTest::keyClick(Focused(), Qt::Key_Return);
    QCOMPARE(Selection(*text), "5:1 alphA");

    QTest::keyClick(Focused(), Qt::Key_F3);
    QCOMPARE(Selection(*text), "1:8 Alpha");
    QTest::keyClick(Focused(), Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(Selection(*text), "5:1 alphA");
    QTest::keyClick(Focused(), Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(Selection(*text), "3:10 alpha");

    QTest::keyClick(Focused(), Qt::Key_Escape);
    QCOMPARE(Focused(), text);
    QVERIFY(!window.findChild<QWidget*>("findBar")->isVisible());
    QCOMPARE(Selection(*text), "3:10 alpha");

    QTest::keyClick(Focused(), Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(Focused(), "speed"); // replaces the last text, which is selected
    QTest::keyClick(Focused(), Qt::Key_Return);
    QTest::keyClick(Focused(), Qt::Key_F3);
    QTest::keyClick(Focused(), Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(Selection(*text), "2:3 Speed");
    QVERIFY(window.findChild<QLabel*>("findStatus")->text().isEmpty());
}

// A search that finds nothing says so in the bar, without a dialog, and moves nothing; F3
// before any search asks for the text.
void EditorWindowTest::findWithoutMatchLeavesTheCaret() {
    EditorWindow& window = OpenShown(WriteFile("five.ini", kFiveLines));
    auto* text = window.findChild<QPlainTextEdit*>("text");
    auto* status = window.findChild<QLabel*>("findStatus");
    GoTo("3");
    QTest::keyClick(Focused(), Qt::Key_F3);
    QCOMPARE(Focused()->objectName(), "findField");

    QTest::keyClicks(Focused(), "Speed = 11");
    QTest::keyClick(Focused(), Qt::Key_Return);
    QCOMPARE(status->text(), "Not found");
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(ShownTitle(window), "five.ini - Ln 3, Col 1");
    QVERIFY(!text->textCursor().hasSelection());

    QTest::keyClick(Focused(), Qt::Key_Backspace);
    QVERIFY(status->text().isEmpty());
    QTest::keyClicks(Focused(), "0");
    QTest::keyClick(Focused(), Qt::Key_Return);
    QCOMPARE(Selection(*text), "2:3 Speed = 10");
    QVERIFY(status->text().isEmpty());

    // Closed, the bar comes back to say a search from the keyboard found nothing.
    QTest::keyClick(Focused(), Qt::Key_Escape);
    QTest::keyClick(Focused(), Qt::Key_Delete);
    QTest::keyClick(Focused(), Qt::Key_F3);
    QCOMPARE(status->text(), "Not found");
    QVERIFY(window.findChild<QWidget*>("findBar")->isVisible());
    QCOMPARE(Focused(), text);
    QCOMPARE(ShownTitle(window), "five.ini* - Ln 2, Col 3");
}

// The read-only view finds whole lines' matches too, scrolls across to one far along a line and
// shows it selected; there is nothing to undo.
void EditorWindowTest::findInReadOnlyView() {
    const QByteArray bytes = "Object A\r\n  Data = " + QByteArray(kMaxEditableLineLength, 'x') +
                             "NEEDLE\r\nEnd\r\n  needle\r\n";
    EditorWindow& window = OpenShown(WriteFile("long.ini", bytes));
    auto* view = window.findChild<LargeFileView*>();
    QVERIFY(!Action(window, "undo").isEnabled());
    QVERIFY(!Action(window, "redo").isEnabled());
    QScrollBar* across = view->horizontalScrollBar();

    QTest::keyClick(Focused(), Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(Focused(), "needle");
    QTest::keyClick(Focused(), Qt::Key_Return);
    QCOMPARE(view->CaretLine(), 1);
    QVERIFY2(across->value() > kMaxEditableLineLength - 200,
             qPrintable(QString::number(across->value())));
    // The column is the match's end, as after a find in the editable text.
    const qsizetype matchEnd = 9 + kMaxEditableLineLength + 6;
    QCOMPARE(ShownTitle(window), QString("long.ini - Ln 2, Col %1").arg(matchEnd + 1));
    QVERIFY(view->fontMetrics().horizontalAdvance(QString(matchEnd - across->value(), 'x')) <=
            view->viewport()->width());
    const QImage shown = view->viewport()->grab().toImage();
    const int y = static_cast<int>(1 - view->verticalScrollBar()->value()) *
                      view->fontMetrics().lineSpacing() +
                  view->fontMetrics().ascent() / 2;
    const QRgb selected = view->palette().color(QPalette::Highlight).rgb();
    bool anySelected = false;
    for (int x = 0; x < shown.width() && !anySelected; ++x)
        anySelected = shown.pixel(x, y) == selected;
    QVERIFY(anySelected);

    QTest::keyClick(Focused(), Qt::Key_F3);
    QCOMPARE(view->CaretLine(), 3);
    QCOMPARE(across->value(), 0);
    QTest::keyClick(Focused(), Qt::Key_F3);
    QCOMPARE(view->CaretLine(), 1);
    QTest::keyClick(Focused(), Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(view->CaretLine(), 3);

    QTest::keyClick(Focused(), Qt::Key_Escape);
    QCOMPARE(Focused(), view);
    // Moved off the match, the caret is where the next search starts.
    QTest::keyClick(Focused(), Qt::Key_Up);
    QTest::keyClick(Focused(), Qt::Key_F3);
    QCOMPARE(view->CaretLine(), 3);
}

QTEST_MAIN(EditorWindowTest)
#include "editor_window_test.moc"
