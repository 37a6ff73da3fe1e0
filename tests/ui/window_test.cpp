#include "list_support.h"
#include "outline/model/outline_model.h"
#include "ui/drive_list.h"
#include "ui/event_pacer.h"
#include "ui/file_list.h"
#include "ui/folder_list.h"
#include "ui/form1.h"
#include "ui/form1_layout.h"
#include "ui/path_text.h"
#include "ui/remembered_file.h"
#include "window_harness.h"

#include "support/fake_desktop.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

using namespace ini;
using namespace ini::test;
using namespace std::chrono_literals;

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void controlsMatchTheTable_data();
    void controlsMatchTheTable();
    void windowStartsAsDescribed();
    void firstRunShowsTheCurrentFolder();
    void currentFolderGoneStartsAtHome();
    void folderChangeFillsFileListAndFileClickWritesPath();
    void fileInRootFolderGetsTwoSeparators();
    void remembersPathBetweenRuns_data();
    void remembersPathBetweenRuns();
    void emptyTextIsStoredAndRestoredAsNothing();
    void nameNotRememberedIsExplained();
    void driveChangeFollowsOrReturns();
    void nameThatIsNotUtf8CanBeChosenLoadedAndRemembered();
    void pathThatIsNotUtf8ReadsAlikeInEveryWarning();
    void loadThenClicksFillBlocksOnce();
    void filledBlocksCollapseAndOpenAgain();
    void keyboardFillsBlocks();
    void failedLoadWarnsAndKeepsTheOutline();
    void commentSwitchBetweenLoadAndClick();
    void clickAndLoadDuringLoadAreTurnedAway();
    void clickAndLoadDuringBuildAreTurnedAway();
    void closingDuringLoadStopsAndCloses();
    void closingDuringBuildStopsAndCloses();
    void editorButtonHandsOverSelectedLine();
    void editorFailureIsShown();
    void editorButtonIgnoresAFocusFrameWithoutSelection();
    void aNodeGoneToTakesTheKeysAndShowsIt();
    void aNoteAtTheTreesFootLeavesTheButtonsClear();
    void ownEditorSettingStartsItWithTheLine();
    void fileFromOutsideShowsItsFolderAndLoads();
    void droppedFileIsTypedAndLoaded();
    void enterInFileNameBoxPressesLoad();
    void findFillsBlocksAndSelectsMatches();
    void findStartsOverAfterALoad();
    void pacerRunsEventsOncePerInterval();

private:
    QString m_startFolder;
};

void WindowTest::init() {
    if (m_startFolder.isEmpty())
        m_startFolder = QDir::currentPath();
    QDir::setCurrent(m_startFolder);
}

void WindowTest::controlsMatchTheTable_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("tree") << "TreeView1"
                          << "QTreeView"
                          << "" << layout::treeView1;
    QTest::newRow("file name") << "Txt_Filename"
                               << "QLineEdit" << initialText << layout::txtFilename;
    QTest::newRow("load") << "Cmd_Load"
                          << "QPushButton"
                          << "Load" << layout::cmdLoad;
    QTest::newRow("drives") << "Drive1"
                            << "QComboBox"
                            << "" << layout::drive1;
    QTest::newRow("folders") << "Dir1"
                             << "QTreeView"
                             << "" << layout::dir1;
    QTest::newRow("files") << "File1"
                           << "QListView"
                           << "" << layout::file1;
    QTest::newRow("editor") << "Command1"
                            << "QPushButton"
                            << "Open File in Notepad and locate line" << layout::command1;
    QTest::newRow("comments") << "Chk_Comments"
                              << "QCheckBox"
                              << "Show comments whithin a line (change needs reload of file)"
                              << layout::chkComments;
}

void WindowTest::controlsMatchTheTable() {
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    Harness window;
    window.Open();
    auto* control = window.form->findChild<QWidget*>(name);
    QVERIFY(control);
    QVERIFY(control->inherits(kind.toLatin1()));
    QCOMPARE(control->geometry(), geometry);
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        QCOMPARE(edit->text(), text);
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        QCOMPARE(button->text(), text);

    // Resizing the window moves nothing.
    window.form->resize(900, 600);
    QCOMPARE(control->geometry(), geometry);
}

void WindowTest::windowStartsAsDescribed() {
    Harness window;
    Form1& form = window.Open();
    QCOMPARE(form.windowTitle(), QStringLiteral("Tolvens Vexa Ini-File Parser (Release 1.0)"));
    QCOMPARE(form.size(), QSize(666, 351));
    QCOMPARE(form.layout(), nullptr);
    QCOMPARE(form.focusWidget(), window.Tree());
    QVERIFY(!window.Find<QCheckBox>("Chk_Comments")->isChecked());
    QCOMPARE(window.Model()->rowCount(), 0);

    // Tab order: the tree first, then the table's order.
    const QStringList order = {"TreeView1", "Txt_Filename", "Cmd_Load", "Drive1",
                               "Dir1",      "File1",        "Command1", "Chk_Comments"};
    QStringList seen;
    QWidget* widget = window.Tree();
    do {
        if (order.contains(widget->objectName()) && !seen.contains(widget->objectName()))
            seen.append(widget->objectName());
        widget = widget->nextInFocusChain();
    } while (widget != window.Tree());
    QCOMPARE(seen, order);
}

