#include "list_support.h"
#include "path_bytes.h"
#include "ui/drive_list.h"
#include "ui/file_list.h"
#include "ui/folder_list.h"
#include "ui/path_text.h"
#include "ui/remembered_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

using namespace ini;

namespace {

void Touch(const QString& path) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

// A file named by bytes inside `folder`.
bool TouchBytes(const QString& folder, const std::string& name) {
    const int fd = open((PathFromText(folder) + '/' + name).c_str(), O_WRONLY | O_CREAT, 0644);
    return fd >= 0 && close(fd) == 0;
}

// A settings file holding `content` in `dir`.
QString StoreHolding(const QTemporaryDir& dir, const QByteArray& content) {
    const QString file = dir.filePath(QStringLiteral("settings.conf"));
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(file));
    return file;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class ChooserTest : public QObject {
    Q_OBJECT

private slots:
    void offersBrowsableFileSystems();
    void findsTheFileSystemHoldingAPath_data();
    void findsTheFileSystemHoldingAPath();
    void pathTextDecodes_data();
    void pathTextDecodes();
    void everyByteOfANameRoundTrips();
    void listsIniFilesInAnyCaseSortedByName();
    void listsFollowTheFolderAsItChanges();
    void onlyFoldersAreListedAsFolders();
    void folderListShowsAncestorsAndSubfolders();
    void folderListRefusesWhatItCannotOpen();
    void folderListOpensOnActivation();
    void rememberedValueRoundTrips_data();
    void rememberedValueRoundTrips();
    void storingChangesTheValuesLineAlone_data();
    void storingChangesTheValuesLineAlone();
    void handWrittenPathsReadAsWritten_data();
    void handWrittenPathsReadAsWritten();
    void linkedStoreStaysALink();
    void storeStaysItsOwners();
    void protectedStoreIsLeftAlone();
    void storeThatIsNoRegularFileIsNotRead();
    void unreadableSettingsAreLeftAsTheyAre_data();
    void unreadableSettingsAreLeftAsTheyAre();
    void noHomeFolderMeansNothingIsWritten();
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

void ChooserTest::pathTextDecodes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const auto escaped = [](std::initializer_list<int> bytes) {
        QString text;
        for (int b : bytes)
            text.append(QChar(0xDC00 + b));
        return text;
    };
    QTest::newRow("ASCII") << QByteArray("/maps/a b.ini") << QStringLiteral("/maps/a b.ini");
    QTest::newRow("two, three and four bytes")
        << QByteArray("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80") << QStringLiteral("é€😀");
    QTest::newRow("stray byte") << QByteArray("a\xff") << "a" + escaped({0xff});
    QTest::newRow("cut sequence, then ASCII") << QByteArray("\xe2\x82"
                                                            "A")
                                              << escaped({0xe2, 0x82}) + "A";
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << escaped({0xc0, 0xaf});
    QTest::newRow("encoded surrogate") << QByteArray("\xed\xb3\xbf") << escaped({0xed, 0xb3, 0xbf});
    QTest::newRow("past U+10FFFF")
        << QByteArray("\xf4\x90\x80\x80") << escaped({0xf4, 0x90, 0x80, 0x80});
    QTest::newRow("Latin-1 name") << QByteArray("caf\xe9.ini") << "caf" + escaped({0xe9}) + ".ini";
}

void ChooserTest::pathTextDecodes() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(TextFromPath(bytes.toStdString()), text);
    QCOMPARE(QByteArray::fromStdString(PathFromText(text)), bytes);
}

