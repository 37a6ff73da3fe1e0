// The hand-off where the window system cannot type into another program: the viewer's channel
// desktop drives the stand-in editor over its control channel, for real, with no display at all.
#include "notepad/editor_window.h"
#include "notepad/remote_control.h"

#include "platform/desktop.h"
#include "platform/editor_channel.h"
#include "ui/editor_handoff.h"
#include "ui/form1.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace ini;
using namespace std::chrono_literals;

namespace {

// Generous: the editor answers at once, but a loaded machine may keep it waiting.
const DesktopTimings kTimings{20ms, 30000ms, 30000ms, 30000ms};

QByteArray NumberedLines(int count) {
    QByteArray text;
    for (int line = 1; line <= count; ++line)
        text += "Line" + QByteArray::number(line) + "\r\n";
    return text;
}

// The channel desktop with "start program" standing for this very process, whose editor window
// serves the channel named for its process id.
class ThisProcessDesktop final : public Desktop {
public:
    Result<TaskId> StartProgram(std::string_view, WindowMode) override {
        return TaskId{QCoreApplication::applicationPid()};
    }
    Result<TaskId> StartCommand(const std::vector<std::string>&) override {
        return Failure{"not used"};
    }
    Result<void> ActivateWindow(TaskId task) override { return m_channel->ActivateWindow(task); }
    Result<void> SendKeys(std::string_view keys) override { return m_channel->SendKeys(keys); }

private:
    std::unique_ptr<Desktop> m_channel = MakeChannelDesktop({}, kTimings);
};

// Files named by their bytes, for names that QFile would take for other names.
bool WriteBytes(const QByteArray& path, const QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool written = fd >= 0 && ::write(fd, bytes.constData(), bytes.size()) == bytes.size();
    return ::close(fd) == 0 && written;
}

QByteArray ReadBytes(const QByteArray& path) {
    QFile file;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return "<unreadable>";
    return file.readAll();
}

// Sends one request and gives the reply: the error, empty for "ok".
std::optional<std::string> Answer(QLocalSocket& client, const QByteArray& request) {
    client.write(request);
    client.flush();
    if (!QTest::qWaitFor([&client] { return client.canReadLine(); }, 30000))
        return std::optional<std::string>("(no answer)");
    return DecodeReply(client.readLine().trimmed());
}

// Sets environment variables for as long as it lives (for this process and the programs it
// starts), then puts back what was there.
class EnvironmentOverride {
public:
    EnvironmentOverride(std::initializer_list<std::pair<const char*, QString>> values) {
        for (const auto& [name, value] : values) {
            m_saved.push_back({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
            qputenv(name, QFile::encodeName(value));
        }
    }
    ~EnvironmentOverride() {
        for (const Saved& saved : m_saved) {
            if (saved.set)
                qputenv(saved.name, saved.value);
            else
                qunsetenv(saved.name);
        }
    }

private:
    struct Saved {
        const char* name;
        bool set;
        QByteArray value;
    };
    std::vector<Saved> m_saved;
};

QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                  QDir::NoDotAndDotDot);
}

// Leaves no runtime folder to use: gives a file to set XDG_RUNTIME_DIR to, and puts a file where
// Qt falls back to in the temporary folder, as another user would have got there first.
QString SpoilRuntimeFolder(const QDir& temp) {
    const QString user = QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name);
    for (const QString& name : {QStringLiteral("not-a-folder"), "runtime-" + user}) {
        QFile file(temp.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(file.fileName()));
    }
    return temp.filePath(QStringLiteral("not-a-folder"));
}

// The real editor, found beside this test, in a process of its own and driven over its channel.
// A shell script starts it, so that it can set what QProcess cannot (a file-size limit, an
// argument's very bytes): its $0 is the editor and $1 the argument, and it ends by exec'ing it.
class StartedEditor {
public:
    static constexpr const char* kPlain = "exec \"$0\" \"$1\"";

    StartedEditor(const char* script, const QString& argument) {
        m_process.start(QStringLiteral("sh"),
                        {QStringLiteral("-c"), QString::fromUtf8(script),
                         QCoreApplication::applicationDirPath() + "/notepad", argument});
    }
    ~StartedEditor() {
        m_process.terminate();
        m_process.waitForFinished();
    }