void WindowTest::firstRunShowsTheCurrentFolder() {
    Harness window;
    window.WriteFile(QStringLiteral("Armor.ini"), "Armor A\r\nEnd\r\n");
    window.WriteFile(QStringLiteral("readme.txt"), "x");
    QDir::setCurrent(window.Folder());
    window.Open();
    QCOMPARE(window.Find<FolderList>("Dir1")->Path(), window.Folder());
    QTRY_COMPARE(ShownNames(window.Find<FileList>("File1")), QStringList{"Armor.ini"});
    QVERIFY(window.Folder().startsWith(window.Find<DriveList>("Drive1")->currentText()));
    QCOMPARE(window.Find<QLineEdit>("Txt_Filename")->text(), initialText);
}

void WindowTest::currentFolderGoneStartsAtHome() {
    Harness window;
    const QString gone = window.Folder() + QStringLiteral("/gone");
    QVERIFY(QDir(window.Folder()).mkdir(QStringLiteral("gone")));
    QDir::setCurrent(gone);
    QVERIFY(QDir(window.Folder()).rmdir(QStringLiteral("gone")));
    window.Open();
    const QString path = window.Find<FolderList>("Dir1")->Path();
    QVERIFY2(path == QDir::cleanPath(QDir::homePath()) || path == QStringLiteral("/"),
             qPrintable(path));
}

void WindowTest::folderChangeFillsFileListAndFileClickWritesPath() {
    Harness window;
    QDir(window.Folder()).mkpath(QStringLiteral("Data"));
    window.WriteFile(QStringLiteral("Data/Weapons.ini"), "Weapon A\r\nEnd\r\n");
    window.WriteFile(QStringLiteral("Data/ARMOR.INI"), "Armor A\r\nEnd\r\n");
    window.Open();
    auto* folders = window.Find<FolderList>("Dir1");
    auto* files = window.Find<FileList>("File1");
    QVERIFY(folders->SetPath(window.Folder() + QStringLiteral("/Data")));
    QTRY_COMPARE(ShownNames(files), QStringList({"ARMOR.INI", "Weapons.ini"}));

    window.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    QTest::mouseClick(files->viewport(), Qt::LeftButton, {},
                      files->visualRect(files->model()->index(1, 0)).center());
    QCOMPARE(window.Find<QLineEdit>("Txt_Filename")->text(),
             window.Folder() + QStringLiteral("/Data/Weapons.ini"));
    QCOMPARE(window.Model()->rowCount(), 0);
    // A double-click, or Enter, loads the file as well.
    QTest::mouseDClick(files->viewport(), Qt::LeftButton, {},
                       files->visualRect(files->model()->index(1, 0)).center());
    QCOMPARE(window.Model()->rowCount(), 1);
    QTest::keyClick(files, Qt::Key_Up);
    QTest::keyClick(files, Qt::Key_Return);
    QCOMPARE(window.Model()->index(0, 0).data().toString(), QStringLiteral("Armor A"));
}

void WindowTest::fileInRootFolderGetsTwoSeparators() {
    Harness window;
    window.WriteFile(QStringLiteral("Armor.ini"), "Armor A\r\nEnd\r\n");
    window.Open();
    QVERIFY(window.Find<FolderList>("Dir1")->SetPath(QStringLiteral("/")));
    // The root folder holds no such file: the file list is pointed at one that does, while the
    // join reads the folder list's path.
    auto* files = window.Find<FileList>("File1");
    files->SetFolder(window.Folder());
    QTRY_VERIFY(SelectName(files, QStringLiteral("Armor.ini")));
    emit files->fileClicked();
    QCOMPARE(window.Find<QLineEdit>("Txt_Filename")->text(), QStringLiteral("//Armor.ini"));
}

void WindowTest::remembersPathBetweenRuns_data() {
    QTest::addColumn<QString>("remembered"); // %1 stands for the test's folder
    QTest::addColumn<QString>("shown");      // the folder list's path; "start" for where it starts
    QTest::newRow("nothing remembered") << ""
                                        << "start";
    QTest::newRow("remembered file") << "%1/Data/INI/DrawGroupInfo.ini"
                                     << "%1/Data/INI";
    QTest::newRow("folder gone: nearest ancestor") << "%1/Data/Gone/x.ini"
                                                   << "%1/Data";
    QTest::newRow("no separator") << initialText << "start";
}

void WindowTest::remembersPathBetweenRuns() {
    QFETCH(QString, remembered);
    QFETCH(QString, shown);
    Harness window;
    QDir(window.Folder()).mkpath(QStringLiteral("Data/INI"));
    window.WriteFile(QStringLiteral("Data/INI/DrawGroupInfo.ini"), "Object A\r\nEnd\r\n");
    QDir::setCurrent(window.Folder() + QStringLiteral("/Data"));
    const QString start = QDir::currentPath();
    const auto fill = [&](QString text) {
        return text.replace(QStringLiteral("%1"), window.Folder());
    };
    if (!remembered.isEmpty())
        QVERIFY(window.Store().Write(fill(remembered)).ok());

    window.Open();
    auto* folders = window.Find<FolderList>("Dir1");
    QCOMPARE(folders->Path(), shown == QLatin1String("start") ? start : fill(shown));
    if (folders->Path() == window.Folder() + QStringLiteral("/Data/INI")) {
        QTRY_COMPARE(ShownNames(window.Find<FileList>("File1")), QStringList{"DrawGroupInfo.ini"});
    }
    QCOMPARE(window.Find<QLineEdit>("Txt_Filename")->text(), initialText);

    // Closing without a click stores the file name box's text as it is.
    window.form->close();
    QCOMPARE(window.Store().Read(), initialText);
}

