#include "platform/desktop.h"
#include "platform/program_launcher.h"
#include "ui/path_bytes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>
#include <string>

using namespace ini;

namespace {

void WriteFile(const QString& path, const QByteArray& content, bool executable) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        permissions |= QFile::ExeOwner;
    QVERIFY(file.setPermissions(permissions));
}

QByteArray Bytes(const std::string& text) {
    return QByteArray::fromStdString(text);
}

// What the argument probe (argv_probe.cpp) at `out` was given: its process id, then each
// argument; nothing when it has not written within a while.
std::optional<QByteArrayList> ProbeOutput(const QString& out) {
    if (!QTest::qWaitFor([&] { return QFile::exists(out); }, 10000))
        return std::nullopt;
    QFile file(out);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArrayList fields = file.readAll().split('\0');
    fields.removeLast(); // after the last argument's NUL
    return fields;
}

} // namespace

class ProgramLauncherTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void splitsAtTheFirstSpace_data();
    void splitsAtTheFirstSpace();
    void findsProgramsInFolderOrder_data();
    void findsProgramsInFolderOrder();
    void searchesOwnFolderBeforePath();
    void startPassesTheRestAsOneArgumentWithoutAShell_data();
    void startPassesTheRestAsOneArgumentWithoutAShell();
    void startFailuresAreReported_data();
    void startFailuresAreReported();
    void withoutAnX11DisplayWindowsCannotBeReached();

private:
    QTemporaryDir m_root;
    QString m_first;
    QString m_second;
};

void ProgramLauncherTest::initTestCase() {
    QVERIFY(m_root.isValid());
    // Any file a shell would make by running part of an argument lands here.
    QVERIFY(QDir::setCurrent(m_root.path()));
    m_first = m_root.filePath("first");
    m_second = m_root.filePath("second dir");
    QVERIFY(QDir().mkpath(m_first));
    QVERIFY(QDir().mkpath(m_second));

    const QByteArray script = "#!/bin/sh\n";
    WriteFile(m_first + "/tool", script, true);
    WriteFile(m_first + "/both", script, true);
    WriteFile(m_first + "/readonly", script, false);
    WriteFile(m_second + "/both", script, true);
    WriteFile(m_second + "/notepad", script, true);
    WriteFile(m_second + "/only.exe", script, true);
    WriteFile(m_second + "/readonly", script, true);
    QVERIFY(QDir().mkpath(m_second + "/folder.exe"));
    QVERIFY(QFile::copy(QStringLiteral(INI_ARGV_PROBE), m_second + "/argdump"));
}

void ProgramLauncherTest::splitsAtTheFirstSpace_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArrayList>("arguments");

    QTest::newRow("one argument") << QByteArray("notepad.exe a.ini")
                                  << QByteArrayList{"notepad.exe", "a.ini"};
    QTest::newRow("spaces stay in the argument")
        << QByteArray("notepad.exe my files/a b.ini")
        << QByteArrayList{"notepad.exe", "my files/a b.ini"};
    QTest::newRow("second space kept")
        << QByteArray("notepad.exe  a") << QByteArrayList{"notepad.exe", " a"};
    QTest::newRow("trailing space kept")
        << QByteArray("notepad.exe a ") << QByteArrayList{"notepad.exe", "a "};
    QTest::newRow("nothing after the space")
        << QByteArray("notepad.exe ") << QByteArrayList{"notepad.exe"};
    QTest::newRow("no space") << QByteArray("notepad.exe") << QByteArrayList{"notepad.exe"};
    QTest::newRow("utf-8") << QByteArray("notepad.exe d\xc3\xa9j\xc3\xa0.ini")
                           << QByteArrayList{"notepad.exe", "d\xc3\xa9j\xc3\xa0.ini"};
    QTest::newRow("not utf-8") << QByteArray("notepad.exe bad\xffname/f\xfe.ini")
                               << QByteArrayList{"notepad.exe", "bad\xffname/f\xfe.ini"};
}

void ProgramLauncherTest::splitsAtTheFirstSpace() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArrayList, arguments);

    const auto split = SplitCommandLine(text.toStdString());
    QVERIFY(split.ok());
    QByteArrayList got;
    for (const std::string& argument : split.value())
        got.append(Bytes(argument));
    QCOMPARE(got, arguments);
}

void ProgramLauncherTest::findsProgramsInFolderOrder_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("found"); // empty: not found

    QTest::newRow("as given") << "tool" << m_first + "/tool";
    QTest::newRow(".exe removed") << "tool.exe" << m_first + "/tool";
    QTest::newRow("first folder wins") << "both.exe" << m_first + "/both";
    QTest::newRow("later folder") << "notepad.exe" << m_second + "/notepad";
    QTest::newRow("name with .exe tried first") << "only.exe" << m_second + "/only.exe";
    QTest::newRow("not executable skipped") << "readonly" << m_second + "/readonly";
    QTest::newRow("folder is no program") << "folder.exe" << QString();
    QTest::newRow("missing") << "missing.exe" << QString();
    QTest::newRow("bare .exe") << ".exe" << QString();
    QTest::newRow("path is not searched") << m_second + "/notepad.exe" << m_second + "/notepad";
    QTest::newRow("path to missing file") << m_first + "/notepad" << QString();
}

