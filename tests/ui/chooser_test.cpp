#include "ui/drive_list.h"
#include "ui/file_list.h"
#include "ui/folder_list.h"
#include "ui/remembered_file.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace ini;

namespace {

void Touch(const QString& path) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

} // namespace

class ChooserTest : public QObject {
    Q_OBJECT

private slots:
    void offersBrowsableFileSystems();
    void findsTheFileSystemHoldingAPath_data();
    void findsTheFileSystemHoldingAPath();
    void listsIniFilesInAnyCaseSortedByName();
    void folderListShowsAncestorsAndSubfolders();
    void folderListRefusesWhatItCannotOpen();
    void folderListOpensOnActivation();
    void rememberedValueRoundTrips_data();
    void rememberedValueRoundTrips();
    void rememberedPathGivesFolderToShow_data();
    void rememberedPathGivesFolderToShow();
};

void ChooserTest::offersBrowsableFileSystems() {
    const auto volume = [](const char* mount, const char* type, bool ready = true,
                           qint64 bytes = 1000, bool folder = true) {
        return Volume{QString::fromLatin1(mount), type, true, ready, bytes, folder};
    };
    const QList<Volume> mounted = {
        volume("/", "overlay"),
        volume("/media/usb", "vfat"),
        volume("/home", "ext4"),
        volume("/dev", "devtmpfs"),
        volume("/run", "tmpfs"),
        volume("/dev/shm", "ramfs"),
        volume("/snap/core/1", "squashfs"),
        volume("/media/cdrom", "iso9660", false),
        volume("/mnt/empty", "ext4", true, 0),
        volume("/etc/hosts", "ext4", true, 1000, false),
        volume("/mnt/share", "nfs4"),
        Volume{QStringLiteral("/mnt/broken"), "ext4", false, true, 1000, true},
    };
    QCOMPARE(BrowsableMountPoints(mounted),
             QStringList({"/", "/home", "/media/usb", "/mnt/share"}));
    // The root file system is offered even when nothing reports it.
    QCOMPARE(BrowsableMountPoints({}), QStringList{"/"});
}

void ChooserTest::findsTheFileSystemHoldingAPath_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("mount");
    QTest::newRow("root") << "/"
                          << "/";
    QTest::newRow("plain folder") << "/usr/share"
                                  << "/";
    QTest::newRow("mount point itself") << "/media/usb"
                                        << "/media/usb";
    QTest::newRow("inside a mount") << "/media/usb/maps/a.ini"
                                    << "/media/usb";
    QTest::newRow("longest prefix wins") << "/media/usb/inner/x"
                                         << "/media/usb/inner";
    QTest::newRow("name prefix is not a folder prefix") << "/media/usb2/x"
                                                        << "/";
    QTest::newRow("trailing separator") << "/media/usb/"
                                        << "/media/usb";
}

void ChooserTest::findsTheFileSystemHoldingAPath() {
    QFETCH(QString, path);
    QFETCH(QString, mount);
    const QStringList mounts = {"/", "/media/usb", "/media/usb/inner", "/home"};
    QCOMPARE(MountHolding(mounts, path), mount);
}

void ChooserTest::listsIniFilesInAnyCaseSortedByName() {
    QTemporaryDir dir;
    for (const char* name : {"b.ini", "ARMOR.INI", "a.Ini", "notes.txt", "ini", ".hidden.ini"})
        Touch(dir.filePath(QLatin1String(name)));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.ini")));
    QCOMPARE(MatchingFiles(dir.path()), QStringList({"a.Ini", "ARMOR.INI", "b.ini"}));

    FileList list;
    list.SetFolder(dir.path());
    QCOMPARE(list.count(), 3);
    QCOMPARE(list.FileName(), QString());
    QSignalSpy clicks(&list, &FileList::fileClicked);
    list.setCurrentRow(1);
    QCOMPARE(list.FileName(), QStringLiteral("ARMOR.INI"));
    // Moving the selection with the keyboard counts as a click on the file.
    QTest::keyClick(&list, Qt::Key_Down);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(list.FileName(), QStringLiteral("b.ini"));
}