    // Waits for the channel and raises the window; the editor then takes keys.
    Result<void> Activate() {
        if (!m_process.waitForStarted())
            return Failure{m_process.errorString().toStdString()};
        return m_desktop->ActivateWindow(m_process.processId());
    }
    // Answered once the keys are typed, and what they do done.
    Result<void> SendKeys(std::string_view keys) { return m_desktop->SendKeys(keys); }
    QProcess& Process() { return m_process; }

private:
    QProcess m_process;
    std::unique_ptr<Desktop> m_desktop = MakeChannelDesktop({}, kTimings);
};

// A child that lives until it is killed, with no channel.
class Sleeper {
public:
    Sleeper() {
        m_process.start(QStringLiteral("sleep"), {QStringLiteral("600")});
        m_process.waitForStarted();
    }
    ~Sleeper() {
        m_process.kill();
        m_process.waitForFinished();
    }
    TaskId Pid() const { return m_process.processId(); }

private:
    QProcess m_process;
};

} // namespace

class RemoteControlTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void handoffPutsTheCaretOnTheLine_data();
    void handoffPutsTheCaretOnTheLine();
    void keysReachAnInactiveWindowsShortcuts();
    void failuresStopTheSequenceWithAReason();
    void keysGoOnlyToTheProcessThatWasStarted();
    void badRequestsAreRefused();
    void boxOpenedOverTheChannelOutlivesItsClient();
    void channelOpensWhereOthersCannotTakeIt();
    void channelGoesWithTheEditor_data();
    void channelGoesWithTheEditor();
    void signalDuringTheStartEndsTheEditor();
    void startedEditorTakesTheKeys();
    void startedEditorOpensTheNameItIsGiven();
    void saveOverTheSizeLimitKeepsTheEdits();
    void viewerWithoutX11DrivesItsEditor();

private:
    // Where the editor with this process id listens in the runtime folder this test sets.
    QString RuntimeChannel(TaskId editor) const {
        return QDir(m_runtime.path())
            .filePath(QStringLiteral("ini-file-parser-notepad-%1").arg(editor));
    }

    QTemporaryDir m_runtime;
    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<EditorWindow> m_window;
    std::unique_ptr<RemoteControl> m_remote;
};

namespace {

// Types a mark at the start of the caret's line of the editor with this process id and saves;
// gives the saved text, or what the file held when no mark arrived in time.
QByteArray MarkCaretLineAndSave(TaskId editor, const QString& path) {
    const auto desktop = MakeChannelDesktop({}, kTimings);
    const auto activated = desktop->ActivateWindow(editor);
    const auto typed = desktop->SendKeys("{HOME}MARK^s");
    if (!activated.ok() || !typed.ok())
        return QByteArray::fromStdString(activated.error() + typed.error());
    QByteArray saved;
    (void)QTest::qWaitFor( // what was saved by then is the answer
        [&] {
            QFile file(path);
            saved = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            return saved.contains("MARK");
        },
        30000);
    return saved;
}

} // namespace

void RemoteControlTest::initTestCase() {
    // Channels of this test and the editors it starts, apart from any other run's.
    QVERIFY(m_runtime.isValid());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
}

void RemoteControlTest::init() {
    QVERIFY(m_dir.isValid());
    m_path = m_dir.filePath(QStringLiteral("lines.ini"));
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(NumberedLines(60));
    file.close();
    m_window = std::make_unique<EditorWindow>();
    m_window->Open(m_path);
    m_window->show();
    m_remote = std::make_unique<RemoteControl>(*m_window);
}

void RemoteControlTest::cleanup() {
    m_remote.reset();
    m_window.reset();
}

void RemoteControlTest::handoffPutsTheCaretOnTheLine_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("line");
    QTest::newRow("first line") << "Key_0"
                                << "Ln 1,";
    QTest::newRow("middle") << "Key_36"
                            << "Ln 37,";
    QTest::newRow("past the end") << "Key_999"
                                  << "Ln 60,";
}

void RemoteControlTest::handoffPutsTheCaretOnTheLine() {
    QFETCH(QString, key);
    QFETCH(QString, line);
    ThisProcessDesktop desktop;
    m_window->showMinimized();
    const HandoffResult result = OpenEditorAtLine(desktop, key.toStdString(), m_path.toStdString());
    QVERIFY2(result.ok(), result.error.value_or(Failure{}).message.c_str());
    QVERIFY2(m_window->windowTitle().contains(line), qPrintable(m_window->windowTitle()));
    QVERIFY(!m_window->isMinimized());
}

