// The window following the file it shows: reloads that keep what was open, the editor never
// sent a stale line, and the file's mistakes marked and walked with F8.

#include "window_harness.h"

#include "outline/check/structure_checks.h"
#include "outline/model/outline_model.h"
#include "ui/file_list.h"
#include "ui/root_hashing.h"
#include "ui/shown_file.h"

#include "support/temp_file.h"

#include <QLabel>
#include <QMessageBox>
#include <QScrollBar>
#include <QToolTip>
#include <QtTest>
#include <algorithm>

#include <cstdio>

using namespace ini;
using namespace ini::test;

namespace {

// Lines put above the example's first block: two blocks of their own.
const QByteArray inserted = "Object Zero\r\n"
                            "End\r\n"
                            "\r\n"
                            "Object Omega\r\n"
                            "End\r\n";
constexpr LineIndex insertedLines = 5;

// Writes `bytes` as editors save: a new file renamed over the old one.
bool SaveByRename(const QString& path, const QByteArray& bytes) {
    const QString temporary = path + QStringLiteral(".new");
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return std::rename(QFile::encodeName(temporary).constData(),
                       QFile::encodeName(path).constData()) == 0;
}

// The message box a failed reload shows, while it is shown.
QMessageBox* ShownMessageBox() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<QMessageBox*>(widget); found && found->isVisible())
            return found;
    return nullptr;
}

bool SaveInPlace(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// Mistakes, one of each: a stray end (line 4), a name with a tab (6), a block defined twice
// (1 and 9) and a block never closed (12).
const QByteArray mistakes = "Weapon LancerGun\n" // 1
                            "  Damage = 10\n"    // 2
                            "End\n"              // 3
                            "End\n"              // 4
                            "Object Tank\n"      // 5
                            "  Body\tDraw\n"     // 6
                            "  Speed = 3\n"      // 7
                            "End\n"              // 8
                            "Weapon LancerGun\n" // 9
                            "  Damage = 12\n"    // 10
                            "End\n"              // 11
                            "Object Jeep\n"      // 12
                            "  Speed = 4\n";     // 13

} // namespace

class LiveOutlineTest : public QObject {
    Q_OBJECT

private slots:
    void reloadFollowsTheFileAndKeepsWhatWasOpen();
    void aFileReplacedWhileFirstReadIsReadAgain();
    void editorGetsTheLineOfTheNewOutline();
    void failedReloadKeepsTheOutlineAndSaysSoOnce();
    void aFailedReloadsBoxBlocksNothingAndGoesWhenTheFileIsBack();
    void aFileBackWithItsRemovedFolderIsReadAgain();
    void aFileMovedAwayAndBackAsItWasEndsTheFailure();
    void aBusyFolderDoesNotHoldBackTheFilesEdits();
    void aFolderSwappedForAnotherIsFollowed();
    void mistakesAreMarkedAndWalkedWithF8();
    void aLineLeftAtTheTopLevelByAMendStaysSelected();
    void newLoadStartsAtTheTopAndHighlightsTheFile();
    void tooltipGivesTheLineNumberAndMoreOfALongLine();
    void rootsAreHashedOnlyWhileNothingElseWalks();
};