void ChooserTest::everyByteOfANameRoundTrips() {
    // A surrogate that stands for no byte is not a path; it becomes U+FFFD.
    QCOMPARE(PathFromText(QString(QChar(0xD800))), std::string("\xef\xbf\xbd"));

    // Every byte but "/" in the name of a real file, which the file list offers and which can
    // be opened through the name it shows.
    QTemporaryDir dir;
    std::vector<std::string> made;
    // Qt cannot see names that are not UTF-8, so the folder is emptied by hand.
    const auto cleanUp = qScopeGuard([&] {
        for (const std::string& name : made)
            unlink((PathFromText(dir.path()) + '/' + name).c_str());
    });
    std::string all;
    for (const std::string& oneByte : OneByteNames()) {
        const std::string name = oneByte + ".ini";
        QCOMPARE(PathFromText(TextFromPath(name)), name);
        if (oneByte.back() != '.')
            all += oneByte.back();
        QVERIFY(TouchBytes(dir.path(), name));
        made.push_back(name);
    }
    QCOMPARE(PathFromText(TextFromPath(all)), all);

    FileList list;
    list.SetFolder(dir.path());
    QTRY_VERIFY(list.Listed());
    const QStringList shown = ShownNames(&list);
    QCOMPARE(shown.size(), 254);
    for (const QString& name : shown) {
        const std::string path = PathFromText(dir.path() + QLatin1Char('/') + name);
        struct stat info {};
        QVERIFY2(stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode), qPrintable(name));
    }
}

void ChooserTest::listsIniFilesInAnyCaseSortedByName() {
    QTemporaryDir dir;
    for (const char* name : {"b.ini", "ARMOR.INI", "a.Ini", "notes.txt", "ini", ".hidden.ini"})
        Touch(dir.filePath(QLatin1String(name)));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.ini")));

    FileList list;
    list.SetFolder(dir.path());
    QTRY_VERIFY(list.Listed());
    QCOMPARE(ShownNames(&list), QStringList({"a.Ini", "ARMOR.INI", "b.ini"}));
    QCOMPARE(list.FileName(), QString());
    QSignalSpy clicks(&list, &FileList::fileClicked);
    QVERIFY(SelectName(&list, QStringLiteral("ARMOR.INI")));
    QCOMPARE(list.FileName(), QStringLiteral("ARMOR.INI"));
    // Moving the selection with the keyboard counts as a click on the file.
    QTest::keyClick(&list, Qt::Key_Down);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(list.FileName(), QStringLiteral("b.ini"));
    // So does Space on a row that shows only the focus frame.
    list.selectionModel()->clearSelection();
    QCOMPARE(list.FileName(), QString());
    QTest::keyClick(&list, Qt::Key_Space);
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(list.FileName(), QStringLiteral("b.ini"));
    // Enter opens the file, choosing it first when only the frame is on it.
    QSignalSpy opened(&list, &FileList::fileOpened);
    list.selectionModel()->clearSelection();
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(clicks.count(), 3);
    QCOMPARE(opened.count(), 1);
    QCOMPARE(list.FileName(), QStringLiteral("b.ini"));
}

void ChooserTest::listsFollowTheFolderAsItChanges() {
    QTemporaryDir dir;
    Touch(dir.filePath(QStringLiteral("b.ini")));
    FileList files;
    FolderList folders;
    files.SetFolder(dir.path());
    QVERIFY(folders.SetPath(dir.path()));
    QTRY_VERIFY(files.Listed() && folders.Listed());
    QVERIFY(SelectName(&files, QStringLiteral("b.ini")));

    Touch(dir.filePath(QStringLiteral("a.ini")));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("maps")));
    QTRY_COMPARE(ShownNames(&files), QStringList({"a.ini", "b.ini"}));
    QTRY_COMPARE(ShownNames(&folders), QStringList{"maps"});
    // The chosen file stays chosen while rows come and go around it.
    QCOMPARE(files.FileName(), QStringLiteral("b.ini"));

    QVERIFY(QFile::rename(dir.filePath(QStringLiteral("a.ini")), dir.filePath("c.INI")));
    QTRY_COMPARE(ShownNames(&files), QStringList({"b.ini", "c.INI"}));
    QVERIFY(QFile::remove(dir.filePath(QStringLiteral("b.ini"))));
    QVERIFY(QDir(dir.path()).rmdir(QStringLiteral("maps")));
    QTRY_COMPARE(ShownNames(&files), QStringList{"c.INI"});
    QTRY_COMPARE(ShownNames(&folders), QStringList());
    QCOMPARE(files.FileName(), QString());
}