void RemoteControlTest::keysReachAnInactiveWindowsShortcuts() {
    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_VERIFY(other.isActiveWindow() && !m_window->isActiveWindow());

    QVERIFY(TypeInto(*m_window, "^g42{ENTER}").ok());
    QVERIFY2(m_window->windowTitle().contains("Ln 42,"), qPrintable(m_window->windowTitle()));
    // Unreadable text types nothing at all, not even its readable start.
    QVERIFY(!TypeInto(*m_window, "^g7{ENTER").ok());
    QVERIFY2(m_window->windowTitle().contains("Ln 42,"), qPrintable(m_window->windowTitle()));
}

void RemoteControlTest::failuresStopTheSequenceWithAReason() {
    int polls = 0;
    const auto desktop = MakeChannelDesktop([&polls] { ++polls; }, {20ms, 300ms, 300ms, 300ms});

    const auto unactivated = desktop->SendKeys("^g");
    QVERIFY(QString::fromStdString(unactivated.error()).contains("No editor window"));
    const auto malformed = desktop->SendKeys("{ENTER");
    QVERIFY(QString::fromStdString(malformed.error()).contains("never closed"));

    QProcess ended;
    ended.start(QStringLiteral("true"));
    QVERIFY(ended.waitForStarted());
    const TaskId gone = ended.processId();
    QVERIFY(ended.waitForFinished());
    const auto dead = desktop->ActivateWindow(gone);
    QVERIFY2(QString::fromStdString(dead.error()).contains("ended before"), dead.error().c_str());

    // A program that never opens the channel (not the stand-in editor): the wait is bounded and
    // the viewer keeps running its events meanwhile.
    Sleeper silent;
    const auto none = desktop->ActivateWindow(silent.Pid());
    QVERIFY2(QString::fromStdString(none.error()).contains("no control channel within 0.3 s"),
             none.error().c_str());
    QVERIFY(polls > 0);
    // The failed activation leaves nothing to type into.
    QVERIFY(QString::fromStdString(desktop->SendKeys("1").error()).contains("No editor window"));
}

void RemoteControlTest::keysGoOnlyToTheProcessThatWasStarted() {
    // A socket at the started program's name that this process serves: left behind, or planted.
    Sleeper started;
    QLocalServer impostor;
    QVERIFY(impostor.listen(RuntimeChannel(started.Pid())));
    const auto desktop = MakeChannelDesktop({}, kTimings);
    const auto activated = desktop->ActivateWindow(started.Pid());
    QVERIFY2(QString::fromStdString(activated.error()).contains("is served by process"),
             activated.error().c_str());
    QVERIFY(!desktop->SendKeys("1").ok());
}

void RemoteControlTest::badRequestsAreRefused() {
    QLocalSocket client;
    client.connectToServer(RuntimeChannel(QCoreApplication::applicationPid()));
    QVERIFY(client.waitForConnected(30000));
    const auto answer = [&client](const QByteArray& request) { return Answer(client, request); };
    QCOMPARE(answer("bogus\n"), std::optional<std::string>("unknown request"));
    const auto unreadable = answer(EncodeRequest({ChannelRequest::Kind::Keys, "{NOSUCHKEY}"}));
    QVERIFY(unreadable && unreadable->find("unknown key name") != std::string::npos);
    QCOMPARE(answer(EncodeRequest({ChannelRequest::Kind::Raise, {}})), std::string());

    // A line that never ends is cut off rather than buffered without bound.
    QCOMPARE(answer(QByteArray(kChannelLineLimit + 10, 'x')),
             std::optional<std::string>("request too long"));
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), QLocalSocket::UnconnectedState, 30000);
}