void WindowTest::emptyTextIsStoredAndRestoredAsNothing() {
    Harness window;
    QVERIFY(window.Store().Write(window.Folder() + QStringLiteral("/x.ini")).ok());
    window.Open();
    QCOMPARE(window.Find<FolderList>("Dir1")->Path(), window.Folder());
    window.Find<QLineEdit>("Txt_Filename")->clear();
    window.form->close();
    QCOMPARE(window.Store().Read(), QString());

    window.Open();
    QCOMPARE(window.Find<FolderList>("Dir1")->Path(), QDir::currentPath());
}

void WindowTest::nameNotRememberedIsExplained() {
    Harness window;
    static const char garbage[] = "\x01\x02garbage\xff\xfe\n[x\nzzz\n\0\0\0";
    const QByteArray content(garbage, sizeof garbage - 1);
    const QString settings = window.WriteFile(QStringLiteral("settings.conf"), content);
    window.Open();
    window.form->close();
    QCOMPARE(window.warnings.size(), 1);
    QVERIFY2(window.warnings.first().contains(QStringLiteral("not a settings file")),
             qPrintable(window.warnings.first()));
    QFile file(settings);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);

    // Ended by a signal, nobody answers a box: the reason goes to stderr alone.
    window.warnings.clear();
    window.Open();
    window.form->CloseFromOutside();
    QVERIFY(window.warnings.isEmpty());
    QVERIFY(!window.form->isVisible());
}

void WindowTest::driveChangeFollowsOrReturns() {
    Harness window;
    const QString base = QFileInfo(window.Folder()).canonicalFilePath();
    QVERIFY(QDir(base).mkpath(QStringLiteral("mnt/usb")));
    const QString usb = base + QStringLiteral("/mnt/usb");
    const QString gone = base + QStringLiteral("/mnt/gone"); // no medium: nothing to list
    window.volumes = [&] {
        const auto volume = [](const QString& mount) {
            return Volume{mount, "ext4", true, true, 1000, true};
        };
        return QList<Volume>{volume(QStringLiteral("/")), volume(usb), volume(gone)};
    };
    QDir::setCurrent(base);
    window.Open();
    auto* drives = window.Find<DriveList>("Drive1");
    auto* folders = window.Find<FolderList>("Dir1");
    QCOMPARE(drives->currentText(), QStringLiteral("/"));
    const auto pick = [&](const QString& mount) {
        const int row = drives->findText(mount);
        QVERIFY(row >= 0);
        drives->setCurrentIndex(row);
        emit drives->activated(row);
    };

    pick(usb);
    QCOMPARE(folders->Path(), usb);
    // A drive that cannot be read: back to the drive of the folder still shown, silently.
    pick(gone);
    QCOMPARE(drives->currentText(), usb);
    QCOMPARE(folders->Path(), usb);
    QVERIFY(window.warnings.isEmpty());
    // Each drive keeps the folder last shown on it.
    pick(QStringLiteral("/"));
    QCOMPARE(folders->Path(), base);
}

void WindowTest::nameThatIsNotUtf8CanBeChosenLoadedAndRemembered() {
    Harness window;
    const std::string folder = PathFromText(window.Folder()) + "/d\xff";
    const std::string file = folder + "/f\xfe.ini";
    QCOMPARE(mkdir(folder.c_str(), 0755), 0);
    const auto cleanUp = qScopeGuard([&] {
        unlink(file.c_str());
        rmdir(folder.c_str());
    });
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(write(fd, example.constData(), example.size()), example.size());
    QCOMPARE(close(fd), 0);

    QDir::setCurrent(window.Folder());
    window.Open();
    auto* folders = window.Find<FolderList>("Dir1");
    auto* files = window.Find<FileList>("File1");
    QTRY_COMPARE(ShownNames(folders), QStringList{TextFromPath("d\xff")});
    QVERIFY(SelectName(folders, TextFromPath("d\xff")));
    QTest::keyClick(folders, Qt::Key_Return);
    QTRY_COMPARE(folders->Path(), TextFromPath(folder));
    QTRY_VERIFY(SelectName(files, TextFromPath("f\xfe.ini")));
    emit files->fileClicked();
    auto* box = window.Find<QLineEdit>("Txt_Filename");
    QCOMPARE(PathFromText(box->text()), file);

    window.Find<QPushButton>("Cmd_Load")->click();
    QVERIFY2(window.warnings.isEmpty(), qPrintable(window.warnings.join('\n')));
    QCOMPARE(window.Model()->rowCount(), 3);
    window.Find<QPushButton>("Command1")->click();
    QCOMPARE(window.desktop->calls.front(), "start[notepad.exe " + file + "] mode 1");

    window.form->close();
    QCOMPARE(PathFromText(window.Store().Read()), file);
    window.Open();
    QCOMPARE(window.Find<FolderList>("Dir1")->Path(), TextFromPath(folder));
}