void ChooserTest::onlyFoldersAreListedAsFolders() {
    QTemporaryDir dir;
    const QDir folder(dir.path());
    QVERIFY(folder.mkdir(QStringLiteral("real")));
    Touch(dir.filePath(QStringLiteral("plain.ini")));
    const std::string base = PathFromText(dir.path()) + '/';
    QCOMPARE(mkfifo((base + "fifo.ini").c_str(), 0644), 0);
    const std::pair<const char*, const char*> links[] = {
        {"real", "to-folder"},          {"fifo.ini", "to-fifo"},
        {"fifo.ini", "to-fifo.ini"},    {"/dev/null", "to-device"},
        {"/dev/null", "to-device.ini"}, {"missing", "to-nothing"},
        {"plain.ini", "to-file.ini"},   {"missing.ini", "to-nothing.ini"},
    };
    for (const auto& [target, name] : links)
        QCOMPARE(symlink(target, (base + name).c_str()), 0);

    FolderList folders;
    FileList files;
    QVERIFY(folders.SetPath(dir.path()));
    files.SetFolder(dir.path());
    QTRY_VERIFY(folders.Listed() && files.Listed());
    QCOMPARE(ShownNames(&folders), QStringList({"real", "to-folder"}));
    QCOMPARE(ShownNames(&files), QStringList({"plain.ini", "to-file.ini"}));
    // Neither can be opened as a folder by name either.
    QVERIFY(!folders.SetPath(dir.filePath(QStringLiteral("to-fifo"))));
    QVERIFY(!folders.SetPath(dir.filePath(QStringLiteral("to-nothing"))));
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
    const QAbstractItemModel* model = list.model();
    QCOMPARE(model->rowCount(), 1);
    QModelIndex item = model->index(0, 0);
    QCOMPARE(item.data().toString(), QStringLiteral("/"));
    for (const QString& part : list.Path().split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        QCOMPARE(model->rowCount(item), 1);
        item = model->index(0, 0, item);
        QCOMPARE(item.data().toString(), part);
        QVERIFY(list.isExpanded(item.parent()));
    }
    QCOMPARE(list.currentIndex(), item);
    QTRY_COMPARE(ShownNames(&list), QStringList({"art", "Data"}));

    // Setting the same path again is no change.
    QVERIFY(list.SetPath(dir.path()));
    QCOMPARE(changes.count(), 1);
    QVERIFY(list.SetPath(QStringLiteral("/")));
    QCOMPARE(list.Path(), QStringLiteral("/"));
    QCOMPARE(list.currentIndex(), model->index(0, 0));
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
    QTRY_COMPARE(ShownNames(&list), QStringList{"maps"});
    QVERIFY(SelectName(&list, QStringLiteral("maps")));
    QTest::keyClick(&list, Qt::Key_Return);
    QTRY_COMPARE(changes.count(), 1);
    QCOMPARE(list.Path(), QDir::cleanPath(dir.filePath(QStringLiteral("maps"))));
    // An ancestor opens the same way.
    list.setCurrentIndex(list.model()->index(0, 0));
    QTest::keyClick(&list, Qt::Key_Return);
    QTRY_COMPARE(changes.count(), 2);
    QCOMPARE(list.Path(), QStringLiteral("/"));
}

void ChooserTest::rememberedValueRoundTrips_data() {
    QTest::addColumn<QString>("value");
    QTest::newRow("windows path") << R"(D:\test\Data\INI\DrawGroupInfo.ini)";
    QTest::newRow("spaces, = and ;") << "/home/a b/x = y; z.ini";
    QTest::newRow("quotes") << R"(/tmp/"quoted" 'single'.ini)";
    QTest::newRow("commas") << "/tmp/a,b,c.ini";
    QTest::newRow("leading @") << "@Variant(x)";
    QTest::newRow("non-ASCII") << QStringLiteral("/home/zoë/Données/été.ini");
    QTest::newRow("not UTF-8") << TextFromPath("/maps/caf\xe9/\xff\xfe.ini");
    QTest::newRow("empty") << QString();
}