// Saving over a file that changed on disk asks first, in a box whose event loop runs inside the
// request that typed the save. The client that sent it hangs up meanwhile, and another one sends
// keys; then the box is dismissed. The editor keeps its text, untouched by those keys, and its
// channel.
void RemoteControlTest::boxOpenedOverTheChannelOutlivesItsClient() {
    m_window->activateWindow(); // the text has the focus, so the keys edit it
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    const QString channel = RuntimeChannel(QCoreApplication::applicationPid());
    auto saver = std::make_unique<QLocalSocket>();
    QLocalSocket other;
    for (QLocalSocket* client : {saver.get(), &other}) {
        client->connectToServer(channel);
        QVERIFY(client->waitForConnected(30000));
    }
    QFile changed(m_path);
    QVERIFY(changed.open(QIODevice::Append) && changed.write("Another editor's line\r\n") > 0);
    changed.close();
    QCOMPARE(Answer(*saver, EncodeRequest({ChannelRequest::Kind::Keys, "typed"})), std::string());
    saver->write(EncodeRequest({ChannelRequest::Kind::Keys, "^s"}));
    saver->flush();

    // Each step waits, tick by tick, inside the box's event loop for what the one before did. The
    // hang-up reaches the editor before the other client's keys, which are sent after it.
    enum class Step { BoxOpens, OtherGetsItsAnswer, Done };
    Step step = Step::BoxOpens;
    std::optional<std::string> otherAnswer;
    const QDeadlineTimer deadline(30000);
    QTimer ticks;
    connect(&ticks, &QTimer::timeout, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box)
            return;
        if (step == Step::BoxOpens) {
            saver.reset();
            other.write(EncodeRequest({ChannelRequest::Kind::Keys, "zzz"}));
            step = Step::OtherGetsItsAnswer;
        } else if (step == Step::OtherGetsItsAnswer && other.canReadLine()) {
            otherAnswer = DecodeReply(other.readLine().trimmed());
            QTest::keyClick(box, Qt::Key_Escape);
            step = Step::Done;
        } else if (deadline.hasExpired()) {
            QTest::keyClick(box, Qt::Key_Escape);
        }
    });
    ticks.start(10);
    QTRY_VERIFY_WITH_TIMEOUT(step == Step::Done && !QApplication::activeModalWidget(), 60000);

    QVERIFY2(otherAnswer && otherAnswer->find("\"File changed on disk\" box") != std::string::npos,
             otherAnswer.value_or("(unreadable)").c_str());
    QVERIFY(m_window->windowTitle().startsWith("lines.ini[*]"));
    QVERIFY(changed.open(QIODevice::ReadOnly) && changed.readAll().endsWith("editor's line\r\n"));
    const QString text = m_window->findChild<QPlainTextEdit*>("text")->toPlainText();
    QVERIFY(text.startsWith("typedLine1\n") && !text.contains("zzz"));
    QCOMPARE(Answer(other, EncodeRequest({ChannelRequest::Kind::Raise, {}})), std::string());
}

// Another user got to the shared temporary folder first: Qt's fallback runtime folder there is a
// file of theirs, so is the folder at the name this process's channel once fell back to, and a
// folder named like a channel's private folder is open to all and has a socket in it. The channel
// opens all the same, where none of them can reach it.
void RemoteControlTest::channelOpensWhereOthersCannotTakeIt() {
    m_remote.reset();
    QTemporaryDir shared;
    QVERIFY(shared.isValid());
    const QDir temp(shared.path());
    const TaskId self = QCoreApplication::applicationPid();
    const QString stem = QStringLiteral("ini-file-parser-notepad-%1").arg(self);
    QVERIFY(temp.mkpath(stem + "/taken"));
    const QString open = temp.filePath(stem + ".OPEN00");
    QVERIFY(temp.mkpath(open) && ::chmod(QFile::encodeName(open).constData(), 0777) == 0);
    QLocalServer planted;
    QVERIFY(planted.listen(open + "/channel"));
    const EnvironmentOverride environment(
        {{"TMPDIR", shared.path()}, {"XDG_RUNTIME_DIR", SpoilRuntimeFolder(temp)}});
    const QStringList before = Entries(shared.path());
    m_remote = std::make_unique<RemoteControl>(*m_window);

    ThisProcessDesktop desktop;
    const auto activated = desktop.ActivateWindow(self);
    QVERIFY2(activated.ok(), activated.error().c_str());
    QVERIFY(desktop.SendKeys("^g37~").ok());
    QVERIFY2(m_window->windowTitle().contains("Ln 37,"), qPrintable(m_window->windowTitle()));
    QVERIFY(!planted.hasPendingConnections());

    // The channel's own folder, which only this user may enter, goes with it.
    QStringList made = Entries(shared.path());
    for (const QString& old : before)
        made.removeAll(old);
    QCOMPARE(made.size(), 1);
    struct stat folder {};
    QVERIFY(::lstat(QFile::encodeName(temp.filePath(made[0])).constData(), &folder) == 0);
    QVERIFY(S_ISDIR(folder.st_mode) && (folder.st_mode & 07777) == 0700);
    m_remote.reset();
    QCOMPARE(Entries(shared.path()), before);
}

