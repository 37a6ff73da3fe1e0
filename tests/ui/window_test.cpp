#include "outline/outline_model.h"
#include "platform/desktop.h"
#include "ui/drive_list.h"
#include "ui/event_pacer.h"
#include "ui/file_list.h"
#include "ui/folder_list.h"
#include "ui/form1.h"
#include "ui/remembered_file.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <memory>
#include <string>
#include <vector>

using namespace ini;
using namespace std::chrono_literals;

namespace {

const QString initialText = QStringLiteral(R"(D:\test\Data\INI\DrawGroupInfo.ini)");

// The example file: two blocks, the first nested three deep, plus a third small block.
const QByteArray example = "Object Alpha\r\n"
                           "  ; tuning\r\n"
                           "  Speed = 10 ; fast\r\n"
                           "  Draw = ModelA\r\n"
                           "    DefaultConditionState\r\n"
                           "      Model = M1\r\n"
                           "    End\r\n"
                           "  End\r\n"
                           "End\r\n"
                           "Object Beta ; second\r\n"
                           "End\r\n"
                           "Object Gamma\r\n"
                           "  Armor = 1\r\n"
                           "End\r\n";

// Records what the editor button asks of the desktop.
struct DesktopLog {
    std::vector<std::string> calls;
    bool startFails = false;
};

class FakeDesktop final : public Desktop {
public:
    explicit FakeDesktop(DesktopLog& log) : m_log(log) {}
    Result<TaskId> StartProgram(std::string_view commandLine, WindowMode) override {
        m_log.calls.push_back("start " + std::string(commandLine));
        if (m_log.startFails)
            return Failure{"no such program"};
        return TaskId{42};
    }
    Result<void> ActivateWindow(TaskId task) override {
        m_log.calls.push_back("activate " + std::to_string(task));
        return {};
    }
    Result<void> SendKeys(std::string_view keys) override {
        m_log.calls.push_back("keys " + std::string(keys));
        return {};
    }

private:
    DesktopLog& m_log;
};

// A window with its own settings file, a fake desktop and warnings collected instead of shown.
class Harness {
public:
    Harness() : m_settings(m_dir.filePath(QStringLiteral("settings.conf"))) {}

    Form1& Open() {
        FormServices services;
        services.settingsFile = m_settings;
        services.makeDesktop = [this] { return std::make_unique<FakeDesktop>(desktop); };
        services.showWarning = [this](QWidget*, const QString&, const QString& text) {
            warnings.append(text);
        };
        services.eventInterval = m_interval;
        form = std::make_unique<Form1>(services);
        return *form;
    }
    Harness& Interval(std::chrono::milliseconds interval) {
        m_interval = interval;
        return *this;
    }

    QString WriteFile(const QString& name, const QByteArray& bytes) {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
        return path;
    }
    QString Folder() const { return QDir::cleanPath(m_dir.path()); }
    RememberedFile Store() const { return RememberedFile(m_settings); }

    template <typename W> W* Find(const char* name) {
        return form->findChild<W*>(QLatin1String(name));
    }
    QTreeView* Tree() { return Find<QTreeView>("TreeView1"); }
    OutlineModel* Model() { return qobject_cast<OutlineModel*>(Tree()->model()); }
    void Load(const QString& path) {
        Find<QLineEdit>("Txt_Filename")->setText(path);
        Find<QPushButton>("Cmd_Load")->click();
    }
    QModelIndex Node(LineIndex line) { return Model()->IndexOf(NodeKey{line}); }
    void ClickNode(LineIndex line) {
        const QModelIndex index = Node(line);
        QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {},
                          Tree()->visualRect(index).center());
    }
    // What a user's double-click delivers: a click, then the double-click.
    void DoubleClickNode(LineIndex line) {
        const QPoint at = Tree()->visualRect(Node(line)).center();
        QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(Tree()->viewport(), Qt::LeftButton, {}, at);
    }
    QStringList ChildTexts(LineIndex line) {
        QStringList texts;
        const QModelIndex parent = Node(line);
        for (int row = 0; row < Model()->rowCount(parent); ++row)
            texts.append(Model()->index(row, 0, parent).data().toString());
        return texts;
    }