void LiveOutlineTest::reloadFollowsTheFileAndKeepsWhatWasOpen() {
    Harness window;
    window.Interval(std::chrono::milliseconds(0)).Open().show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    const QString path = window.WriteFile(QStringLiteral("example.ini"), example);
    window.Load(path);
    window.ClickNode(0);                            // Object Alpha, filled and opened
    window.Tree()->expand(window.Node(3));          // its Draw
    window.Tree()->setCurrentIndex(window.Node(5)); // Model = M1

    // Saved as editors do, with two blocks above.
    QVERIFY(SaveByRename(path, inserted + example));
    QTRY_COMPARE(window.Model()->rowCount(), 5);
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(5 + insertedLines));
    QVERIFY(window.Tree()->isExpanded(window.Node(0 + insertedLines)));
    QVERIFY(window.Tree()->isExpanded(window.Node(3 + insertedLines)));
    QCOMPARE(window.Model()->ChildCount(NodeKey{3}), std::size_t{0}); // the new block: unfilled
    QCOMPARE(window.Model()->rowCount(window.Node(0 + insertedLines)), 2);

    // A write in place is noticed too, and the watch survived the rename.
    QVERIFY(SaveInPlace(path, inserted + example + "Object Delta\r\nEnd\r\n"));
    QTRY_COMPARE(window.Model()->rowCount(), 6);
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(5 + insertedLines));

    // An editor that empties the file and takes its time to write it again: the empty file is
    // shown meanwhile, and what was open comes back with the new text.
    QVERIFY(SaveInPlace(path, {}));
    QTRY_COMPARE(window.Model()->rowCount(), 0);
    QVERIFY(SaveInPlace(path, example));
    QTRY_COMPARE(window.Model()->rowCount(), 3);
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(5));
    QVERIFY(window.Tree()->isExpanded(window.Node(0)));
    // A file loaded anew starts with nothing open, even after an empty reload.
    QVERIFY(SaveInPlace(path, {}));
    QTRY_COMPARE(window.Model()->rowCount(), 0);
    window.Load(path);
    QVERIFY(SaveInPlace(path, example));
    QTRY_COMPARE(window.Model()->rowCount(), 3);
    QCOMPARE(window.SelectedLine(), std::nullopt);

    // The node selected while the file is read again is the one kept, not the one selected
    // when the reload began.
    window.ClickNode(0);
    window.Tree()->setCurrentIndex(window.Node(5));
    bool movedDuringWalk = false;
    QTimer::singleShot(0, window.form.get(), [&] {
        movedDuringWalk = window.form->Walking();
        window.Tree()->setCurrentIndex(window.Node(2));
    });
    QTest::keyClick(window.form.get(), Qt::Key_F5);
    QVERIFY(movedDuringWalk);
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(2));

    // The selected line itself edited (its value changed): the node at its place is selected,
    // inside a block as at the top level.
    QByteArray edited = example;
    edited.replace("Speed = 10", "Speed = 12");
    QVERIFY(SaveInPlace(path, edited));
    QTRY_COMPARE(window.Node(2).data().toString(), QStringLiteral("Speed = 12"));
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(2));
    window.Tree()->setCurrentIndex(window.Node(9));
    edited.replace("Object Beta", "Object Gamma");
    QVERIFY(SaveInPlace(path, edited));
    QTRY_COMPARE(window.Node(9).data().toString(), QStringLiteral("Object Gamma"));
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(9));

    // The block itself renamed while a line inside it is selected: it stays open, and so does
    // what was open inside it.
    window.Tree()->expand(window.Node(0));
    window.Tree()->expand(window.Node(3));
    window.Tree()->setCurrentIndex(window.Node(5));
    edited.replace("Object Alpha", "Object Alfa");
    QVERIFY(SaveInPlace(path, edited));
    QTRY_COMPARE(window.Node(0).data().toString(), QStringLiteral("Object Alfa"));
    QVERIFY(window.Tree()->isExpanded(window.Node(0)));
    QVERIFY(window.Tree()->isExpanded(window.Node(3)));
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(5));

    // The selected line deleted, the last of its block: the block is selected, so the editor
    // button does not fall back to line 1.
    edited.replace("      Model = M1\r\n", "");
    QVERIFY(SaveInPlace(path, edited));
    QTRY_COMPARE(window.SelectedLine(), std::optional<LineIndex>(4));
    // Its block closed by its arrow: the block, in sight, is what is selected.
    window.Tree()->collapse(window.Node(3));
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(3));
    QVERIFY(window.warnings.isEmpty());
}

// A file renamed over while it is read for the first time, before anything watched it, is read
// again once shown.
void LiveOutlineTest::aFileReplacedWhileFirstReadIsReadAgain() {
    Harness window;
    window.Interval(std::chrono::milliseconds(0)).Open().show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    const QString path = window.WriteFile(QStringLiteral("example.ini"), example);
    bool replacedDuringWalk = false;
    QString busyNote;
    QTimer::singleShot(0, window.form.get(), [&] {
        replacedDuringWalk = window.form->Walking() && SaveByRename(path, inserted);
        // F5 meanwhile is turned away, and says so.
        QTest::keyClick(window.form.get(), Qt::Key_F5);
        busyNote = QToolTip::text();
    });
    window.Load(path);
    QVERIFY(replacedDuringWalk);
    QVERIFY2(busyNote.contains(QStringLiteral("being read")), qPrintable(busyNote));
    QTRY_COMPARE(window.Model()->rowCount(), 2);
}