// Warnings name a path the way the file name box shows it, whichever part of the window failed.
void WindowTest::pathThatIsNotUtf8ReadsAlikeInEveryWarning() {
    Harness window;
    // The settings folder cannot be made: a file stands where its parent would be.
    const std::string folder =
        PathFromText(window.WriteFile(QStringLiteral("blocker"), {})) + "/caf\xe9";
    window.Settings(TextFromPath(folder + "/settings.conf")).Open();

    const QString missing = TextFromPath(PathFromText(window.Folder()) + "/gone\xff.ini");
    window.Load(missing);
    window.form->close();
    QCOMPARE(window.warnings.size(), 2);
    QVERIFY2(window.warnings[0].contains(missing), qPrintable(window.warnings[0]));
    QVERIFY2(window.warnings[1].contains(QStringLiteral("cannot make the folder ") +
                                         TextFromPath(folder)) &&
                 window.warnings[1].contains(QStringLiteral("blocker is a file, not a folder")),
             qPrintable(window.warnings[1]));
}

void WindowTest::loadThenClicksFillBlocksOnce() {
    Harness window;
    window.Open().show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    window.Load(window.WriteFile(QStringLiteral("example.ini"), example));
    OutlineModel* model = window.Model();
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("Object Alpha"));
    QCOMPARE(model->index(1, 0).data(OutlineModel::KeyRole).toString(), QStringLiteral("Key_9"));
    // Every block shows its arrow before it is filled.
    QVERIFY(model->hasChildren(window.Node(0)));
    QCOMPARE(model->rowCount(window.Node(0)), 0);

    window.ClickNode(0);
    QCOMPARE(window.ChildTexts(0), QStringList({"Speed = 10", "Draw = ModelA"}));
    QCOMPARE(window.ChildTexts(3), QStringList{"DefaultConditionState"});
    QCOMPARE(window.ChildTexts(4), QStringList{"Model = M1"});
    QVERIFY(window.Tree()->isExpanded(window.Node(0)));

    // Later clicks on the filled block, on a child or on an empty block add nothing.
    QSignalSpy inserts(model, &QAbstractItemModel::rowsInserted);
    window.ClickNode(0);
    window.Tree()->expand(window.Node(3));
    window.ClickNode(3);
    window.ClickNode(9);
    window.ClickNode(9);
    QCOMPARE(inserts.count(), 0);
    QCOMPARE(window.ChildTexts(0).size(), 2);
    QVERIFY(!model->hasChildren(window.Node(9))); // filled and found empty: the arrow goes

    // Loading again starts over from the top level.
    window.Load(window.Find<QLineEdit>("Txt_Filename")->text());
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->rowCount(window.Node(0)), 0);
    QVERIFY(model->hasChildren(window.Node(9)));
}

// Right, + and Enter on an unfilled block fill it as a click does, and open it.
void WindowTest::keyboardFillsBlocks() {
    Harness window;
    window.Open().show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    window.Load(window.WriteFile(QStringLiteral("example.ini"), example));
    QTreeView* tree = window.Tree();
    tree->setFocus();
    const struct {
        LineIndex block;
        Qt::Key key;
    } cases[] = {{0, Qt::Key_Right}, {9, Qt::Key_Plus}, {11, Qt::Key_Return}};
    for (const auto& c : cases) {
        tree->setCurrentIndex(window.Node(c.block));
        QTest::keyClick(tree, c.key);
        QTRY_VERIFY(window.Model()->ChildCount(NodeKey{c.block}) > 0 ||
                    !window.Model()->hasChildren(window.Node(c.block)));
    }
    QCOMPARE(window.ChildTexts(0), QStringList({"Speed = 10", "Draw = ModelA"}));
    QVERIFY(tree->isExpanded(window.Node(0)));
    QVERIFY(!window.Model()->hasChildren(window.Node(9)));
    QCOMPARE(window.ChildTexts(11), QStringList{"Armor = 1"});
    QVERIFY(tree->isExpanded(window.Node(11)));

    // A level longer than the view is handed at once: End still goes to its last row.
    constexpr int blocks = 4 * static_cast<int>(OutlineModel::firstRows) + 10;
    window.Load(window.WriteFile(QStringLiteral("long.ini"), ManyBlocks(blocks)));
    tree->setCurrentIndex(window.Node(0));
    QTest::keyClick(tree, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(3 * (blocks - 1)));
}

void WindowTest::filledBlocksCollapseAndOpenAgain() {
    Harness window;
    window.Open().show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    window.Load(window.WriteFile(QStringLiteral("example.ini"), example));
    QTreeView* tree = window.Tree();

    // A double-click on an unfilled block fills it and leaves it open.
    window.DoubleClickNode(11);
    QCOMPARE(window.ChildTexts(11), QStringList{"Armor = 1"});
    QVERIFY(tree->isExpanded(window.Node(11)));

    // Later double-clicks close and open it; its children stay.
    window.DoubleClickNode(11);
    QVERIFY(!tree->isExpanded(window.Node(11)));
    window.DoubleClickNode(11);
    QVERIFY(tree->isExpanded(window.Node(11)));
    QTest::keyClick(tree, Qt::Key_Left);
    QVERIFY(!tree->isExpanded(window.Node(11)));
    QCOMPARE(window.ChildTexts(11), QStringList{"Armor = 1"});
}