void ProgramLauncherTest::findsProgramsInFolderOrder() {
    QFETCH(QString, name);
    QFETCH(QString, found);

    const auto path = FindProgram(name, {m_first, m_second});
    QCOMPARE(path.value_or(QString()), found);
}

void ProgramLauncherTest::searchesOwnFolderBeforePath() {
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", (m_first + "::" + m_second + ":").toLocal8Bit());
    const QStringList folders = ProgramSearchFolders();
    qputenv("PATH", savedPath);

    const QDir own(QCoreApplication::applicationDirPath());
    const QString installed = QDir::cleanPath(own.filePath(QStringLiteral(INI_HELPERS_FROM_BIN)));
    QCOMPARE(folders, QStringList({own.path(), installed, m_first, m_second}));
}

void ProgramLauncherTest::startPassesTheRestAsOneArgumentWithoutAShell_data() {
    QTest::addColumn<QByteArray>("commandLine");
    QTest::addColumn<QByteArrayList>("arguments");

    const QByteArray dump = "argdump.exe ";
    for (const QByteArray& argument :
         {QByteArray("plain.ini"), QByteArray("/my files/a b.ini"),
          QByteArray("it's \"quoted\" and 'single'"), QByteArray("a.ini; touch pwned"),
          QByteArray("$(touch pwned) `touch pwned` | touch pwned & > pwned"),
          QByteArray("  leading and trailing  "), QByteArray("*.ini ~ $HOME \\n"),
          QByteArray("/maps/bad\xffname/f\xfe.ini")}) {
        QTest::newRow(argument.constData()) << dump + argument << QByteArrayList{argument};
    }
    // A file name is bytes: each one reaches the program as it is.
    for (const std::string& name : OneByteNames()) {
        QTest::addRow("byte 0x%02x", static_cast<unsigned char>(name.back()))
            << dump + Bytes(name) << QByteArrayList{Bytes(name)};
    }
    QTest::newRow("nothing after the space") << dump << QByteArrayList{};
    QTest::newRow("no space") << QByteArray("argdump") << QByteArrayList{};
}

void ProgramLauncherTest::startPassesTheRestAsOneArgumentWithoutAShell() {
    QFETCH(QByteArray, commandLine);
    QFETCH(QByteArrayList, arguments);
    const QString out = m_second + "/args.out";
    QFile::remove(out);

    const auto task = StartDetached(commandLine.toStdString(), {m_first, m_second});
    QVERIFY2(task.ok(), task.error().c_str());

    const auto given = ProbeOutput(out);
    QVERIFY(given);
    QCOMPARE(given->value(0).toLongLong(), task.value());
    QCOMPARE(given->mid(1), arguments);
    QVERIFY(!QFile::exists(m_root.filePath("pwned")));
}

void ProgramLauncherTest::startFailuresAreReported_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("messagePart");

    QTest::newRow("empty") << ""
                           << "names no program";
    QTest::newRow("leading space") << " notepad.exe a.ini"
                                   << "names no program";
    QTest::newRow("missing program") << "nosuchprogram.exe a.ini"
                                     << "\"nosuchprogram.exe\"";
    QTest::newRow("not executable") << m_first + "/readonly"
                                    << "Cannot find";
    // Cut at the NUL, it would name another file.
    QTest::newRow("NUL in the argument") << QStringLiteral("tool a") + QChar(0) + "b.ini"
                                         << "NUL byte";
}

void ProgramLauncherTest::startFailuresAreReported() {
    QFETCH(QString, commandLine);
    QFETCH(QString, messagePart);

    const auto task = StartDetached(commandLine.toStdString(), {m_first, m_second});
    QVERIFY(!task.ok());
    QVERIFY2(QString::fromStdString(task.error()).contains(messagePart), task.error().c_str());
}

void ProgramLauncherTest::withoutAnX11DisplayWindowsCannotBeReached() {
    const bool hadDisplay = qEnvironmentVariableIsSet("DISPLAY");
    const QByteArray savedDisplay = qgetenv("DISPLAY");
    const auto desktop = MakeX11Desktop();

    qputenv("DISPLAY", "");
    const auto activated = desktop->ActivateWindow(QCoreApplication::applicationPid());
    const auto typed = desktop->SendKeys("a");
    const auto malformed = desktop->SendKeys("{a");
    qputenv("DISPLAY", ":4917");
    const auto unreachable = desktop->ActivateWindow(QCoreApplication::applicationPid());
    if (hadDisplay)
        qputenv("DISPLAY", savedDisplay);
    else
        qunsetenv("DISPLAY");

    QVERIFY(!activated.ok());
    QVERIFY2(activated.error().find("DISPLAY is not set") != std::string::npos,
             activated.error().c_str());
    QVERIFY(!typed.ok());
    QVERIFY2(malformed.error().find("never closed") != std::string::npos,
             malformed.error().c_str());
    QVERIFY2(unreachable.error().find("Cannot connect to the X11 display \":4917\"") !=
                 std::string::npos,
             unreachable.error().c_str());
}

QTEST_GUILESS_MAIN(ProgramLauncherTest)
#include "program_launcher_test.moc"