void RemoteControlTest::channelGoesWithTheEditor_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("runtimeFolder");
    QTest::newRow("SIGTERM") << SIGTERM << true;
    QTest::newRow("SIGINT") << SIGINT << true;
    QTest::newRow("SIGHUP") << SIGHUP << true;
    QTest::newRow("SIGTERM, in a folder of its own") << SIGTERM << false;
}

// However the editor is asked to end, its channel goes with it, and it ends by that signal as its
// sender expects.
void RemoteControlTest::channelGoesWithTheEditor() {
    QFETCH(int, signal);
    QFETCH(bool, runtimeFolder);
    QTemporaryDir shared;
    QVERIFY(shared.isValid());
    const EnvironmentOverride environment(
        {{"TMPDIR", shared.path()},
         {"XDG_RUNTIME_DIR",
          runtimeFolder ? m_runtime.path() : SpoilRuntimeFolder(QDir(shared.path()))}});
    const auto entries = [&] { return Entries(shared.path()) + Entries(m_runtime.path()); };
    const QStringList before = entries();

    StartedEditor started(StartedEditor::kPlain, m_path);
    const auto activated = started.Activate();
    QVERIFY2(activated.ok(), activated.error().c_str());
    QVERIFY(entries() != before);

    QProcess& editor = started.Process();
    QVERIFY(::kill(static_cast<pid_t>(editor.processId()), signal) == 0);
    QVERIFY(editor.waitForFinished(30000));
    QCOMPARE(editor.exitStatus(), QProcess::CrashExit);
    QCOMPARE(editor.exitCode(), signal);
    QCOMPARE(entries(), before);
}

// A signal can come at any moment of the start, while the file opens included: the editor ends
// by the first one its handler sees, and never goes on with the signal lost.
void RemoteControlTest::signalDuringTheStartEndsTheEditor() {
    QProcess editor;
    editor.start(QCoreApplication::applicationDirPath() + "/notepad", {m_path});
    QVERIFY(editor.waitForStarted());
    // Sent once the handler is in place: the window may not even be shown yet.
    const auto handles = [&] {
        QFile status(QStringLiteral("/proc/%1/status").arg(editor.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("SigCgt:"))
                return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1) & 1) != 0;
        }
        return false;
    };
    // Looked at without a pause, so that the first signal comes as early as it can.
    QDeadlineTimer deadline(30000);
    while (!handles() && !deadline.hasExpired() && editor.state() != QProcess::NotRunning) {
    }
    for (int sent = 0; sent < 3000 && editor.state() != QProcess::NotRunning; ++sent) {
        ::kill(static_cast<pid_t>(editor.processId()), SIGTERM);
        editor.waitForFinished(10);
    }
    QCOMPARE(editor.state(), QProcess::NotRunning);
    QCOMPARE(editor.exitStatus(), QProcess::CrashExit);
    QCOMPARE(editor.exitCode(), SIGTERM);
}

void RemoteControlTest::startedEditorTakesTheKeys() {
    // The real editor in its own process, found beside this test as the viewer finds it, on the
    // display-less platform this test runs on.
    const auto desktop = MakeChannelDesktop({}, kTimings);
    const HandoffResult result = OpenEditorAtLine(*desktop, "Key_36", m_path.toStdString());
    const auto stop = qScopeGuard([&] {
        if (result.editor)
            ::kill(static_cast<pid_t>(*result.editor), SIGTERM);
    });
    QVERIFY2(result.ok(), result.error.value_or(Failure{}).message.c_str());

    // Where the caret is shows in what the editor saves: a mark typed at the start of its line.
    const QByteArray saved = MarkCaretLineAndSave(*result.editor, m_path);
    QVERIFY2(saved.contains("\r\nMARKLine37\r\n"), saved.constData());
    QCOMPARE(saved.size(), NumberedLines(60).size() + 4);
}