void ChooserTest::folderListShowsAncestorsAndSubfolders() {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("Data/INI"));
    QDir(dir.path()).mkpath(QStringLiteral("art"));
    QDir(dir.path()).mkpath(QStringLiteral(".cache"));
    FolderList list;
    QSignalSpy changes(&list, &FolderList::pathChanged);
    QVERIFY(list.SetPath(dir.path() + QStringLiteral("/Data/../")));
    QCOMPARE(list.Path(), QDir::cleanPath(dir.path()));
    QCOMPARE(changes.count(), 1);

    // "/" on top, each ancestor one step in, the shown folder current, its subfolders below it.
    QTreeWidgetItem* item = list.topLevelItem(0);
    QCOMPARE(item->text(0), QStringLiteral("/"));
    const QStringList parts = list.Path().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        QCOMPARE(item->childCount() >= 1, true);
        item = item->child(0);
        QCOMPARE(item->text(0), part);
    }
    QCOMPARE(list.currentItem(), item);
    QCOMPARE(item->childCount(), 2);
    QCOMPARE(item->child(0)->text(0), QStringLiteral("art"));
    QCOMPARE(item->child(1)->text(0), QStringLiteral("Data"));

    // Setting the same path again is no change.
    QVERIFY(list.SetPath(dir.path()));
    QCOMPARE(changes.count(), 1);
    QVERIFY(list.SetPath(QStringLiteral("/")));
    QCOMPARE(list.Path(), QStringLiteral("/"));
}

void ChooserTest::folderListRefusesWhatItCannotOpen() {
    QTemporaryDir dir;
    Touch(dir.filePath(QStringLiteral("file.ini")));
    FolderList list;
    QVERIFY(list.SetPath(dir.path()));
    QSignalSpy changes(&list, &FolderList::pathChanged);
    QVERIFY(!list.SetPath(dir.filePath(QStringLiteral("missing"))));
    QVERIFY(!list.SetPath(dir.filePath(QStringLiteral("file.ini"))));
    QCOMPARE(list.Path(), QDir::cleanPath(dir.path()));
    QCOMPARE(changes.count(), 0);
}

void ChooserTest::folderListOpensOnActivation() {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("maps"));
    FolderList list;
    QVERIFY(list.SetPath(dir.path()));
    QSignalSpy changes(&list, &FolderList::pathChanged);
    QTreeWidgetItem* maps = list.currentItem()->child(0);
    list.setCurrentItem(maps);
    QTest::keyClick(&list, Qt::Key_Return);
    QTRY_COMPARE(changes.count(), 1);
    QCOMPARE(list.Path(), QDir::cleanPath(dir.filePath(QStringLiteral("maps"))));
}

void ChooserTest::rememberedValueRoundTrips_data() {
    QTest::addColumn<QString>("value");
    QTest::newRow("windows path") << R"(D:\test\Data\INI\DrawGroupInfo.ini)";
    QTest::newRow("spaces, = and ;") << "/home/a b/x = y; z.ini";
    QTest::newRow("quotes") << R"(/tmp/"quoted" 'single'.ini)";
    QTest::newRow("commas") << "/tmp/a,b,c.ini";
    QTest::newRow("leading @") << "@Variant(x)";
    QTest::newRow("non-ASCII") << QStringLiteral("/home/zoë/Données/été.ini");
    QTest::newRow("empty") << QString();
}

void ChooserTest::rememberedValueRoundTrips() {
    QFETCH(QString, value);
    QTemporaryDir dir;
    const RememberedFile store(dir.filePath(QStringLiteral("settings.conf")));
    QCOMPARE(store.Read(), QString());
    QCOMPARE(store.Write(value), std::nullopt);
    QCOMPARE(RememberedFile(dir.filePath(QStringLiteral("settings.conf"))).Read(), value);
}

void ChooserTest::rememberedPathGivesFolderToShow_data() {
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<QString>("folder"); // relative to the temporary folder; "-" for nothing
    QTest::newRow("existing folder") << "%1/Data/INI/DrawGroupInfo.ini"
                                     << "Data/INI";
    QTest::newRow("folder gone") << "%1/Data/Gone/Deeper/x.ini"
                                 << "Data";
    QTest::newRow("trailing separator") << "%1/Data/"
                                        << "Data";
    QTest::newRow("doubled separator") << "%1/Data//x.ini"
                                       << "Data";
    QTest::newRow("no separator") << R"(D:\test\Data\INI\DrawGroupInfo.ini)"
                                  << "-";
    QTest::newRow("name only") << "x.ini"
                               << "-";
    QTest::newRow("root") << "//Armor.ini"
                          << "/";
}

void ChooserTest::rememberedPathGivesFolderToShow() {
    QFETCH(QString, remembered);
    QFETCH(QString, folder);
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("Data/INI"));
    const QString base = QDir::cleanPath(dir.path());
    const std::optional<QString> shown =
        FolderToShow(QString(remembered).replace(QStringLiteral("%1"), base));
    if (folder == QLatin1String("-"))
        QCOMPARE(shown, std::nullopt);
    else if (folder == QLatin1String("/"))
        QCOMPARE(shown, std::optional<QString>(QStringLiteral("/")));
    else
        QCOMPARE(shown, std::optional<QString>(base + QLatin1Char('/') + folder));
}

QTEST_MAIN(ChooserTest)
#include "chooser_test.moc"