void WindowTest::failedLoadWarnsAndKeepsTheOutline() {
    Harness window;
    window.Open();
    window.Load(window.WriteFile(QStringLiteral("example.ini"), example));
    QCOMPARE(window.Model()->rowCount(), 3);

    const QStringList bad = {window.Folder() + QStringLiteral("/missing.ini"), window.Folder(),
                             QString()};
    for (const QString& path : bad) {
        window.warnings.clear();
        window.Load(path);
        QCOMPARE(window.warnings.size(), 1);
        QVERIFY2(window.warnings.first().contains(path), qPrintable(window.warnings.first()));
        QCOMPARE(window.Model()->rowCount(), 3);
        QCOMPARE(window.Model()->index(0, 0).data().toString(), QStringLiteral("Object Alpha"));
    }
    // A failed load leaves the loader ready for the next one.
    window.Load(window.Folder() + QStringLiteral("/example.ini"));
    QCOMPARE(window.Model()->rowCount(), 3);
}

void WindowTest::commentSwitchBetweenLoadAndClick() {
    Harness window;
    window.Open().show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    window.Load(window.WriteFile(QStringLiteral("example.ini"), example));
    window.Find<QCheckBox>("Chk_Comments")->setChecked(true);
    QCOMPARE(window.Node(9).data().toString(), QStringLiteral("Object Beta"));

    window.ClickNode(0);
    QCOMPARE(window.ChildTexts(0), QStringList({"Speed = 10    ; fast", "Draw = ModelA"}));
    // Root texts keep the switch as it was at the load.
    QCOMPARE(window.Node(9).data().toString(), QStringLiteral("Object Beta"));
}

void WindowTest::clickAndLoadDuringLoadAreTurnedAway() {
    Harness window;
    window.Interval(0ms).Open();
    const QString path = window.WriteFile(QStringLiteral("many.ini"), ManyBlocks(2000));
    QSignalSpy resets(window.Model(), &QAbstractItemModel::modelReset);
    bool triedDuringWalk = false;
    QTimer::singleShot(0, window.form.get(), [&] {
        triedDuringWalk = window.form->Walking();
        window.Find<QPushButton>("Cmd_Load")->click();
        emit window.Tree()->clicked(window.Model()->index(0, 0));
    });
    window.Load(path);
    QVERIFY(triedDuringWalk);
    QCOMPARE(resets.count(), 1);
    QCOMPARE(window.Model()->rowCount(), 2000);
    QCOMPARE(window.Model()->ChildCount(NodeKey{0}), std::size_t{0});
    QVERIFY(window.warnings.isEmpty());
}

void WindowTest::clickAndLoadDuringBuildAreTurnedAway() {
    Harness window;
    window.Interval(0ms).Open();
    window.Load(window.WriteFile(QStringLiteral("big.ini"), ManyBlocks(2, 3000)));
    QCOMPARE(window.Model()->rowCount(), 2);
    QSignalSpy resets(window.Model(), &QAbstractItemModel::modelReset);
    bool triedDuringWalk = false;
    QTimer::singleShot(0, window.form.get(), [&] {
        triedDuringWalk = window.form->Walking();
        window.Find<QPushButton>("Cmd_Load")->click();
        emit window.Tree()->clicked(window.Node(3002));
        emit window.Tree()->clicked(window.Node(0));
        window.Tree()->expand(window.Node(3002));
    });
    emit window.Tree()->clicked(window.Node(0));
    QVERIFY(triedDuringWalk);
    // Opened with its arrow meanwhile, the block it could not fill is closed again.
    QTRY_VERIFY(!window.Tree()->isExpanded(window.Node(3002)));
    QCOMPARE(resets.count(), 0);
    QCOMPARE(window.Model()->ChildCount(NodeKey{0}), std::size_t{3000});
    QCOMPARE(window.Model()->rowCount(window.Node(0)), 3000);
    QCOMPARE(window.Model()->ChildCount(NodeKey{3002}), std::size_t{0});
}

void WindowTest::closingDuringLoadStopsAndCloses() {
    Harness window;
    window.Interval(0ms).Open().show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    const QString path = window.WriteFile(QStringLiteral("many.ini"), ManyBlocks(5000));
    bool stillOpen = false;
    QTimer::singleShot(0, window.form.get(), [&] {
        window.form->close();
        stillOpen = window.form->isVisible();
    });
    window.Load(path);
    // The walk stopped early and the window stayed whole until it had returned.
    QVERIFY(stillOpen);
    QVERIFY(window.Model()->rowCount() < 5000);
    QCOMPARE(window.Store().Read(), path);
    QTRY_VERIFY(!window.form->isVisible());
    window.form.reset();
}

void WindowTest::closingDuringBuildStopsAndCloses() {
    Harness window;
    window.Interval(0ms).Open().show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    window.Load(window.WriteFile(QStringLiteral("big.ini"), ManyBlocks(1, 20000)));
    QTimer::singleShot(0, window.form.get(), [&] { window.form->close(); });
    emit window.Tree()->clicked(window.Node(0));
    QVERIFY(window.Model()->ChildCount(NodeKey{0}) < 20000);
    QVERIFY(!window.form->Walking());
    QTRY_VERIFY(!window.form->isVisible());
    window.form.reset();
}

