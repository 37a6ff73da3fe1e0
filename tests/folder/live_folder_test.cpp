#include "ui/live_folder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

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
    connect(&folder, &LiveFolder::changed, this,
            [&](const FolderSnapshot& entries) { folder.Release(std::exchange(shown, entries)); });
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
}

QTEST_GUILESS_MAIN(LiveFolderTest)
#include "live_folder_test.moc"
