#include "ui/live_folder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace ini;

class LiveFolderTest : public QObject {
    Q_OBJECT

private slots:
    void listsThenFollowsTheFolder_data();
    void listsThenFollowsTheFolder();
};

void LiveFolderTest::listsThenFollowsTheFolder_data() {
    QTest::addColumn<Threading>("threading");
    QTest::newRow("on a thread of its own") << Threading::OwnThread;
    QTest::newRow("on the owner's thread") << Threading::Inline;
}

// The wanted entries arrive sorted once listed, and a change to the folder arrives after them,
// whether or not the listing has a thread; a folder removed and made again is listed again
// once it is back; a stop at the end returns.
void LiveFolderTest::listsThenFollowsTheFolder() {
    QFETCH(Threading, threading);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const auto touch = [&](const QString& name) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly);
    };
    for (const char* name : {"b.ini", "A.INI", ".hidden.ini", "notes.txt"})
        QVERIFY(touch(name));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub.ini")));

    LiveFolder folder(Wanted::IniFiles, nullptr, threading);
    FolderSnapshot shown;
    int deliveries = 0;
    connect(&folder, &LiveFolder::changed, this, [&](const FolderSnapshot& entries) {
        ++deliveries;
        folder.Release(std::exchange(shown, entries));
    });
    const auto names = [&] {
        QStringList list;
        if (shown) {
            for (const FolderEntry& entry : *shown)
                list << entry.name;
        }
        return list;
    };
    folder.Open(QFile::encodeName(dir.path()).toStdString());
    QTRY_VERIFY(folder.Listed());
    QTRY_COMPARE(names(), (QStringList{"A.INI", "b.ini"}));
    QVERIFY(touch(QStringLiteral("c.ini")));
    QTRY_COMPARE(names(), (QStringList{"A.INI", "b.ini", "c.ini"}));

    QVERIFY(QDir(dir.path()).removeRecursively());
    QTRY_COMPARE(names(), QStringList());
    QVERIFY(QDir().mkpath(dir.path()));
    QVERIFY(touch(QStringLiteral("d.ini")));
    QTRY_COMPARE(names(), QStringList{"d.ini"});

    // A file made while the folder could not be read shows once it can be again (its owner may
    // still make files in it). Root reads every folder.
    if (::geteuid() == 0)
        return;
    const QByteArray path = QFile::encodeName(dir.path());
    QVERIFY(::chmod(path.constData(), 0300) == 0);
    const int before = deliveries;
    QVERIFY(touch(QStringLiteral("late.ini")));
    QTRY_VERIFY(deliveries > before); // the change was looked at, and the file not seen
    QCOMPARE(names(), QStringList{"d.ini"});
    QVERIFY(::chmod(path.constData(), 0700) == 0);
    QTRY_COMPARE(names(), (QStringList{"d.ini", "late.ini"}));
}

QTEST_GUILESS_MAIN(LiveFolderTest)
#include "live_folder_test.moc"
