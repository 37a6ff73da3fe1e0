#include "notepad/text_file.h"

#include "notepad/failure_text.h"
#include "notepad/path_text.h"
#include "parse/text_encoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ini;

Q_DECLARE_METATYPE(ini::FailureKind)

namespace {

const QByteArray kOld = QByteArray(4096, 'o');

// Runs a probe and gives its two lines: the save's message and what the file holds after it.
QStringList RunProbe(const QString& program, const QStringList& arguments, QString* failure) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        *failure = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        if (failure->isEmpty())
            *failure = process.errorString();
        return {};
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput()).split('\n');
}

QString Probe() {
    return QCoreApplication::applicationDirPath() + "/notepad_save_probe";
}

// The probe's save of 5000 bytes over `path` by an ordinary user: nobody when the test runs as
// root, who may write anywhere. Empty, with `failure` said, when it cannot be run so.
QStringList SaveAsUser(const QString& path, QString* failure) {
    QString program = Probe();
    QStringList arguments = {"replace", path, "5000"};
    if (::geteuid() == 0) {
        arguments =
            QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + arguments;
        program = "setpriv";
    }
    return RunProbe(program, arguments, failure);
}

} // namespace

class TextFileTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { m_dir.reset(); }

    void pathTextKeepsTheBytes();
    void readFailsWithTheKindTheEditorActsOn_data();
    void readFailsWithTheKindTheEditorActsOn();

    void sizeLimitStopsSaveBeforeAByteChanges_data();
    void sizeLimitStopsSaveBeforeAByteChanges();
    void fullDiskLeavesOldBytes_data() { sizeLimitStopsSaveBeforeAByteChanges_data(); }
    void fullDiskLeavesOldBytes();
    void folderWithoutWriteAccessSavesInPlace();
    void saveThroughLinkKeepsLink();
    void readOnlyFileIsNotReplaced();
    void diskState_data();
    void diskState();

private:
    QString Write(const QString& name, const QByteArray& bytes);
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TextFileTest::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TextFileTest::Write(const QString& name, const QByteArray& bytes) {
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write test file %s", qPrintable(path));
    return path;
}

// Names of two bytes, the first from 0x80 up, UTF-8 or not, come back to their bytes; UTF-8 reads
// as Qt reads it, so a name from Qt's file dialog and the same name from the command line agree.
void TextFileTest::pathTextKeepsTheBytes() {
    QList<QByteArray> names = {"\xE2\x82\xAC\xF0\x9F\x98\x80", "\xED\xB2\x80", "\xF4\x90\x80\x80"};
    for (int first = 0x80; first <= 0xFF; ++first) {
        for (int second = 0x01; second <= 0xFF; ++second)
            names.append(QByteArray{static_cast<char>(first), static_cast<char>(second)});
    }
    for (const QByteArray& name : names) {
        const QString path = PathFromBytes(name);
        QCOMPARE(PathToBytes(path).toHex(' '), name.toHex(' '));
        if (IsValidUtf8({name.constData(), static_cast<std::size_t>(name.size())}))
            QCOMPARE(path, QString::fromUtf8(name));
        else
            QVERIFY(ShownPath(path).contains(QChar::ReplacementCharacter));
    }
}

// Only a path with nothing at it may be saved over, and only a file over the limit opens
// read-only.
void TextFileTest::readFailsWithTheKindTheEditorActsOn_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<FailureKind>("kind");
    QTest::newRow("nothing there") << "missing.ini" << FailureKind::NotFound;
    QTest::newRow("a folder") << "folder" << FailureKind::Other;
    QTest::newRow("over the limit") << "large.ini" << FailureKind::TooLarge;
}

void TextFileTest::readFailsWithTheKindTheEditorActsOn() {
    QFETCH(QString, name);
    QFETCH(FailureKind, kind);
    const QString path = m_dir->filePath(name);
    if (name == "folder")
        QVERIFY(QDir(m_dir->path()).mkdir(name));
    else if (name == "large.ini")
        Write(name, QByteArray(11, 'x'));

    const Result<QByteArray> read = ReadFileBytes(path, 10);
    QVERIFY(!read.ok());
    QCOMPARE(read.failure().kind, kind);
    QVERIFY2(FailureText(read.failure()).contains(path), read.error().c_str());
}

void TextFileTest::sizeLimitStopsSaveBeforeAByteChanges_data() {
    QTest::addColumn<bool>("inPlace");
    QTest::newRow("through a new file") << false;
    QTest::newRow("in place") << true;
}

// A process file-size limit fails writes past it just as a full disk does, without root.
void TextFileTest::sizeLimitStopsSaveBeforeAByteChanges() {
    QFETCH(bool, inPlace);
    const QString path = Write("limited.ini", kOld);
    const QByteArray bytes(64 * 1024, 'n');
    // Unchanged means its time too, or the failed save looks like another program's change.
    const timespec longAgo[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
    QVERIFY(::utimensat(AT_FDCWD, path.toLocal8Bit().constData(), longAgo, 0) == 0);

    rlimit saved{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
    rlimit limited = saved;
    limited.rlim_cur = 16 * 1024;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
    const Result<void> written =
        inPlace ? OverwriteFileInPlace(path, bytes) : WriteFileBytes(path, bytes);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!written.ok());
    const QString message = FailureText(written.failure());
    QVERIFY2(message.contains(QString::fromLocal8Bit(std::strerror(EFBIG))) &&
                 message.endsWith("the file is unchanged"),
             qPrintable(message));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), kOld);
    QCOMPARE(QFileInfo(path).lastModified().toSecsSinceEpoch(), 1'000'000'000);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"limited.ini"});
}