void ChooserTest::rememberedValueRoundTrips() {
    QFETCH(QString, value);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("settings.conf"));
    const RememberedFile store(file);
    QCOMPARE(store.Read(), QString());
    const Result<void> written = store.Write(value);
    QVERIFY2(written.ok(), written.error().c_str());
    // Read from a copy: a store of the same name would answer from memory, not from the file.
    QVERIFY(QFile::copy(file, dir.filePath(QStringLiteral("copy.conf"))));
    QCOMPARE(RememberedFile(dir.filePath(QStringLiteral("copy.conf"))).Read(), value);
}

void ChooserTest::storingChangesTheValuesLineAlone_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after"); // once "/new.ini" is stored
    const QByteArray handWritten = "; mine\r\n[options]\r\neditor=\"/opt/my editor/ed\" %f\r\n"
                                   "folder=/maps/d\xff\r\nlastfile=/old.ini\r\n\r\n"
                                   "[other]\r\nzeta=1\r\nalpha=2\r\n";
    QTest::newRow("in place") << handWritten
                              << QByteArray(handWritten).replace("/old.ini", "/new.ini");
    QTest::newRow("at the end of its group")
        << QByteArray("[options]\neditor=x\n\n[other]\nk=v\n")
        << QByteArray("[options]\neditor=x\nlastfile=/new.ini\n\n[other]\nk=v\n");
    QTest::newRow("in a group of its own")
        << QByteArray("[other]\nk=v") << QByteArray("[other]\nk=v\n[options]\nlastfile=/new.ini\n");
    QTest::newRow("byte order mark, comment after the group, no last line end")
        << QByteArray("\xEF\xBB\xBF[options] ; mine\nlastfile=/old.ini")
        << QByteArray("\xEF\xBB\xBF[options] ; mine\nlastfile=/new.ini");
    QTest::newRow("lone CRs") << QByteArray("[options]\rlastfile=/old.ini\r[other]\rk=v\r")
                              << QByteArray("[options]\rlastfile=/new.ini\r[other]\rk=v\r");
    QTest::newRow("mixed line ends: the line keeps its own")
        << QByteArray("[options]\r\nlastfile=/old.ini\r[other]\r\nk=v\r\n")
        << QByteArray("[options]\r\nlastfile=/new.ini\r[other]\r\nk=v\r\n");
    QTest::newRow("another group last, without a last line end")
        << QByteArray("[options]\neditor=x\n[other]\nk=v")
        << QByteArray("[options]\neditor=x\nlastfile=/new.ini\n[other]\nk=v");
    // A command with a comma once had to be quoted whole.
    QTest::newRow("command quoted whole")
        << QByteArray("[options]\neditor=\"code -g %f:%l,x\"\n")
        << QByteArray("[options]\neditor=\"code -g %f:%l,x\"\nlastfile=/new.ini\n");
    QTest::newRow("once") << QByteArray("[options]\nlastfile=/a\nx=1\nlastfile=/b\n")
                          << QByteArray("[options]\nlastfile=/new.ini\nx=1\n");
}

// What a user wrote by hand stays byte for byte (QSettings would rewrite every value it parsed,
// and parse some wrongly), and is read as written.
void ChooserTest::storingChangesTheValuesLineAlone() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const QString file = StoreHolding(dir, before);
    const RememberedFile store(file);
    if (before.contains("my editor")) {
        QCOMPARE(store.EditorCommand(), QStringLiteral(R"("/opt/my editor/ed" %f)"));
        QCOMPARE(store.Folder(), TextFromPath("/maps/d\xff"));
    }
    if (before.contains("code -g"))
        QCOMPARE(store.EditorCommand(), QStringLiteral("code -g %f:%l,x"));
    const Result<void> written = store.Write(QStringLiteral("/new.ini"));
    QVERIFY2(written.ok(), written.error().c_str());
    QCOMPARE(ReadAll(file), after);
}

