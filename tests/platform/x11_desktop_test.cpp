// Runs against a real X server (ctest starts it under xvfb-run): starts windows through the
// system desktop, activates them and types into them.
#include "platform/desktop.h"
#include "platform/program_launcher.h"
#include "ui/editor_handoff.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <vector>

#include "platform/x11/x11_session.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

using namespace ini;

namespace {

// The window title of a task as its window manager would show it; empty without a window.
QString WindowTitle(TaskId task) {
    auto connection = x11::Connection::Open();
    if (!connection.ok())
        return {};
    Display* display = connection.value().display();
    x11::ErrorTrap trap(display);
    const Window window = x11::FindTaskWindow(display, task);
    if (window == 0)
        return {};
    XTextProperty property{};
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    if (!XGetTextProperty(display, window, &property, netName) || property.value == nullptr)
        return {};
    const QString title = QString::fromUtf8(reinterpret_cast<const char*>(property.value),
                                            qsizetype(property.nitems));
    XFree(property.value);
    return title;
}

QStringList ReadLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

class X11DesktopTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void typesIntoTheActivatedWindowInOrder();
    void activationGivesUpOnTasksWithoutAWindow_data();
    void activationGivesUpOnTasksWithoutAWindow();
    void activationMovesTheFocusBackToAnOlderWindow();
    void protocolErrorsAreRecordedNotFatal();
    void handoffPutsTheEditorsCaretOnTheLine();
    void keysTheUserStillHoldsAreWaitedFor();

private:
    TaskId Start(const QString& commandLine);

    QTemporaryDir m_root;
    std::vector<TaskId> m_started;
};

void X11DesktopTest::initTestCase() {
    if (qEnvironmentVariable("DISPLAY").isEmpty())
        QSKIP("needs an X11 display; ctest runs this under xvfb-run");
    QVERIFY(m_root.isValid());
    QVERIFY(QDir::setCurrent(m_root.path()));
}

void X11DesktopTest::cleanupTestCase() {
    for (const TaskId task : m_started)
        ::kill(static_cast<pid_t>(task), SIGTERM);
}

TaskId X11DesktopTest::Start(const QString& commandLine) {
    const auto desktop = MakeX11Desktop();
    const auto task = desktop->StartProgram(commandLine.toStdString(), WindowMode::Normal);
    if (!task.ok()) {
        qWarning("%s", task.error().c_str());
        return 0;
    }
    m_started.push_back(task.value());
    return task.value();
}

void X11DesktopTest::typesIntoTheActivatedWindowInOrder() {
    const QString folder = m_root.filePath("probe dir; $(touch pwned) 'q'");
    QVERIFY(QDir().mkpath(folder));
    const QString log = folder + "/keys \"received\".txt";
    const TaskId probe = Start("key_probe.exe " + log);
    QVERIFY(probe != 0);

    const auto desktop = MakeX11Desktop();
    QElapsedTimer timer;
    timer.start();
    const auto activated = desktop->ActivateWindow(probe);
    QVERIFY2(activated.ok(), activated.error().c_str());
    qInfo("window found and focused %lld ms after start", timer.elapsed());

    // Text that cannot be typed as a whole must not type any part of it.
    QVERIFY(!desktop->SendKeys("ab{BOGUS}").ok());
    const auto untypeable = desktop->SendKeys("xy\u4E2D");
    QVERIFY(!untypeable.ok());
    QVERIFY2(untypeable.error().find("U+4E2D") != std::string::npos, untypeable.error().c_str());

    for (const char* keys : {"^g", "42", "{ENTER}aB%x{TAB}+c~", "{BS 2}{F5}"}) {
        const auto sent = desktop->SendKeys(keys);
        QVERIFY2(sent.ok(), sent.error().c_str());
    }
    const QStringList expected{"Ctrl+G", "4", "2",      "Return",    "a",         "B", "Alt+X",
                               "Tab",    "C", "Return", "Backspace", "Backspace", "F5"};
    QTRY_COMPARE_WITH_TIMEOUT(ReadLines(log), expected, 5000);
    QVERIFY(!QFile::exists(m_root.filePath("pwned")));
}