// A real full disk: a small file system mounted in a namespace of the probe's own.
void TextFileTest::fullDiskLeavesOldBytes() {
    QFETCH(bool, inPlace);
    const QString script = QStringLiteral(
        "mount -t tmpfs -o size=256k tmpfs \"$1\" || exit 3; "
        "head -c 150000 /dev/zero > \"$1/full.ini\" && exec \"$2\" \"$3\" \"$1/full.ini\" 300000");
    QString failure;
    const QStringList lines =
        RunProbe("unshare",
                 {"--user", "--map-root-user", "--mount", "sh", "-c", script, "sh", m_dir->path(),
                  Probe(), inPlace ? "inplace" : "replace"},
                 &failure);
    if (lines.isEmpty())
        QSKIP(qPrintable("no private mount of a small file system here: " + failure));
    QVERIFY2(lines.value(0).contains("No space left on device") &&
                 lines.value(0).endsWith("the file is unchanged"),
             qPrintable(lines.value(0)));
    QCOMPARE(lines.value(1), "old");
}

// The folder refuses new files but the file may be written: the save goes in place, into the
// same file.
void TextFileTest::folderWithoutWriteAccessSavesInPlace() {
    const QString path = Write("shared.ini", kOld);
    struct stat before {};
    QVERIFY(::stat(QFile::encodeName(path).constData(), &before) == 0);
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0666) == 0);
    QVERIFY(::chmod(QFile::encodeName(m_dir->path()).constData(), 0555) == 0);

    QString failure;
    const QStringList lines = SaveAsUser(path, &failure);
    ::chmod(QFile::encodeName(m_dir->path()).constData(), 0700);
    if (lines.isEmpty())
        QSKIP(qPrintable("cannot save as another user here: " + failure));
    QCOMPARE(lines.value(0), "saved");
    QCOMPARE(lines.value(1), "new");
    struct stat after {};
    QVERIFY(::stat(QFile::encodeName(path).constData(), &after) == 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_mode & 07777, 0666u);
}

// A symbolic link stays a link to the file written; a file with a second name (a hard link) is
// written in place, so that both names see the text.
void TextFileTest::saveThroughLinkKeepsLink() {
    const QString target = Write("target.ini", kOld);
    const QString link = m_dir->filePath("link.ini");
    const QString second = m_dir->filePath("second.ini");
    QVERIFY(QFile::link(target, link));
    QVERIFY(::link(QFile::encodeName(target).constData(), QFile::encodeName(second).constData()) ==
            0);
    QVERIFY(WriteFileBytes(link, "new").ok());
    QVERIFY(QFileInfo(link).isSymLink());
    for (const QString& name : {target, second}) {
        QFile file(name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "new");
    }
}

// A file its owner made read-only is not replaced, though its folder would allow it.
void TextFileTest::readOnlyFileIsNotReplaced() {
    const QString path = Write("protected.ini", kOld);
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0444) == 0);
    QVERIFY(::chmod(QFile::encodeName(m_dir->path()).constData(), 0777) == 0);
    if (::geteuid() == 0) // the file is the user's own, as the one who saves it
        QVERIFY(::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0);
    QString failure;
    const QStringList lines = SaveAsUser(path, &failure);
    ::chmod(QFile::encodeName(m_dir->path()).constData(), 0700);
    if (lines.isEmpty())
        QSKIP(qPrintable("cannot save as another user here: " + failure));
    QVERIFY2(lines.value(0).contains("read-only"), qPrintable(lines.value(0)));
    QCOMPARE(lines.value(1), "old");
}

void TextFileTest::diskState_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("changed");
    QTest::newRow("untouched") << "" << false;
    QTest::newRow("same size and time, other bytes") << "bytes" << true;
    QTest::newRow("longer") << "append" << true;
    QTest::newRow("deleted") << "delete" << true;
}

void TextFileTest::diskState() {
    QFETCH(QString, change);
    QFETCH(bool, changed);
    const QString path = Write("watched.ini", kOld);
    const DiskState state = DiskState::Of(path, kOld);
    if (change == "bytes") {
        const QDateTime time = QFileInfo(path).lastModified();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.write("X") == 1);
        QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
    } else if (change == "append") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        QVERIFY(file.write("X") == 1);
    } else if (change == "delete") {
        QVERIFY(QFile::remove(path));
    }
    QCOMPARE(state.ChangedAt(path), changed);
    // A file that was not there when the editor looked has changed once anything is there.
    QCOMPARE(DiskState::Absent().ChangedAt(path), QFileInfo::exists(path));
}

QTEST_GUILESS_MAIN(TextFileTest)
#include "text_file_test.moc"