void LiveOutlineTest::editorGetsTheLineOfTheNewOutline() {
    Harness window;
    // Without the automatic reload only the editor button notices the change.
    QVERIFY(window.WriteSettings("[options]\nautoreload=false\n"));
    window.Open().show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    const QString path = window.WriteFile(QStringLiteral("example.ini"), example);
    window.Load(path);
    emit window.Tree()->clicked(window.Node(0));
    window.Tree()->setCurrentIndex(window.Node(2)); // Speed = 10, line 3 as the editor counts
    QVERIFY(SaveInPlace(path, inserted + example));
    window.Find<QPushButton>("Command1")->click();
    const std::string wanted = "keys " + std::to_string(2 + insertedLines + 1);
    QVERIFY(std::find(window.desktop->calls.begin(), window.desktop->calls.end(), wanted) !=
            window.desktop->calls.end());
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(2 + insertedLines));

    // F5 reloads on demand.
    QVERIFY(SaveInPlace(path, example));
    QTest::keyClick(window.form.get(), Qt::Key_F5);
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(2));
    QVERIFY(window.warnings.isEmpty());
}

void LiveOutlineTest::failedReloadKeepsTheOutlineAndSaysSoOnce() {
    Harness window;
    window.Open();
    const QString path = window.WriteFile(QStringLiteral("example.ini"), example);
    window.Load(path);
    QVERIFY(QFile::remove(path));
    QTRY_COMPARE(window.warnings.size(), 1);
    QCOMPARE(window.Model()->rowCount(), 3);
    // More changes in the folder while the file is gone say nothing more.
    window.WriteFile(QStringLiteral("other.ini"), "x");
    QVERIFY(!window.WriteFile(QStringLiteral("example.ini"), inserted + example).isEmpty());
    QTRY_COMPARE(window.Model()->rowCount(), 5);
    QCOMPARE(window.warnings.size(), 1);

    // The editor button on a file gone: said every time, and nothing is handed over.
    QVERIFY(QFile::remove(path));
    window.Find<QPushButton>("Command1")->click();
    QCOMPARE(window.warnings.size(), 2);
    QVERIFY2(window.warnings.last().contains(QStringLiteral("editor was not started")),
             qPrintable(window.warnings.last()));
    QVERIFY(window.desktop->calls.empty());
}

void LiveOutlineTest::aFailedReloadsBoxBlocksNothingAndGoesWhenTheFileIsBack() {
    Harness window;
    window.RealNotices().Open().show();
    const QString path = window.WriteFile(QStringLiteral("example.ini"), example);
    window.Load(path);
    QVERIFY(QFile::remove(path));
    const auto box = ShownMessageBox;
    QTRY_VERIFY(box() != nullptr);
    QVERIFY2(box()->text().contains(QStringLiteral("example.ini")), qPrintable(box()->text()));
    // Nothing blocks the window's keys and clicks meanwhile.
    QVERIFY(!box()->isModal());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(window.warnings.isEmpty());
    // F5 says it again in a box that takes the place of this one, blocks nothing either and
    // goes, as this one would, once the file is read again.
    window.form->activateWindow();
    QTRY_VERIFY(window.form->isActiveWindow());
    const QPointer<QMessageBox> first = box();
    QTest::keyClick(window.form.get(), Qt::Key_F5);
    QTRY_VERIFY(first == nullptr);
    QVERIFY(box() != nullptr);
    QVERIFY(!box()->isModal());
    QVERIFY(window.warnings.isEmpty());

    QVERIFY(!window.WriteFile(QStringLiteral("example.ini"), inserted + example).isEmpty());
    QTRY_COMPARE(window.Model()->rowCount(), 5);
    QTRY_VERIFY(box() == nullptr);
}