void WindowTest::editorButtonHandsOverSelectedLine() {
    Harness window;
    window.Open();
    window.Load(window.WriteFile(QStringLiteral("example.ini"), example));
    emit window.Tree()->clicked(window.Node(0));
    window.Tree()->setCurrentIndex(window.Node(2));
    window.Find<QLineEdit>("Txt_Filename")->setText(QStringLiteral("/some folder/other.ini"));
    // A click while the hand-off waits for the editor's window is turned away: a second
    // hand-off's keys could reach the first editor.
    window.desktop->whileActivating = [&] { window.Find<QPushButton>("Command1")->click(); };
    window.Find<QPushButton>("Command1")->click();
    const std::vector<std::string> expected = {"start[notepad.exe /some folder/other.ini] mode 1",
                                               "activate 4242", "keys ^g", "keys 3",
                                               "keys {ENTER}"};
    QCOMPARE(window.desktop->calls, expected);
    QVERIFY(window.warnings.isEmpty());
}

void WindowTest::editorFailureIsShown() {
    Harness window;
    window.Open();
    window.desktop->failStart = true;
    window.Find<QPushButton>("Command1")->click();
    QCOMPARE(window.desktop->calls.size(), std::size_t{1});
    QCOMPARE(window.warnings.size(), 1);
}

void WindowTest::fileFromOutsideShowsItsFolderAndLoads() {
    Harness window;
    QDir(window.Folder()).mkpath(QStringLiteral("Data"));
    const QString path = window.WriteFile(QStringLiteral("Data/example.ini"), example);
    window.WriteFile(QStringLiteral("Data/Weapons.ini"), "Weapon A\r\nEnd\r\n");
    QVERIFY(window.Store().Write(window.Folder() + QStringLiteral("/remembered.ini")).ok());
    Form1& form = window.Open();
    auto* folders = window.Find<FolderList>("Dir1");

    form.OpenFromOutside(path);
    QCOMPARE(window.Find<QLineEdit>("Txt_Filename")->text(), path);
    QCOMPARE(folders->Path(), window.Folder() + QStringLiteral("/Data"));
    QCOMPARE(window.Model()->rowCount(), 0); // the load waits until the window has been shown
    QTRY_COMPARE(window.Model()->rowCount(), 3);
    QTRY_COMPARE(ShownNames(window.Find<FileList>("File1")).size(), 2);
    QVERIFY(window.warnings.isEmpty());

    // A file that is gone: the lists show its nearest folder, the load warns, the outline stays.
    const QString gone = window.Folder() + QStringLiteral("/Data/Gone/missing.ini");
    form.OpenFromOutside(gone);
    QCOMPARE(folders->Path(), window.Folder() + QStringLiteral("/Data"));
    QTRY_COMPARE(window.warnings.size(), 1);
    QVERIFY2(window.warnings.front().contains(gone), qPrintable(window.warnings.front()));
    QCOMPARE(window.Model()->rowCount(), 3);
    window.form->close();
    QCOMPARE(window.Store().Read(), gone);
}

void WindowTest::droppedFileIsTypedAndLoaded() {
    Harness window;
    const QString path = window.WriteFile(QStringLiteral("example.ini"), example);
    const QString other = window.WriteFile(QStringLiteral("other.ini"), example);
    Form1& form = window.Open();
    auto* box = window.Find<QLineEdit>("Txt_Filename");
    // Drags the data over the tree and drops it there; tells whether the window took the drag.
    const auto drop = [&](const QMimeData& data) {
        const QPoint at = window.Tree()->geometry().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&form, &enter);
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&form, &dropped);
        QCoreApplication::processEvents();
        return enter.isAccepted();
    };

    struct Refused {
        const char* what;
        QList<QUrl> urls;
    };
    for (const Refused& refused :
         {Refused{"two files", {QUrl::fromLocalFile(path), QUrl::fromLocalFile(other)}},
          Refused{"a remote file", {QUrl(QStringLiteral("https://example.invalid/a.ini"))}},
          Refused{"text", {}}}) {
        QMimeData data;
        data.setUrls(refused.urls);
        data.setText(path);
        QVERIFY2(!drop(data), refused.what);
        QCOMPARE(box->text(), initialText);
        QCOMPARE(window.Model()->rowCount(), 0);
    }

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QVERIFY(drop(data));
    QCOMPARE(box->text(), path);
    QTRY_COMPARE(window.Model()->rowCount(), 3);
    QVERIFY(window.warnings.isEmpty());
}

void WindowTest::enterInFileNameBoxPressesLoad() {
    Harness window;
    window.Open();
    auto* box = window.Find<QLineEdit>("Txt_Filename");
    box->setText(window.WriteFile(QStringLiteral("example.ini"), example));
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(window.Model()->rowCount(), 3);
    box->setText(window.Folder() + QStringLiteral("/missing.ini"));
    QTest::keyClick(box, Qt::Key_Enter);
    QCOMPARE(window.warnings.size(), 1);
}