void ChooserTest::handWrittenPathsReadAsWritten_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("path");
    QTest::newRow("bare comma") << QByteArray("folder=/maps/a,b") << "/maps/a,b";
    // Read as a list, whose items lose their spaces: it is one path all the same.
    QTest::newRow("comma and space")
        << QByteArray("folder=/maps/My Mods, Vol 2 ") << "/maps/My Mods, Vol 2";
    QTest::newRow("comma, then a comment") << QByteArray("folder=/m/a, b ; mine") << "/m/a, b";
    QTest::newRow("quoted") << QByteArray(R"(folder="/m/a, b")") << "/m/a, b";
}

void ChooserTest::handWrittenPathsReadAsWritten() {
    QFETCH(QByteArray, line);
    QFETCH(QString, path);
    QTemporaryDir dir;
    QCOMPARE(RememberedFile(StoreHolding(dir, "[options]\n" + line + "\n")).Folder(), path);
}

// A store that is a link stays one, the file it names written; one its owner made read-only is
// left as it is, though its folder would let a copy replace it.
void ChooserTest::linkedStoreStaysALink() {
    QTemporaryDir dir;
    const QString real = StoreHolding(dir, "[options]\nlastfile=/old.ini\n");
    const QString link = dir.filePath(QStringLiteral("link.conf"));
    QVERIFY(QFile::link(real, link));
    QVERIFY(RememberedFile(link).Write(QStringLiteral("/new.ini")).ok());
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(ReadAll(real), QByteArray("[options]\nlastfile=/new.ini\n"));

    // A link to a file not made yet: the file is made, the link kept.
    const QString later = dir.filePath(QStringLiteral("later.conf"));
    const QString dangling = dir.filePath(QStringLiteral("dangling.conf"));
    QVERIFY(QFile::link(later, dangling));
    const Result<void> made = RememberedFile(dangling).Write(QStringLiteral("/new.ini"));
    QVERIFY2(made.ok(), made.error().c_str());
    QVERIFY(QFileInfo(dangling).isSymLink());
    QCOMPARE(ReadAll(later), QByteArray("[options]\nlastfile=/new.ini\n"));
}

// Root writing a user's store (sudo keeping HOME) leaves it the user's, or the user's own runs
// could no longer read it.
void ChooserTest::storeStaysItsOwners() {
    if (geteuid() != 0)
        QSKIP("only root may give a file to another user");
    QTemporaryDir dir;
    const QString file = StoreHolding(dir, "[options]\nlastfile=/old.ini\n");
    const std::string bytes = PathFromText(file);
    QCOMPARE(chown(bytes.c_str(), 65534, 65534), 0);
    const Result<void> written = RememberedFile(file).Write(QStringLiteral("/new.ini"));
    QVERIFY2(written.ok(), written.error().c_str());
    struct stat now {};
    QCOMPARE(stat(bytes.c_str(), &now), 0);
    QCOMPARE(now.st_uid, uid_t{65534});
    QCOMPARE(now.st_gid, gid_t{65534});
    QCOMPARE(ReadAll(file), QByteArray("[options]\nlastfile=/new.ini\n"));
}

// Only a regular file is read as a store: a pipe would hold the start up for ever, a device
// such as /dev/zero or a virtual file without end would fill memory. None is replaced.
void ChooserTest::storeThatIsNoRegularFileIsNotRead() {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo.conf"));
    QCOMPARE(mkfifo(PathFromText(fifo).c_str(), 0600), 0);
    const QString device = dir.filePath(QStringLiteral("zero.conf"));
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), device));
    // A regular file that reads as empty but has no end for a store.
    const QString endless = dir.filePath(QStringLiteral("pagemap.conf"));
    QVERIFY(QFile::link(QStringLiteral("/proc/self/pagemap"), endless));
    for (const QString& store : {fifo, device, endless}) {
        const RememberedFile remembered(store);
        QCOMPARE(remembered.Read(), QString());
        QCOMPARE(remembered.EditorCommand(), QString());
        QVERIFY(remembered.AutoReload());
        const Result<void> written = remembered.Write(QStringLiteral("/new.ini"));
        QVERIFY(!written.ok() && TextFromPath(written.error()).contains(store));
    }
    QVERIFY(QFileInfo(fifo).isReadable() && !QFileInfo(fifo).isFile());
    QVERIFY(QFileInfo(device).isSymLink());
}