// Renamed away and back unchanged: the file is what the outline shows, so the failed reload's
// box has nothing more to say.
void LiveOutlineTest::aFileMovedAwayAndBackAsItWasEndsTheFailure() {
    Harness window;
    window.RealNotices().Open().show();
    const QString path = window.WriteFile(QStringLiteral("example.ini"), example);
    window.Load(path);
    QVERIFY(QFile::rename(path, path + QStringLiteral(".away")));
    QTRY_VERIFY(ShownMessageBox() != nullptr);
    QVERIFY(QFile::rename(path + QStringLiteral(".away"), path));
    QTRY_VERIFY(ShownMessageBox() == nullptr);
    QCOMPARE(window.Model()->rowCount(), 3);
}

// Other files made and removed beside the shown one all the time (a build writing there): the
// shown file's own edit still shows.
void LiveOutlineTest::aBusyFolderDoesNotHoldBackTheFilesEdits() {
    Harness window;
    window.Open();
    const QString path = window.WriteFile(QStringLiteral("example.ini"), example);
    window.Load(path);
    QTimer churn;
    QObject::connect(&churn, &QTimer::timeout, [&] {
        if (!QFile::remove(window.Folder() + QStringLiteral("/other.tmp")))
            window.WriteFile(QStringLiteral("other.tmp"), "x");
    });
    churn.start(std::chrono::milliseconds(50));
    QVERIFY(SaveInPlace(path, inserted + example));
    QTRY_COMPARE(window.Model()->rowCount(), 5);
}

// The folder itself removed, then made again with the file (a checkout switched, a folder
// restored from a copy): nothing tells of the new folder, yet the file is followed again.
void LiveOutlineTest::aFileBackWithItsRemovedFolderIsReadAgain() {
    Harness window;
    window.Open();
    const QString folder = window.Folder() + QStringLiteral("/mod");
    QVERIFY(QDir().mkpath(folder));
    window.Load(window.WriteFile(QStringLiteral("mod/example.ini"), example));
    QVERIFY(QDir(folder).removeRecursively());
    QTRY_COMPARE(window.warnings.size(), 1);
    QVERIFY(QDir().mkpath(folder));
    window.WriteFile(QStringLiteral("mod/example.ini"), inserted + example);
    QTRY_COMPARE(window.Model()->rowCount(), 5);
    QCOMPARE(window.warnings.size(), 1);
}

// The file's folder moved away and another put in its place (a backup restored, a checkout of
// that folder): the watches went with the old folder, yet the new file is read and followed.
void LiveOutlineTest::aFolderSwappedForAnotherIsFollowed() {
    Harness window;
    window.Open();
    const QString folder = window.Folder() + QStringLiteral("/mod");
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/inner")));
    window.Load(window.WriteFile(QStringLiteral("mod/inner/example.ini"), example));
    QCOMPARE(window.Model()->rowCount(), 3);
    // Written first, so that the swap is one rename each.
    QVERIFY(QDir().mkpath(window.Folder() + QStringLiteral("/other/inner")));
    window.WriteFile(QStringLiteral("other/inner/example.ini"), inserted + example);
    QVERIFY(QDir().rename(folder, window.Folder() + QStringLiteral("/old")));
    QVERIFY(QDir().rename(window.Folder() + QStringLiteral("/other"), folder));
    QTRY_COMPARE(window.Model()->rowCount(), 5);
    // The moved-away copy is not what is shown any more; the new one is.
    QVERIFY(SaveInPlace(window.Folder() + QStringLiteral("/old/inner/example.ini"), inserted));
    QVERIFY(SaveInPlace(folder + QStringLiteral("/inner/example.ini"), example + inserted));
    QTRY_COMPARE(window.Model()->index(4, 0).data().toString(), QStringLiteral("Object Omega"));
    QVERIFY(window.warnings.isEmpty());
}