    DesktopLog desktop;
    QStringList warnings;
    std::unique_ptr<Form1> form;

private:
    QTemporaryDir m_dir;
    QString m_settings;
    std::chrono::milliseconds m_interval{16};
};

// Many blocks of three lines: enough lines for a walk that lets events run many times.
QByteArray ManyBlocks(int blocks, int innerLines = 1) {
    QByteArray text;
    for (int i = 0; i < blocks; ++i) {
        text += "Object Unit" + QByteArray::number(i) + " ; unit\r\n";
        for (int j = 0; j < innerLines; ++j)
            text += "  Speed = " + QByteArray::number(j) + "\r\n";
        text += "End\r\n";
    }
    return text;
}

} // namespace

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
    void loadThenClicksFillBlocksOnce();
    void filledBlocksCollapseAndOpenAgain();
    void failedLoadWarnsAndKeepsTheOutline();
    void commentSwitchBetweenLoadAndClick();
    void clickAndLoadDuringLoadAreTurnedAway();
    void clickAndLoadDuringBuildAreTurnedAway();
    void closingDuringLoadStopsAndCloses();
    void closingDuringBuildStopsAndCloses();
    void editorButtonHandsOverSelectedLine();
    void editorFailureIsShown();
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
                          << "" << QRect(14, 35, 469, 281);
    QTest::newRow("file name") << "Txt_Filename"
                               << "QLineEdit" << initialText << QRect(14, 7, 394, 19);
    QTest::newRow("load") << "Cmd_Load"
                          << "QPushButton"
                          << "Load" << QRect(420, 7, 58, 21);
    QTest::newRow("drives") << "Drive1"
                            << "QComboBox"
                            << "" << QRect(490, 7, 162, 21);
    QTest::newRow("folders") << "Dir1"
                             << "QTreeWidget"
                             << "" << QRect(490, 35, 162, 111);
    QTest::newRow("files") << "File1"
                           << "QListWidget"
                           << "" << QRect(490, 154, 162, 162);
    QTest::newRow("editor") << "Command1"
                            << "QPushButton"
                            << "Open File in Notepad and locate line" << QRect(14, 322, 218, 22);
    QTest::newRow("comments") << "Chk_Comments"
                              << "QCheckBox"
                              << "Show comments whithin a line (change needs reload of file)"
                              << QRect(245, 329, 309, 13);
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
    QCOMPARE(window.Find<FileList>("File1")->count(), 1);
    QCOMPARE(window.Find<FileList>("File1")->item(0)->text(), QStringLiteral("Armor.ini"));
    QVERIFY(window.Folder().startsWith(window.Find<DriveList>("Drive1")->Drive()));
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
    QCOMPARE(window.Find<FileList>("File1")->Folder(), path);
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
    QCOMPARE(files->Folder(), window.Folder() + QStringLiteral("/Data"));
    QCOMPARE(files->count(), 2);
    QCOMPARE(files->item(0)->text(), QStringLiteral("ARMOR.INI"));

    window.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    QTest::mouseClick(files->viewport(), Qt::LeftButton, {},
                      files->visualItemRect(files->item(1)).center());
    QCOMPARE(window.Find<QLineEdit>("Txt_Filename")->text(),
             window.Folder() + QStringLiteral("/Data/Weapons.ini"));
}

void WindowTest::fileInRootFolderGetsTwoSeparators() {
    Harness window;
    window.Open();
    QVERIFY(window.Find<FolderList>("Dir1")->SetPath(QStringLiteral("/")));
    auto* files = window.Find<FileList>("File1");
    files->addItem(QStringLiteral("Armor.ini"));
    files->setCurrentRow(files->count() - 1);
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
        QCOMPARE(window.Store().Write(fill(remembered)), std::nullopt);

    window.Open();
    auto* folders = window.Find<FolderList>("Dir1");
    QCOMPARE(folders->Path(), shown == QLatin1String("start") ? start : fill(shown));
    QCOMPARE(window.Find<FileList>("File1")->Folder(), folders->Path());
    QCOMPARE(window.Find<QLineEdit>("Txt_Filename")->text(), initialText);

    // Closing without a click stores the file name box's text as it is.
    window.form->close();
    QCOMPARE(window.Store().Read(), initialText);
}