void X11DesktopTest::activationMovesTheFocusBackToAnOlderWindow() {
    const QString firstLog = m_root.filePath("first.txt");
    const QString secondLog = m_root.filePath("second.txt");
    const auto desktop = MakeX11Desktop();
    const TaskId first = Start("key_probe " + firstLog);
    QVERIFY(first != 0);
    QVERIFY(desktop->ActivateWindow(first).ok());
    const TaskId second = Start("key_probe " + secondLog);
    QVERIFY(second != 0);
    QVERIFY(desktop->ActivateWindow(second).ok());
    QVERIFY(desktop->SendKeys("2").ok());

    const auto activated = desktop->ActivateWindow(first);
    QVERIFY2(activated.ok(), activated.error().c_str());
    QVERIFY(desktop->SendKeys("1").ok());

    QTRY_COMPARE_WITH_TIMEOUT(ReadLines(firstLog), QStringList{"1"}, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(ReadLines(secondLog), QStringList{"2"}, 5000);
}

void X11DesktopTest::protocolErrorsAreRecordedNotFatal() {
    auto connection = x11::Connection::Open();
    QVERIFY2(connection.ok(), connection.error().c_str());
    Display* display = connection.value().display();
    const auto outer = [](Display*, XErrorEvent*) { return 0; };
    const XErrorHandler before = XSetErrorHandler(outer);
    {
        x11::ErrorTrap trap(display);
        // Without the trap Xlib's default handler would end this process here.
        XSetInputFocus(display, 0x7FFFFFF, RevertToParent, CurrentTime);
        const auto error = trap.Check();
        QVERIFY(error.has_value());
        QVERIFY2(error->find("BadWindow") != std::string::npos, error->c_str());
        QVERIFY(!trap.Check().has_value());
    }
    QVERIFY2(XSetErrorHandler(before) == XErrorHandler(outer), "the previous handler is back");
}

void X11DesktopTest::activationGivesUpOnTasksWithoutAWindow_data() {
    QTest::addColumn<qint64>("task");
    QTest::addColumn<QString>("messagePart");

    QTest::newRow("running, no window")
        << qint64(QCoreApplication::applicationPid()) << "appeared within 0.3 s";
    QTest::newRow("no such process") << qint64(1 << 30) << "ended before it showed a window";
}

void X11DesktopTest::activationGivesUpOnTasksWithoutAWindow() {
    QFETCH(qint64, task);
    QFETCH(QString, messagePart);

    int polls = 0;
    DesktopTimings timings;
    timings.windowAppears = std::chrono::milliseconds(300);
    const auto desktop = MakeX11Desktop([&polls] { ++polls; }, timings);
    QElapsedTimer timer;
    timer.start();
    const auto activated = desktop->ActivateWindow(task);

    QVERIFY(!activated.ok());
    QVERIFY2(QString::fromStdString(activated.error()).contains(messagePart),
             activated.error().c_str());
    QVERIFY(timer.elapsed() < 3000);
    if (task == QCoreApplication::applicationPid())
        QVERIFY2(polls >= 5, "the waiting must let the caller's events run");
}

void X11DesktopTest::handoffPutsTheEditorsCaretOnTheLine() {
    if (!FindProgram("notepad", {QCoreApplication::applicationDirPath()}))
        QSKIP("the notepad editor is not built beside this test");
    const QString folder = m_root.filePath("sample files");
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/units it's; $(x).ini";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Object One\r\n  Speed = 10\r\n  Armour = 4\r\nEnd\r\nObject Two\r\nEnd\r\n");
    file.close();

    const auto desktop = MakeX11Desktop();
    const HandoffResult result = OpenEditorAtLine(*desktop, "Key_2", path.toStdString());
    if (result.editor)
        m_started.push_back(*result.editor);
    QVERIFY2(result.ok(), result.error.value_or(Failure{}).message.c_str());

    QTRY_VERIFY_WITH_TIMEOUT(WindowTitle(*result.editor).endsWith(" - Ln 3, Col 1"), 5000);
    // The keys went to the prompt, not into the text.
    QVERIFY2(!WindowTitle(*result.editor).contains('*'), qPrintable(WindowTitle(*result.editor)));
}

// The Enter of Ctrl+Enter still held when the editor is up: the Enter typed waits for it to go
// up, else the server drops a press of a key that is down already and the editor never sees it.
void X11DesktopTest::keysTheUserStillHoldsAreWaitedFor() {
    const QString log = m_root.filePath("held.txt");
    const TaskId probe = Start("key_probe " + log);
    QVERIFY(probe != 0);
    auto user = x11::Connection::Open();
    QVERIFY2(user.ok(), user.error().c_str());
    Display* keyboard = user.value().display();
    const KeyCode enter = XKeysymToKeycode(keyboard, XK_Return);
    int polls = 0;
    const auto desktop = MakeX11Desktop([&] {
        // The user lets go a few polls later.
        if (++polls == 5) {
            XTestFakeKeyEvent(keyboard, enter, False, CurrentTime);
            XSync(keyboard, False);
        }
    });
    QVERIFY(desktop->ActivateWindow(probe).ok());
    XTestFakeKeyEvent(keyboard, enter, True, CurrentTime);
    XSync(keyboard, False);
    const auto sent = desktop->SendKeys("{ENTER}");
    QVERIFY2(sent.ok(), sent.error().c_str());
    QVERIFY(polls >= 5);
    QTRY_COMPARE_WITH_TIMEOUT(ReadLines(log), (QStringList{"Return", "Return"}), 5000);
}

QTEST_GUILESS_MAIN(X11DesktopTest)
#include "x11_desktop_test.moc"