void LiveOutlineTest::mistakesAreMarkedAndWalkedWithF8() {
    Harness window;
    window.Open().show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    auto* count = window.Find<QLabel>("Problem_Count");
    window.Load(window.WriteFile(QStringLiteral("clean.ini"), example));
    QVERIFY(!count->isVisible());
    for (int row = 0; row < window.Model()->rowCount(); ++row)
        QVERIFY(window.Model()->index(row, 0).data(OutlineModel::ProblemRole).toString().isEmpty());

    window.Load(window.WriteFile(QStringLiteral("mistakes.ini"), mistakes));
    QVERIFY(count->isVisible());
    QCOMPARE(count->text(), QStringLiteral("5 problems"));
    // Marked before their blocks are filled: the first Weapon holds the stray end.
    const auto problemOf = [&](LineIndex line) {
        return window.Node(line).data(OutlineModel::ProblemRole).toString();
    };
    QVERIFY(problemOf(0).contains(QStringLiteral("defined again")));
    QVERIFY(problemOf(0).contains(QStringLiteral("closes no block")));
    QVERIFY(problemOf(4).contains(QStringLiteral("opens no block")));
    QVERIFY(problemOf(11).contains(QStringLiteral("never closed")));
    QVERIFY(window.Node(4).data(Qt::ToolTipRole).toString().contains(QStringLiteral("<TAB>")));

    // F8 goes through them in file order, filling blocks on the way, then starts over; the
    // stray end, which has no node and stands after the first Weapon's block, selects that
    // block, and the editor button then opens the end's own line. A row with only the focus
    // frame is not selected: the first F8 starts at the first problem, there on that row.
    window.Tree()->selectionModel()->setCurrentIndex(window.Node(0), QItemSelectionModel::NoUpdate);
    const std::vector<LineIndex> order = {0, 0, 5, 8, 11, 0};
    for (std::size_t i = 0; i < order.size(); ++i) {
        QTest::keyClick(window.form.get(), Qt::Key_F8);
        QCOMPARE(window.SelectedLine(), std::optional(order[i]));
        if (i == 1) {
            window.Find<QPushButton>("Command1")->click();
            QVERIFY(window.desktop != nullptr);
            QVERIFY(std::ranges::count(window.desktop->calls, "keys 4") == 1);
            // Once another node was selected, that block's own line again.
            window.Tree()->setCurrentIndex(window.Node(4));
            window.Tree()->setCurrentIndex(window.Node(0));
            window.Find<QPushButton>("Command1")->click();
            QVERIFY(std::ranges::count(window.desktop->calls, "keys 1") == 1);
        }
    }
    // The nodes inside that block do not hold the end that follows it.
    QVERIFY(!problemOf(1).contains(QStringLiteral("closes no block")));
    QVERIFY(window.Tree()->isExpanded(window.Node(4)));
    for (const LineIndex line : {11, 8, 5}) {
        QTest::keyClick(window.form.get(), Qt::Key_F8, Qt::ShiftModifier);
        QCOMPARE(window.SelectedLine(), std::optional(line));
    }

    // A stray end before every node is shown at the first one, and the next F8 goes on to the
    // next problem, also when it came round from the last.
    window.Load(window.WriteFile(QStringLiteral("stray-first.ini"),
                                 "End\nObject Tank\n  Speed = 3\nEnd\nEnd\nObject Open\n"));
    QVERIFY(problemOf(1).contains(QStringLiteral("'End' at line 1")));
    const std::vector<LineIndex> round = {1, 1, 5, 1, 1};
    for (const LineIndex line : round) {
        QTest::keyClick(window.form.get(), Qt::Key_F8);
        QCOMPARE(window.SelectedLine(), std::optional(line));
    }

    // More than the load keeps: all are counted, and the tooltip says which are marked.
    QByteArray strays;
    for (std::size_t i = 0; i < StructureChecks::mostProblems + 5; ++i)
        strays += "End\n";
    window.Load(window.WriteFile(QStringLiteral("strays.ini"), strays));
    QCOMPARE(count->text(), QStringLiteral("%1 problems").arg(StructureChecks::mostProblems + 5));
    QVERIFY(
        count->toolTip().contains(QStringLiteral("first %1").arg(StructureChecks::mostProblems)));
    QVERIFY(count->toolTip().contains(
        QStringLiteral("%1 problems in all").arg(StructureChecks::mostProblems + 5)));
}