void WindowTest::emptyTextIsStoredAndRestoredAsNothing() {
    Harness window;
    QCOMPARE(window.Store().Write(window.Folder() + QStringLiteral("/x.ini")), std::nullopt);
    window.Open();
    QCOMPARE(window.Find<FolderList>("Dir1")->Path(), window.Folder());
    window.Find<QLineEdit>("Txt_Filename")->clear();
    window.form->close();
    QCOMPARE(window.Store().Read(), QString());

    window.Open();
    QCOMPARE(window.Find<FolderList>("Dir1")->Path(), QDir::currentPath());
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
    QVERIFY(!model->hasChildren(window.Node(0)));

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
    QVERIFY(!model->hasChildren(window.Node(9)));

    // Loading again starts over from the top level.
    window.Load(window.Find<QLineEdit>("Txt_Filename")->text());
    QCOMPARE(model->rowCount(), 3);
    QVERIFY(!model->hasChildren(window.Node(0)));
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
    });
    emit window.Tree()->clicked(window.Node(0));
    QVERIFY(triedDuringWalk);
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
    window.Find<QPushButton>("Command1")->click();
    const std::vector<std::string> expected = {"start notepad.exe /some folder/other.ini",
                                               "activate 42", "keys ^g", "keys 3", "keys {ENTER}"};
    QCOMPARE(window.desktop.calls, expected);
    QVERIFY(window.warnings.isEmpty());
}

void WindowTest::editorFailureIsShown() {
    Harness window;
    window.Open();
    window.desktop.startFails = true;
    window.Find<QPushButton>("Command1")->click();
    QCOMPARE(window.desktop.calls.size(), std::size_t{1});
    QCOMPARE(window.warnings.size(), 1);
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
    QVERIFY(window.Tree()->isExpanded(window.Node(4)));
    QTest::keyClick(text, Qt::Key_F3);
    QTRY_COMPARE(selected(), NodeKey{3});
    QTest::keyClick(text, Qt::Key_F3, Qt::ShiftModifier);
    QTRY_COMPARE(selected(), NodeKey{5});

    // The last block is filled on the way to its line as well.
    text->setText(QStringLiteral("armor = 1"));
    QTRY_COMPARE(selected(), NodeKey{12});
    QCOMPARE(window.ChildTexts(11), QStringList{"Armor = 1"});

    QTest::keyClick(text, Qt::Key_Escape);
    QVERIFY(bar->isHidden());
    QCOMPARE(QApplication::focusWidget(), window.Tree());
    window.Find<QPushButton>("Command1")->click();
    QCOMPARE(window.desktop.calls.at(3), std::string("keys 13"));
}

// A load replaces the lines the search reads: the search stops for it and starts over on the new
// file, whose matches lie elsewhere.
void WindowTest::findStartsOverAfterALoad() {
    Harness window;
    window.Open().show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    window.Load(window.WriteFile(QStringLiteral("example.ini"), example));
    auto* text = window.Find<QLineEdit>("FindText");
    QTest::keyClick(window.form.get(), Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(text, QStringLiteral("gamma"));
    QTRY_COMPARE(window.Model()->KeyAt(window.Tree()->currentIndex()), NodeKey{11});

    window.Load(window.WriteFile(QStringLiteral("other.ini"), "Object Gamma\r\nEnd\r\n" + example));
    QVERIFY(window.Find<QWidget>("FindBar")->isEnabled());
    QTest::keyClick(text, Qt::Key_Return);
    QTRY_COMPARE(window.Model()->KeyAt(window.Tree()->currentIndex()), NodeKey{0});
    QTRY_COMPARE(window.Find<QLabel>("FindStatus")->text(), QStringLiteral("1 of 2"));
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