// The name holds every byte from 0x80 to 0xFF, so it is not UTF-8: the file the editor opens and
// saves is the one named all the same.
void RemoteControlTest::startedEditorOpensTheNameItIsGiven() {
    QByteArray path = QFile::encodeName(m_dir.path()) + "/bad\xFFname";
    QVERIFY(::mkdir(path.constData(), 0700) == 0);
    path += "/f";
    for (int byte = 0x80; byte <= 0xFF; ++byte)
        path += static_cast<char>(byte);
    path += ".ini";
    QVERIFY(WriteBytes(path, NumberedLines(3)));

    // QProcess would hand the name over through QFile::encodeName, which changes it; the shell's
    // printf gives the bytes themselves.
    QString octal;
    for (const char byte : path)
        octal += QString::asprintf("\\%03o", static_cast<unsigned char>(byte));
    StartedEditor editor("exec \"$0\" \"$(printf \"$1\")\"", octal);
    const auto activated = editor.Activate();
    QVERIFY2(activated.ok(), activated.error().c_str());
    QVERIFY(editor.SendKeys("MARK^s").ok());
    QCOMPARE(ReadBytes(path), "MARK" + NumberedLines(3));
}

// A save past the editor's file-size limit fails as one on a full disk does: the file and its
// folder stay as they were, and the editor keeps the edits, to save once they fit.
void RemoteControlTest::saveOverTheSizeLimitKeepsTheEdits() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath("limited.ini");
    const QByteArray old = NumberedLines(300); // under the limit, five times it over
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(old) == old.size());
    file.close();

    StartedEditor editor("ulimit -f 8 && exec \"$0\" \"$1\"", path);
    const auto activated = editor.Activate();
    QVERIFY2(activated.ok(), activated.error().c_str());
    const auto saved = editor.SendKeys("MARK^a^c^{END}^v^v^v^v^s");
    QVERIFY2(saved.ok(), saved.error().c_str());
    QCOMPARE(ReadBytes(QFile::encodeName(path)), old);
    QCOMPARE(Entries(folder.path()), QStringList{"limited.ini"});

    QVERIFY(editor.SendKeys("^z^z^z^z^s").ok());
    QCOMPARE(ReadBytes(QFile::encodeName(path)), "MARK" + old);
}

void RemoteControlTest::viewerWithoutX11DrivesItsEditor() {
    const Result<void> usable = CheckX11Usable();
    // Offscreen here; the same test runs on a Wayland compositor too.
    const std::string platform = QGuiApplication::platformName().toStdString();
    QVERIFY(!usable.ok() &&
            usable.error().find('"' + platform + "\" platform") != std::string::npos);

    // The viewer as it ships, with its own choice of desktop.
    FormServices services;
    services.settingsFile = m_dir.filePath(QStringLiteral("settings.conf"));
    QStringList warnings;
    services.showWarning = [&warnings](QWidget*, const QString&, const QString& text) {
        warnings.append(text);
    };
    const QDir runtime(m_runtime.path());
    const QStringList pattern{QStringLiteral("ini-file-parser-notepad-*")};
    const QStringList before = runtime.entryList(pattern, QDir::System | QDir::Files);
    Form1 viewer(services);
    viewer.findChild<QLineEdit*>(QStringLiteral("Txt_Filename"))->setText(m_path);
    viewer.findChild<QPushButton*>(QStringLiteral("Cmd_Load"))->click();
    auto* tree = viewer.findChild<QTreeView*>(QStringLiteral("TreeView1"));
    tree->setCurrentIndex(tree->model()->index(11, 0));
    viewer.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));

    // The editor it started is the one with the new channel.
    QStringList channels = runtime.entryList(pattern, QDir::System | QDir::Files);
    for (const QString& old : before)
        channels.removeAll(old);
    QCOMPARE(channels.size(), 1);
    const TaskId editor = channels.front().section(QLatin1Char('-'), -1).toLongLong();
    const auto stop = qScopeGuard([&] { ::kill(static_cast<pid_t>(editor), SIGTERM); });

    const QByteArray saved = MarkCaretLineAndSave(editor, m_path);
    QVERIFY2(saved.contains("\r\nMARKLine12\r\n"), saved.constData());
}

QTEST_MAIN(RemoteControlTest)
#include "remote_control_test.moc"