// F8 on a top-level opener inside a block (its End missing above it), then the End added: the
// line, a root now, stays selected.
void LiveOutlineTest::aLineLeftAtTheTopLevelByAMendStaysSelected() {
    Harness window;
    window.Interval(std::chrono::milliseconds(0)).Open().show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    const QString path = window.WriteFile(
        QStringLiteral("mend.ini"), "Weapon GunA\n  Damage = 1\nWeapon GunB\n  Damage = 2\nEnd\n");
    window.Load(path);
    QTest::keyClick(window.form.get(), Qt::Key_F8);
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(2));
    QVERIFY(SaveByRename(path, "Weapon GunA\n  Damage = 1\nEnd\nWeapon GunB\n  Damage = 2\nEnd\n"));
    QTRY_COMPARE(window.Model()->rowCount(), 2);
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(3));
}

void LiveOutlineTest::newLoadStartsAtTheTopAndHighlightsTheFile() {
    Harness window;
    window.Open().show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    const QString first = window.WriteFile(QStringLiteral("first.ini"), ManyBlocks(500));
    const QString second = window.WriteFile(QStringLiteral("second.ini"), ManyBlocks(400));
    window.form->OpenFromOutside(first);
    QTRY_COMPARE(window.Model()->rowCount(), 500);
    auto* files = window.Find<FileList>("File1");
    QTRY_COMPARE(files->FileName(), QStringLiteral("first.ini"));
    window.Tree()->scrollToBottom();
    QVERIFY(window.Tree()->verticalScrollBar()->value() > 0);

    window.Load(second); // typed, in the folder shown
    QCOMPARE(window.Tree()->verticalScrollBar()->value(), 0);
    QCOMPARE(files->FileName(), QStringLiteral("second.ini"));
}

void LiveOutlineTest::tooltipGivesTheLineNumberAndMoreOfALongLine() {
    Harness window;
    window.Open();
    const QByteArray longLine = "Note " + QByteArray(20000, 'x');
    window.Load(window.WriteFile(QStringLiteral("long.ini"), example + longLine + "\r\n"));
    QCOMPARE(window.Node(9).data(Qt::ToolTipRole).toString(), QStringLiteral("Line 10"));
    const QString tip = window.Node(14).data(Qt::ToolTipRole).toString();
    QVERIFY(tip.startsWith(QStringLiteral("Line 15\nNote xxx")));
    const auto shown = tip.count(u'x');
    // Far more than a row shows, yet few enough rows to fit a small screen.
    QVERIFY(shown > 1000);
    QVERIFY(shown <= qsizetype{OutlineModel::tooltipBytes});
    QVERIFY(tip.count(u'\n') <= 32);
    QVERIFY(tip.endsWith(QChar(u'\u2026')));
}

// The hashes a reload's capture relies on are every root's of the outline shown, made in idle
// slices that wait while a walk runs, and begun again for a new outline.
void LiveOutlineTest::rootsAreHashedOnlyWhileNothingElseWalks() {
    Keywords keywords;
    keywords.InitKeywords();
    LineStore lines;
    OutlineModel model(lines);
    bool walking = true;
    RootHashing hashing(model, lines, [&] { return !walking; });
    const auto load = [&](const std::string& bytes) {
        const TempFile file(bytes);
        FileLoader loader;
        return loader.LoadFile(file.Path(), lines, model, keywords, {}).status == WalkStatus::Done;
    };
    std::string bytes;
    for (int i = 0; i < 5000; ++i)
        bytes += "Weapon Gun" + std::to_string(i) + "\n  Damage = 1\nEnd\n";
    QVERIFY(load(bytes));
    hashing.Restart();
    QCoreApplication::processEvents();
    QCOMPARE(hashing.Hashes().size(), std::size_t(0));
    walking = false;
    RootTextHashes made;
    FindRoots(model.Nodes(), lines, {NodePath{{"Weapon Gun1", 0}}}, &made);
    QTRY_COMPARE(hashing.Hashes(), made);

    // More roots than before: hashes kept from the outline before would pass for a start.
    bytes.clear();
    for (int i = 0; i < 6000; ++i)
        bytes += "Object Tank" + std::to_string(i) + "\nEnd\n";
    QVERIFY(load(bytes));
    hashing.Restart();
    FindRoots(model.Nodes(), lines, {NodePath{{"Object Tank", 0}}}, &made);
    QTRY_COMPARE(hashing.Hashes(), made);
}

QTEST_MAIN(LiveOutlineTest)
#include "live_outline_test.moc"