void ChooserTest::protectedStoreIsLeftAlone() {
    QTemporaryDir dir;
    const QString real = StoreHolding(dir, "[options]\nlastfile=/new.ini\n");
    // Told by its mode, also for a user who may write any file.
    QVERIFY(QFile::setPermissions(real, QFileDevice::ReadOwner | QFileDevice::ReadUser));
    const Result<void> written = RememberedFile(real).Write(QStringLiteral("/other.ini"));
    QVERIFY(!written.ok() && TextFromPath(written.error()).contains(QStringLiteral("read-only")));
    QCOMPARE(ReadAll(real), QByteArray("[options]\nlastfile=/new.ini\n"));
}

void ChooserTest::unreadableSettingsAreLeftAsTheyAre_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("stored");
    QTest::newRow("other values") << QByteArray(
                                         "[other]\nvolume=7\n\n[options]\nlastfile=/old.ini\n")
                                  << true;
    static const char garbage[] = "\x01\x02garbage\xff\xfe\n[x\nzzz\n\0\0\0";
    QTest::newRow("garbage") << QByteArray(garbage, sizeof garbage - 1) << false;
    // Far larger than any store: not even read, so that the window does not wait for it.
    QByteArray huge = "[options]\nlastfile=/old.ini\n";
    while (huge.size() <= (1 << 20))
        huge += "[other]\nvolume=7\n";
    QTest::newRow("huge") << huge << false;
    // Just within the limit, but not with the new value: it would not be read again.
    QByteArray full = "[options]\nlastfile=/x\n;";
    full += QByteArray((1 << 20) - full.size() - 1, 'p') + "\n";
    QTest::newRow("full") << full << false;
}

void ChooserTest::unreadableSettingsAreLeftAsTheyAre() {
    QFETCH(QByteArray, content);
    QFETCH(bool, stored);
    QTemporaryDir dir;
    const QString file = StoreHolding(dir, content);
    const Result<void> written = RememberedFile(file).Write(QStringLiteral("/new.ini"));
    if (stored) {
        QVERIFY2(written.ok(), written.error().c_str());
        QVERIFY(ReadAll(file).contains("volume=7"));
        QVERIFY(ReadAll(file).contains("lastfile=/new.ini"));
    } else {
        QVERIFY(!written.ok() && TextFromPath(written.error()).contains(file));
        QCOMPARE(ReadAll(file), content);
        // What could be read before still is.
        QCOMPARE(RememberedFile(file).Read(),
                 content.size() == (1 << 20) ? QStringLiteral("/x") : QString());
    }
}

void ChooserTest::noHomeFolderMeansNothingIsWritten() {
    const QByteArray home = qgetenv("HOME");
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    const QString oldName = QCoreApplication::applicationName();
    QTemporaryDir dir;
    const QString name = QStringLiteral("chooser-test-%1").arg(QCoreApplication::applicationPid());
    QCoreApplication::setApplicationName(name);
    qunsetenv("HOME");
    qunsetenv("XDG_CONFIG_HOME");
    const Result<void> written = RememberedFile().Write(QStringLiteral("/a.ini"));
    const QString read = RememberedFile().Read();
    // With a configuration folder named, the store lands there.
    qputenv("XDG_CONFIG_HOME", PathFromText(dir.path()).c_str());
    const Result<void> configWritten = RememberedFile().Write(QStringLiteral("/b.ini"));
    qputenv("HOME", home);
    QCoreApplication::setApplicationName(oldName);
    if (config.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", config);

    QVERIFY(!written.ok() && written.error().find("HOME") != std::string::npos);
    QCOMPARE(read, QString());
    QVERIFY(!QFileInfo::exists(QStringLiteral("/.config/") + name));
    QVERIFY2(configWritten.ok(), configWritten.error().c_str());
    QVERIFY(ReadAll(QStringLiteral("%1/%2/%2.conf").arg(dir.path(), name)).contains("/b.ini"));
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