void WindowTest::editorButtonIgnoresAFocusFrameWithoutSelection() {
    Harness window;
    window.Open().show();
    QVERIFY(QTest::qWaitForWindowActive(window.form.get()));
    window.Load(window.WriteFile(QStringLiteral("example.ini"), example));
    auto* filename = window.Find<QLineEdit>("Txt_Filename");
    filename->setFocus();
    QTest::keyClick(filename, Qt::Key_Tab, Qt::ShiftModifier);
    // Focus alone marks a row without selecting it.
    QTRY_VERIFY(window.Tree()->hasFocus());
    QVERIFY(window.Tree()->currentIndex().isValid());
    QVERIFY(!window.Tree()->selectionModel()->hasSelection());

    window.Find<QPushButton>("Command1")->click();
    const QString path = filename->text();
    const std::vector<std::string> expected = {"start[notepad.exe " + path.toStdString() +
                                                   "] mode 1",
                                               "activate 4242", "keys ^g", "keys {ENTER}"};
    QCOMPARE(window.desktop->calls, expected);
}

// F8 from the name box: the next Enter must act on the node found, not load the file again. The
// list that takes the keys is the one whose selection shows in the highlight colour.
void WindowTest::aNodeGoneToTakesTheKeysAndShowsIt() {
    Harness window;
    window.Open().show();
    QVERIFY(QTest::qWaitForWindowActive(window.form.get()));
    window.Load(window.WriteFile(QStringLiteral("stray.ini"),
                                 "Object Tank\n  Speed = 3\nEnd\nEnd\nObject Jeep\nEnd\n"));
    auto* filename = window.Find<QLineEdit>("Txt_Filename");
    auto* files = window.Find<QAbstractItemView>("File1");
    const auto highlighted = [](QWidget* list) {
        return list->palette().color(QPalette::Active, QPalette::Highlight);
    };
    const QColor highlight = filename->palette().color(QPalette::Active, QPalette::Highlight);
    filename->setFocus();
    QTRY_VERIFY(filename->hasFocus());
    QVERIFY(highlighted(window.Tree()) != highlight);
    QVERIFY(highlighted(files) != highlight);

    // The stray end stands after the Tank's block: F8 selects that block.
    QTest::keyClick(window.form.get(), Qt::Key_F8);
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(0));
    QTRY_VERIFY(window.Tree()->hasFocus());
    QCOMPARE(highlighted(window.Tree()), highlight);
    const auto* note = window.Find<QLabel>("Tree_Note");
    QVERIFY(note->isVisible());
    QVERIFY2(note->text().contains(QStringLiteral("closes no block")), qPrintable(note->text()));
    QTest::keyClick(window.Tree(), Qt::Key_Return);
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(0));
    // Ctrl+Enter hands the end's own line to the editor, as the button does.
    QTest::keyClick(window.Tree(), Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(window.desktop->calls.back(), std::string("keys {ENTER}"));
    QVERIFY(std::find(window.desktop->calls.begin(), window.desktop->calls.end(), "keys 4") !=
            window.desktop->calls.end());

    // The problem's note told of the outline a load replaces.
    window.Load(filename->text());
    QVERIFY(!note->isVisible());
    files->setFocus();
    QTRY_COMPARE(highlighted(files), highlight);
    QVERIFY(highlighted(window.Tree()) != highlight);
}

// A problem far down is scrolled to the tree's last row: its note goes over the row, since under
// it the note would cover the editor button and take the click meant for it.
void WindowTest::aNoteAtTheTreesFootLeavesTheButtonsClear() {
    Harness window;
    window.Open().show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "Object Tank" + std::to_string(i) + "\nEnd\n";
    window.Load(
        window.WriteFile(QStringLiteral("many.ini"), QByteArray::fromStdString(text + "End\n")));
    window.Tree()->setCurrentIndex(window.Node(0));
    QTest::keyClick(window.Tree(), Qt::Key_F8);
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(598));
    const auto* note = window.Find<QLabel>("Tree_Note");
    QVERIFY(note->isVisible());
    const auto* button = window.Find<QPushButton>("Command1");
    const QRect buttonOnScreen(button->mapToGlobal(QPoint(0, 0)), button->size());
    QVERIFY(!note->geometry().intersects(buttonOnScreen));
    const QRect row = window.Tree()->visualRect(window.Tree()->currentIndex());
    QVERIFY(note->geometry().top() < window.Tree()->viewport()->mapToGlobal(row.topLeft()).y());
}

void WindowTest::ownEditorSettingStartsItWithTheLine() {
    Harness window;
    QVERIFY(window.WriteSettings("[options]\nlastfile=\neditor=code -g %f:%l,x\n"));
    window.Open();
    window.Load(window.WriteFile(QStringLiteral("example.ini"), example));
    window.Tree()->setCurrentIndex(window.Node(9));
    window.Find<QLineEdit>("Txt_Filename")->setText(QStringLiteral("/my files/a.ini"));
    window.Find<QPushButton>("Command1")->click();
    const std::vector<std::string> expected = {"run [code] [-g] [/my files/a.ini:10,x]"};
    QCOMPARE(window.desktop->calls, expected);
    QVERIFY(window.warnings.isEmpty());
}

