#include "platform/desktop.h"
#include "platform/program_launcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

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

// Writes its process id, its argument count and each argument on a line of args.out beside
// itself; renamed into place so a reader never sees half of it.
const QByteArray kArgumentDump = "#!/bin/sh\n"
                                 "out=\"$(dirname \"$0\")/args.out\"\n"
                                 "{ echo $$; echo $#; for a in \"$@\"; do printf '%s\\n' \"$a\"; "
                                 "done; } > \"$out.tmp\" && mv \"$out.tmp\" \"$out\"\n";

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
    WriteFile(m_second + "/argdump", kArgumentDump, true);
}

void ProgramLauncherTest::splitsAtTheFirstSpace_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("program");
    QTest::addColumn<bool>("hasArgument");
    QTest::addColumn<QString>("argument");

    QTest::newRow("one argument") << "notepad.exe a.ini"
                                  << "notepad.exe" << true << "a.ini";
    QTest::newRow("spaces stay in the argument") << "notepad.exe my files/a b.ini"
                                                 << "notepad.exe" << true << "my files/a b.ini";
    QTest::newRow("second space kept") << "notepad.exe  a"
                                       << "notepad.exe" << true << " a";
    QTest::newRow("trailing space kept") << "notepad.exe a "
                                         << "notepad.exe" << true << "a ";
    QTest::newRow("nothing after the space") << "notepad.exe "
                                             << "notepad.exe" << false << "";
    QTest::newRow("no space") << "notepad.exe"
                              << "notepad.exe" << false << "";
    QTest::newRow("utf-8") << "notepad.exe d\u00e9j\u00e0.ini"
                           << "notepad.exe" << true << "d\u00e9j\u00e0.ini";
}

void ProgramLauncherTest::splitsAtTheFirstSpace() {
    QFETCH(QString, text);
    QFETCH(QString, program);
    QFETCH(bool, hasArgument);
    QFETCH(QString, argument);

    const auto split = SplitCommandLine(text.toStdString());
    QVERIFY(split.ok());
    QCOMPARE(split.value().program, program);
    QCOMPARE(split.value().argument.has_value(), hasArgument);
    if (hasArgument)
        QCOMPARE(*split.value().argument, argument);
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
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QStringList>("arguments");

    const QString dump = "argdump.exe ";
    for (const QString& argument :
         {QString("plain.ini"), QString("/my files/a b.ini"),
          QString("it's \"quoted\" and 'single'"), QString("a.ini; touch pwned"),
          QString("$(touch pwned) `touch pwned` | touch pwned & > pwned"),
          QString("  leading and trailing  "), QString("*.ini ~ $HOME \\n")}) {
        QTest::newRow(qPrintable(argument)) << dump + argument << QStringList{argument};
    }
    QTest::newRow("nothing after the space") << dump << QStringList{};
    QTest::newRow("no space") << "argdump" << QStringList{};
}

void ProgramLauncherTest::startPassesTheRestAsOneArgumentWithoutAShell() {
    QFETCH(QString, commandLine);
    QFETCH(QStringList, arguments);
    const QString out = m_second + "/args.out";
    QFile::remove(out);

    const auto task = StartDetached(commandLine.toStdString(), {m_first, m_second});
    QVERIFY2(task.ok(), task.error().c_str());

    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 10000);
    QFile file(out);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    QCOMPARE(lines.takeLast(), QString()); // the final newline
    QCOMPARE(lines.takeFirst().toLongLong(), task.value());
    QCOMPARE(lines.takeFirst().toInt(), arguments.size());
    QCOMPARE(lines, arguments);
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