// Ctrl+F, typing, Enter, F3 and Shift+F3 walk the matches of the whole file: a match inside a
// block never clicked gets its block filled and its node selected for the editor button.
void WindowTest::findFillsBlocksAndSelectsMatches() {
    Harness window;
    window.Open().show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    window.Load(window.WriteFile(QStringLiteral("example.ini"), example));
    auto* bar = window.Find<QWidget>("FindBar");
    auto* text = window.Find<QLineEdit>("FindText");
    auto* status = window.Find<QLabel>("FindStatus");
    QVERIFY(bar->isHidden());
    const auto selected = [&] { return window.Model()->KeyAt(window.Tree()->currentIndex()); };

    QTest::keyClick(window.form.get(), Qt::Key_F, Qt::ControlModifier);
    QVERIFY(bar->isVisible());
    QCOMPARE(QApplication::focusWidget(), text);
    QTest::keyClicks(text, QStringLiteral("MODEL"));
    QTRY_COMPARE(selected(), NodeKey{3});
    QVERIFY(window.Model()->ChildCount(NodeKey{0}) > 0);
    QTRY_COMPARE(status->text(), QStringLiteral("1 of 2"));

    QTest::keyClick(text, Qt::Key_Return);
    QTRY_COMPARE(selected(), NodeKey{5});
    QCOMPARE(status->text(), QStringLiteral("2 of 2"));
    QCOMPARE(QApplication::focusWidget(), text); // the next Enter searches on
    QVERIFY(window.Tree()->isExpanded(window.Node(4)));
    QTest::keyClick(text, Qt::Key_F3);
    QTRY_COMPARE(selected(), NodeKey{3});
    QTest::keyClick(text, Qt::Key_F3, Qt::ShiftModifier);
    QTRY_COMPARE(selected(), NodeKey{5});

    // The last block is filled on the way to its line as well.
    text->setText(QStringLiteral("armor = 1"));
    QTRY_COMPARE(selected(), NodeKey{12});
    QCOMPARE(window.ChildTexts(11), QStringList{"Armor = 1"});

    // Escape closes the bar from wherever the keyboard is in the window.
    window.Tree()->setFocus();
    QTest::keyClick(window.Tree(), Qt::Key_Escape);
    QVERIFY(bar->isHidden());
    QCOMPARE(QApplication::focusWidget(), window.Tree());
    window.Find<QPushButton>("Command1")->click();
    QCOMPARE(window.desktop->calls.at(3), std::string("keys 13"));
}

// A load replaces the lines the search reads: the search stops for it and starts over on the new
// file, whose matches lie elsewhere.
void WindowTest::findStartsOverAfterALoad() {
    Harness window;
    window.Interval(0ms).Open().show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    window.Load(window.WriteFile(QStringLiteral("example.ini"), example));
    auto* text = window.Find<QLineEdit>("FindText");
    QTest::keyClick(window.form.get(), Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(text, QStringLiteral("gamma"));
    QTRY_COMPARE(window.Model()->KeyAt(window.Tree()->currentIndex()), NodeKey{11});

    window.Load(window.WriteFile(QStringLiteral("other.ini"), "Object Gamma\r\nEnd\r\n" + example));
    QTest::keyClick(text, Qt::Key_Return);
    QTRY_COMPARE(window.Model()->KeyAt(window.Tree()->currentIndex()), NodeKey{0});
    QTRY_COMPARE(window.Find<QLabel>("FindStatus")->text(), QStringLiteral("1 of 2"));

    // Typed while a load runs, the text stays in the bar (not in the tree's own type-ahead),
    // and its first match is gone to once the file is shown.
    const QString path = window.WriteFile(QStringLiteral("beta.ini"), example);
    bool typedDuringWalk = false;
    QTimer::singleShot(0, window.form.get(), [&] {
        typedDuringWalk = window.form->Walking();
        text->clear();
        QTest::keyClicks(text, QStringLiteral("beta"));
    });
    window.Load(path);
    QVERIFY(typedDuringWalk);
    QCOMPARE(text->text(), QStringLiteral("beta"));
    QTRY_COMPARE(window.Model()->KeyAt(window.Tree()->currentIndex()), NodeKey{9});
}

// On simulated time: events run once the interval has passed since they last ran (publishing
// first), never more often, and not at all once a stop is asked for.
void WindowTest::pacerRunsEventsOncePerInterval() {
    std::chrono::nanoseconds now{0};
    int published = 0;
    int runs = 0;
    EventPacer pacer([&] { ++published; }, 20ms, [&] { return now; },
                     [&] {
                         ++runs;
                         now += 3ms; // running the events takes time too
                     });
    pacer.Start();
    for (int step = 0; step < 100; ++step) { // 1 ms of work a step
        QVERIFY(pacer.LetEventsRun());
        now += 1ms;
    }
    pacer.Finish();
    // Runs at 20 ms, then every 20 ms after each run's end (23 ms apart): 20, 43, 66, 89.
    QCOMPARE(runs, 4);
    QCOMPARE(pacer.Runs(), 4);
    QCOMPARE(published, 4);
    QCOMPARE(pacer.FirstGap(), std::chrono::nanoseconds(20ms));
    QCOMPARE(pacer.LongestGap(), std::chrono::nanoseconds(20ms));
    QCOMPARE(pacer.LongestRun(), std::chrono::nanoseconds(3ms));

    pacer.RequestStop();
    QVERIFY(!pacer.LetEventsRun());
    QCOMPARE(runs, 4);
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
