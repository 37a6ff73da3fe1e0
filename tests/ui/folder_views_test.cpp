// The folder-wide views of the window: go to block (Ctrl+P), find uses (Ctrl+Shift+F) and go
// to definition (F12) over a folder of block files, each ending with the file loaded and the
// line's node selected, so that the editor button opens that line.

#include "window_harness.h"

#include "outline/index/file_index.h"
#include "ui/folder_list.h"
#include "ui/folder_views.h"
#include "ui/jump_history.h"

#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QtTest>

#include <sys/stat.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace ini;
using namespace ini::test;

namespace {

QString Header(QWidget* dialog) {
    return dialog->findChild<QLabel*>(QStringLiteral("Folder_Header"))->text();
}

QStringList Rows(QWidget* dialog) {
    QStringList rows;
    auto* list = dialog->findChild<QListWidget*>(QStringLiteral("Folder_List"));
    for (int row = 0; row < list->count(); ++row)
        rows.append(list->item(row)->text());
    return rows;
}

// The rows a search for uses of `name` in `folder` lists once it ends, and its header; `then`
// works the list before it goes.
QStringList UsesListed(const QString& folder, QString* header = nullptr,
                       const std::string& name = "LancerGun",
                       const std::function<void(UsesDialog&)>& then = {}) {
    Keywords keywords;
    keywords.InitKeywords();
    UseSearch search(keywords);
    UsesDialog dialog(search);
    search.Start(folder.toStdString(), name);
    dialog.Follow(folder.toStdString());
    QElapsedTimer clock;
    clock.start();
    const auto busy = [&] { return search.Running() || dialog.Unlisted() > 0; };
    while (busy() && clock.elapsed() < 60'000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (header != nullptr)
        *header = Header(&dialog);
    if (then && !busy())
        then(dialog);
    return busy() ? QStringList() : Rows(&dialog);
}

// A small mod: weapons in one folder, units using them in another, an armor defined twice.
void WriteMod(Harness& window) {
    QDir(window.Folder()).mkpath(QStringLiteral("mod/Weapons"));
    QDir(window.Folder()).mkpath(QStringLiteral("mod/Units"));
    window.WriteFile(QStringLiteral("mod/Weapons/Guns.ini"), "; guns\n"
                                                             "Weapon RailGun\n"
                                                             "End\n"
                                                             "Weapon LancerGun\n"
                                                             "  Damage = 5\n"
                                                             "End\n");
    window.WriteFile(QStringLiteral("mod/Units/Tank.ini"), "Object Tank\n"
                                                           "  PrimaryWeapon = LancerGun ; main\n"
                                                           "  Armor = TankArmor\n"
                                                           "End\n");
    window.WriteFile(QStringLiteral("mod/Units/More.INI"), "Object LancerTank\n"
                                                           "  PrimaryWeapon = LancerGunLong\n"
                                                           "  ; LancerGun in a comment\n"
                                                           "End\n");
    window.WriteFile(QStringLiteral("mod/Armor.ini"),
                     "Armor TankArmor\nEnd\narmor TankArmor\nEnd\n");
    // Not UTF-8: shown as Windows-1252, as the outline shows it.
    window.WriteFile(QStringLiteral("mod/Latin.ini"),
                     "Object Caf\xe9\n  PrimaryWeapon = LancerGun ; fran\xe7"
                     "ais\nEnd\n");
}

// The window shown, with the small mod written and its folder indexed: gives that folder, or
// nothing when the window never showed.
QString ShowWithMod(Harness& window) {
    window.Open().show();
    if (!QTest::qWaitForWindowExposed(window.form.get()))
        return {};
    WriteMod(window);
    const QString mod = window.Folder() + QStringLiteral("/mod");
    window.form->SetIndexFolder(mod);
    return mod;
}

// Loads the mod's weapons, selects LancerGun's definition and finds its uses: the list.
UsesDialog* FindLancerGunUses(Harness& window, const QString& mod) {
    window.Load(mod + QStringLiteral("/Weapons/Guns.ini"));
    window.Tree()->setCurrentIndex(window.Node(3));
    window.form->FindUses();
    return window.form->findChild<UsesDialog*>(QStringLiteral("FindUses"));
}

} // namespace

class FolderViewsTest : public QObject {
    Q_OBJECT

private slots:
    void goToBlockFindUsesAndGoToDefinition();
    void aLineNamesWholeWordsOnly();
    void closingDuringASearchForUses();
    void manyBlocksAreRankedWithoutHoldingUpTyping();
    void aNameUsedEverywhereListsTheFirstUsesInFileOrder();
    void aUseOnAVeryLongLineKeepsItsStartOnly();
    void theUsesHeaderNamesTheBlockAsShownAndSaysWhenStopped();
    void aUseListedBeforeItsFileChangedIsFoundWhereItMoved();
    void aGoToWhileAFileIsReadIsTurnedAway();
    void aRememberedFolderThatIsGoneIsNamed();
    void aPlaceInTheShownFileKeepsItsOpenBlocksAndWhatCannotBeReadIsNamed();
    void anEnterTypedWhileTheFolderIsReadGoesOnceItIsRead();
    void anF12BeforeTheFolderIsReadGoesOnceItIs();
    void backAndForwardRetraceTheJumps();
    void theOldestPlacesGoFirst();
};

void FolderViewsTest::goToBlockFindUsesAndGoToDefinition() {
    Harness window;
    const QString mod = ShowWithMod(window);
    QVERIFY(!mod.isEmpty());

    // Ctrl+P: the whole folder, once read; typing narrows it, best first; twice-defined marked.
    QTest::keyClick(window.form.get(), Qt::Key_P, Qt::ControlModifier);
    auto* goTo = window.form->findChild<GoToBlockDialog*>(QStringLiteral("GoToBlock"));
    QVERIFY(goTo);
    QTRY_VERIFY(goTo->isVisible());
    QTRY_VERIFY(Header(goTo).startsWith(QStringLiteral("7 blocks in ")));
    QVERIFY(!Header(goTo).contains(QStringLiteral("reading")));
    auto* filter = goTo->findChild<QLineEdit*>(QStringLiteral("Block_Filter"));
    QTRY_COMPARE(QApplication::focusWidget(), filter);
    // Back from the folder chooser the keys still go to the filter, not to its button.
    goTo->changeFolder = [] {};
    QTest::mouseClick(goTo->findChild<QPushButton*>(), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), filter);
    QTest::keyClicks(filter, QStringLiteral("caf"));
    QCOMPARE(Rows(goTo), QStringList{"Object Caf\u00e9 \u2014 Latin.ini:1"});
    filter->clear();
    QTest::keyClicks(filter, QStringLiteral("tankarmor"));
    QCOMPARE(Rows(goTo), (QStringList{"Armor TankArmor \u2014 Armor.ini:1   (defined 2 times)",
                                      "armor TankArmor \u2014 Armor.ini:3   (defined 2 times)"}));
    filter->clear();
    QTest::keyClicks(filter, QStringLiteral("lancer"));
    QCOMPARE(Rows(goTo).front(), QStringLiteral("Weapon LancerGun \u2014 Weapons/Guns.ini:4"));
    // Up at the first row moves nothing: the list hands the key back to the dialog, which
    // must not hand it to the list again.
    auto* goToList = goTo->findChild<QListWidget*>(QStringLiteral("Folder_List"));
    QCOMPARE(goToList->currentRow(), 0);
    QTest::keyClick(filter, Qt::Key_Up);
    QTest::keyClick(filter, Qt::Key_PageUp);
    QCOMPARE(goToList->currentRow(), 0);
    QTest::keyClick(filter, Qt::Key_Return);
    QVERIFY(!goTo->isVisible());
    QCOMPARE(window.Find<QLineEdit>("Txt_Filename")->text(),
             mod + QStringLiteral("/Weapons/Guns.ini"));
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(3));

    // Find uses of the selected block: the whole word only, comments left out.
    window.form->activateWindow();
    QTRY_VERIFY(window.form->isActiveWindow());
    QTest::keyClick(window.form.get(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    auto* uses = window.form->findChild<UsesDialog*>(QStringLiteral("FindUses"));
    QVERIFY(uses);
    QTRY_VERIFY(!Header(uses).contains(QStringLiteral("searching")) && uses->Unlisted() == 0);
    QCOMPARE(Rows(uses), (QStringList{"Latin.ini:2: PrimaryWeapon = LancerGun ; fran\u00e7ais",
                                      "Units/Tank.ini:2: PrimaryWeapon = LancerGun ; main"}));
    // The keys work the list at once.
    QTRY_COMPARE(QApplication::focusWidget(),
                 uses->findChild<QListWidget*>(QStringLiteral("Folder_List")));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(window.Find<QLineEdit>("Txt_Filename")->text(),
             mod + QStringLiteral("/Units/Tank.ini"));
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(1));
    // F4 in the main window goes on through the list, round its end; Shift+F4 goes back.
    window.form->activateWindow();
    QTRY_VERIFY(window.form->isActiveWindow());
    QTest::keyClick(window.form.get(), Qt::Key_F4);
    QCOMPARE(window.Find<QLineEdit>("Txt_Filename")->text(), mod + QStringLiteral("/Latin.ini"));
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(1));
    QTest::keyClick(window.form.get(), Qt::Key_F4, Qt::ShiftModifier);
    QCOMPARE(window.Find<QLineEdit>("Txt_Filename")->text(),
             mod + QStringLiteral("/Units/Tank.ini"));

    // F12 on that line: its one defined name; on a line naming a twice-defined block, a list.
    window.form->activateWindow();
    QTRY_VERIFY(window.form->isActiveWindow());
    QTest::keyClick(window.form.get(), Qt::Key_F12);
    QCOMPARE(window.Find<QLineEdit>("Txt_Filename")->text(),
             mod + QStringLiteral("/Weapons/Guns.ini"));
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(3));
    // A new list's first F4 goes to its first use, not past it.
    window.form->FindUses();
    QTRY_VERIFY(!Header(uses).contains(QStringLiteral("searching")) && uses->Unlisted() == 0);
    window.form->activateWindow();
    QTRY_VERIFY(window.form->isActiveWindow());
    QTest::keyClick(window.form.get(), Qt::Key_F4);
    QCOMPARE(window.Find<QLineEdit>("Txt_Filename")->text(), mod + QStringLiteral("/Latin.ini"));
    // The same from the tree's menu, for the mouse, which offers what the keys do.
    window.Load(mod + QStringLiteral("/Units/Tank.ini"));
    emit window.Tree()->clicked(window.Node(0));
    window.Tree()->setCurrentIndex(window.Node(1));
    QStringList offered;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr)
            return;
        for (QAction* action : menu->actions()) {
            offered << action->text();
            if (action->text() == QStringLiteral("Go to definition"))
                menu->setActiveAction(action);
        }
        QTest::keyClick(menu, Qt::Key_Return);
    });
    // Shift+F10 asks for it as a right click does, at the current node.
    QTest::keyClick(window.Tree(), Qt::Key_F10, Qt::ShiftModifier);
    QVERIFY(offered.contains(QStringLiteral("Find uses")));
    QCOMPARE(window.Find<QLineEdit>("Txt_Filename")->text(),
             mod + QStringLiteral("/Weapons/Guns.ini"));
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(3));
    window.Load(mod + QStringLiteral("/Units/Tank.ini"));
    emit window.Tree()->clicked(window.Node(0));
    window.Tree()->setCurrentIndex(window.Node(2));
    window.form->activateWindow();
    QTRY_VERIFY(window.form->isActiveWindow());
    QTest::keyClick(window.form.get(), Qt::Key_F12);
    QTRY_VERIFY(goTo->isVisible());
    QCOMPARE(Rows(goTo).size(), 2);
    QVERIFY(window.warnings.isEmpty());

    // Inside a block "Armor = ..." opens nothing, so it names no block: find uses asks, and
    // offers the name of the folder that the line holds.
    goTo->hide();
    QString offeredName;
    QTimer::singleShot(0, [&] {
        if (auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
            offeredName = dialog->textValue();
            dialog->reject();
        }
    });
    window.form->FindUses();
    QCOMPARE(offeredName, QStringLiteral("TankArmor"));
}

// What F12 takes a line to name: whole words of it, a name inside a longer one left out, and
// never the '=' of a value line, though a top-level "Object = Factory" defines a block so named.
void FolderViewsTest::aLineNamesWholeWordsOnly() {
    std::string texts;
    std::vector<IndexedDefinition> definitions;
    const std::string_view written[] = {"Object Tank-2", "Weapon Tank", "Object Caf\xc3\xa9",
                                        "Object ="};
    for (const std::string_view text : written) {
        definitions.push_back(IndexedDefinition{{}, 6, LineIndex(definitions.size())});
        texts += text;
    }
    for (std::size_t i = 0, at = 0; i < definitions.size(); ++i) {
        definitions[i].text = std::string_view(texts).substr(at, written[i].size());
        at += written[i].size();
    }
    FolderIndexState state;
    state.files.push_back(
        FileDefinitions::Make("/mod/All.ini", definitions, std::string_view(texts)));
    const auto named = [&](std::string_view content) {
        const NamedOnLine found = DefinitionsNamedOn(state, content);
        std::vector<std::string> lines;
        for (const FolderPlace& place : found.places)
            lines.push_back(place.file + ":" + std::to_string(place.line));
        return std::pair(found.names, lines);
    };
    using Names = std::vector<std::string>;
    QCOMPARE(named("x = Tank-2"), std::pair(Names{"Tank-2"}, Names{"/mod/All.ini:0"}));
    QCOMPARE(named("x = Tank"), std::pair(Names{"Tank"}, Names{"/mod/All.ini:1"}));
    QCOMPARE(named("y = Caf\xc3\xa9"), std::pair(Names{"Caf\xc3\xa9"}, Names{"/mod/All.ini:2"}));
    QCOMPARE(named("Tank-2, Tank"),
             std::pair(Names{"Tank-2", "Tank"}, Names{"/mod/All.ini:0", "/mod/All.ini:1"}));
    QCOMPARE(named("Tank_2 xTank Tank2 Tank-"), std::pair(Names{"Tank"}, Names{"/mod/All.ini:1"}));
    QCOMPARE(named("Tank_2 xTank Tank2"), std::pair(Names{}, Names{}));
    QCOMPARE(named("Ref = TailTab"), std::pair(Names{}, Names{}));
    // A long line's label cut inside "TankGun": "Tank" is only the start of a word.
    QCOMPARE(DefinitionsNamedOn(state, "x = Tank", false).names, Names{});
    QCOMPARE(DefinitionsNamedOn(state, "x = Tank-", false).names, Names{"Tank"});
}

// The window goes while a search for uses still reads the folder: the search stops first.
void FolderViewsTest::closingDuringASearchForUses() {
    Harness window;
    window.Open();
    QDir(window.Folder()).mkpath(QStringLiteral("big"));
    for (int i = 0; i < 40; ++i)
        window.WriteFile(QStringLiteral("big/units%1.ini").arg(i), ManyBlocks(5000, 4));
    window.form->SetIndexFolder(window.Folder() + QStringLiteral("/big"));
    window.Load(window.Folder() + QStringLiteral("/big/units0.ini"));
    auto* uses = window.form->findChild<UsesDialog*>(QStringLiteral("FindUses"));
    QVERIFY(!uses);
    window.Tree()->setCurrentIndex(window.Node(6)); // "Object Unit1": used nowhere, all is read
    window.form->FindUses();
    uses = window.form->findChild<UsesDialog*>(QStringLiteral("FindUses"));
    QVERIFY(uses && uses->isVisible());
    window.form.reset();
}

// Over more blocks than one slice ranks, the rows for what is typed come once it is ranked, the
// duplicates still counted; Enter straight after typing waits for them, never taking a row of
// the text before.
void FolderViewsTest::manyBlocksAreRankedWithoutHoldingUpTyping() {
    std::vector<IndexedDefinition> definitions;
    std::string texts;
    const auto add = [&](const std::string& text, LineIndex line) {
        texts += text;
        definitions.push_back(IndexedDefinition{{}, 6, line});
    };
    for (LineIndex i = 0; i < 300'000; ++i)
        add("Object Unit_" + std::to_string(i), 3 * i);
    add("Weapon LancerGun", 900'000);
    add("weapon LancerGun", 900'003);
    for (std::size_t i = 0, at = 0; i < definitions.size(); ++i) {
        const std::size_t size = i + 2 < definitions.size() ? 12 + std::to_string(i).size() : 16;
        definitions[i].text = std::string_view(texts).substr(at, size);
        at += size;
    }
    auto state = std::make_shared<FolderIndexState>();
    state->folder = "/mod";
    state->files.push_back(
        FileDefinitions::Make("/mod/All.ini", definitions, std::string_view(texts)));
    state->filesTotal = 1;
    state->complete = true;

    GoToBlockDialog dialog;
    std::optional<FolderPlace> chosen;
    dialog.goTo = [&](const FolderPlace& place) { chosen = place; };
    QSignalSpy shown(&dialog, &GoToBlockDialog::rowsShown);
    dialog.SetIndex(state);
    dialog.ShowAll();
    QTRY_VERIFY(!shown.isEmpty());
    QCOMPARE(Rows(&dialog).size(), int(GoToBlockDialog::mostRows));
    // Files changed on disk and not read again yet are said to be under way.
    auto catchingUp = std::make_shared<FolderIndexState>(*state);
    catchingUp->changesToRead = 3;
    dialog.SetIndex(catchingUp);
    QCOMPARE(Header(&dialog), QStringLiteral("300002 blocks in /mod (reading 3 changed files)"));
    dialog.SetIndex(state);
    QCOMPARE(Rows(&dialog).front(), QStringLiteral("Object Unit_0 \u2014 All.ini:1"));

    auto* filter = dialog.findChild<QLineEdit*>(QStringLiteral("Block_Filter"));
    filter->setText(QStringLiteral("unit_29999"));
    QTRY_COMPARE(Rows(&dialog).size(), 11);
    QCOMPARE(Rows(&dialog).front(), QStringLiteral("Object Unit_29999 \u2014 All.ini:89998"));
    filter->setText(QStringLiteral("lancergun"));
    QTest::keyClick(filter, Qt::Key_Return);
    QVERIFY(chosen.has_value());
    QCOMPARE(chosen->line, LineIndex(900'000));
    QCOMPARE(Rows(&dialog).front(),
             QStringLiteral("Weapon LancerGun \u2014 All.ini:900001   (defined 2 times)"));

    // Opened again: the rows of the last text do not stand under the empty box while the list
    // is ranked, and an Enter typed meanwhile goes once it is.
    dialog.ShowAll();
    QVERIFY(Rows(&dialog).isEmpty() ||
            Rows(&dialog).front() == QStringLiteral("Object Unit_0 \u2014 All.ini:1"));
    filter->setText(QStringLiteral("unit_29999"));
    QTest::keyClick(filter, Qt::Key_Return);
    QTRY_COMPARE(chosen->line, LineIndex(89'997));
}

// Files are searched on every core and their uses listed in file order; a name used more often
// than anyone reads stops the search at the first UseSearch::mostUses, and the list says so.
void FolderViewsTest::aNameUsedEverywhereListsTheFirstUsesInFileOrder() {
    Harness window;
    window.Open();
    QDir(window.Folder()).mkpath(QStringLiteral("mod"));
    const auto uses = [](int count) {
        QByteArray bytes = "Object Tank\n";
        for (int i = 0; i < count; ++i)
            bytes += "  Weapon = LancerGun\n";
        return bytes + "End\n";
    };
    window.WriteFile(QStringLiteral("mod/a.ini"), uses(3));
    for (int file = 0; file < 8; ++file)
        window.WriteFile(QStringLiteral("mod/b%1.ini").arg(file), "Object Jeep\nEnd\n");
    window.WriteFile(QStringLiteral("mod/c.ini"), uses(int(UseSearch::mostUses)));
    window.WriteFile(QStringLiteral("mod/d.ini"), uses(3));

    QString header;
    // F4 stops at the end of a list cut short: going round would pass over the uses not listed.
    std::vector<LineIndex> wentTo;
    std::vector<FolderListDialog::Step> steps;
    const auto walkRound = [&](UsesDialog& dialog) {
        dialog.goTo = [&](const FolderPlace& place) { wentTo.push_back(place.line); };
        steps.push_back(dialog.GoToNext(false));
        steps.push_back(dialog.GoToNext(true));
        steps.push_back(dialog.GoToNext(false));
    };
    const QStringList rows =
        UsesListed(window.Folder() + QStringLiteral("/mod"), &header, "LancerGun", walkRound);
    using Step = FolderListDialog::Step;
    QCOMPARE(steps, (std::vector{Step::Went, Step::AtEnd, Step::Went}));
    QCOMPARE(wentTo, (std::vector<LineIndex>{LineIndex(UseSearch::mostUses - 3),
                                             LineIndex(UseSearch::mostUses - 4)}));
    QCOMPARE(rows.size(), int(UseSearch::mostUses));
    QCOMPARE(rows[0], QStringLiteral("a.ini:2: Weapon = LancerGun"));
    QCOMPARE(rows[2], QStringLiteral("a.ini:4: Weapon = LancerGun"));
    QCOMPARE(rows[3], QStringLiteral("c.ini:2: Weapon = LancerGun"));
    QCOMPARE(rows.back(),
             QStringLiteral("c.ini:%1: Weapon = LancerGun").arg(UseSearch::mostUses - 2));
    QVERIFY(header.contains(QStringLiteral("the search stops there")));
}

// A use on a line of hundreds of KiB keeps the line's start, cut between two characters.
void FolderViewsTest::aUseOnAVeryLongLineKeepsItsStartOnly() {
    Harness window;
    window.Open();
    QDir(window.Folder()).mkpath(QStringLiteral("mod"));
    QByteArray longLine = "  Weapon = LancerGun ";
    for (int i = 0; i < 100'000; ++i)
        longLine += "\xC3\xA9"; // é
    window.WriteFile(QStringLiteral("mod/a.ini"), "Object Tank\n" + longLine + "\nEnd\n");
    const QStringList rows = UsesListed(window.Folder() + QStringLiteral("/mod"));
    QCOMPARE(rows.size(), 1);
    QVERIFY(rows[0].startsWith(QStringLiteral("a.ini:2: Weapon = LancerGun \u00E9\u00E9")));
    QVERIFY(rows[0].endsWith(QStringLiteral("\u00E9...")));
    QVERIFY(rows[0].size() < 1100);
}

// The header shows a name that is not UTF-8 as the outline shows it, and a search the user
// stopped never passes for a complete one: "0 uses" would read as "used nowhere".
void FolderViewsTest::theUsesHeaderNamesTheBlockAsShownAndSaysWhenStopped() {
    Harness window;
    window.Open();
    WriteMod(window);
    const QString mod = window.Folder() + QStringLiteral("/mod");
    QString header;
    QCOMPARE(UsesListed(mod, &header, "Caf\xe9"), QStringList());
    QVERIFY2(header.startsWith(QStringLiteral("0 uses of Caf\u00e9 in ")), qPrintable(header));
    QVERIFY(!header.contains(QStringLiteral("stopped")));

    Keywords keywords;
    keywords.InitKeywords();
    UseSearch search(keywords);
    UsesDialog dialog(search);
    search.Start(mod.toStdString(), "LancerGun");
    dialog.Follow(mod.toStdString());
    dialog.findChild<QPushButton*>(QStringLiteral("Stop_Search"))->click();
    QVERIFY(!search.Running());
    QVERIFY2(Header(&dialog).contains(QStringLiteral("(stopped: not every file was searched)")),
             qPrintable(Header(&dialog)));

    // A name of thousands of characters is cut, or the header would widen its window past any
    // screen.
    const std::string longName(5000, 'A');
    window.WriteFile(QStringLiteral("mod/Long.ini"),
                     QByteArray::fromStdString("Weapon " + longName + "\nEnd\n"));
    QCOMPARE(UsesListed(mod, &header, longName), QStringList());
    QVERIFY2(header.size() < 300 && header.contains(QStringLiteral("A… in ")),
             qPrintable(header.left(300)));
}

// The list of uses is what the search found; the file may change before a row is chosen. The
// row's line is found where edits above it moved it, and a line that is gone selects nothing
// rather than whatever now stands at its number.
void FolderViewsTest::aUseListedBeforeItsFileChangedIsFoundWhereItMoved() {
    Harness window;
    const QString mod = ShowWithMod(window);
    QVERIFY(!mod.isEmpty());
    const auto listUses = [&]() -> QListWidget* {
        UsesDialog* uses = FindLancerGunUses(window, mod);
        const auto listed = [&] {
            return !Header(uses).contains(QStringLiteral("searching")) && uses->Unlisted() == 0;
        };
        if (uses == nullptr || !QTest::qWaitFor(listed))
            return nullptr;
        return uses->findChild<QListWidget*>(QStringLiteral("Folder_List"));
    };
    const auto choose = [](QListWidget* list, int row) {
        list->setCurrentRow(row);
        emit list->itemActivated(list->item(row));
    };
    const QString tank = mod + QStringLiteral("/Units/Tank.ini");

    QListWidget* list = listUses();
    QVERIFY(list && list->count() == 2);
    window.WriteFile(QStringLiteral("mod/Units/Tank.ini"),
                     "; one\n; two\n; three\nObject Tank\n  PrimaryWeapon = LancerGun ; main\n"
                     "  Armor = TankArmor\nEnd\n");
    // Chosen with Enter, which the list and then the dialog both see: one jump, so one Back
    // returns to the place it left.
    list->setCurrentRow(1);
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(window.Find<QLineEdit>("Txt_Filename")->text(), tank);
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(4));
    window.form->GoBack(true);
    QCOMPARE(window.Find<QLineEdit>("Txt_Filename")->text(),
             mod + QStringLiteral("/Weapons/Guns.ini"));
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(3));

    // Two uses written alike, lines removed above them: each is found by its order, not by
    // the nearest line that reads the same.
    window.WriteFile(QStringLiteral("mod/Units/Tank.ini"),
                     "; one\n; two\n; three\n; four\nObject Tank\n  PrimaryWeapon = LancerGun ; "
                     "main\nEnd\nObject Tank2\n  PrimaryWeapon = LancerGun ; main\nEnd\n");
    list = listUses();
    QVERIFY(list && list->count() == 3);
    window.WriteFile(QStringLiteral("mod/Units/Tank.ini"),
                     "Object Tank\n  PrimaryWeapon = LancerGun ; main\nEnd\nObject Tank2\n"
                     "  PrimaryWeapon = LancerGun ; main\nEnd\n");
    choose(list, 1);
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(1));
    choose(list, 2);
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(4));
    // Three alike, the first renamed in place as F4, edit, save does: the second is itself
    // still, not the one that is now second of its text.
    const QByteArray three = "Object Tank\n  PrimaryWeapon = LancerGun ; main\nEnd\n"
                             "Object Tank2\n  PrimaryWeapon = LancerGun ; main\nEnd\n"
                             "Object Tank3\n  PrimaryWeapon = LancerGun ; main\nEnd\n";
    window.WriteFile(QStringLiteral("mod/Units/Tank.ini"), three);
    list = listUses();
    QVERIFY(list && list->count() == 4);
    window.WriteFile(QStringLiteral("mod/Units/Tank.ini"),
                     QByteArray(three).replace("Tank\n  PrimaryWeapon = LancerGun ;",
                                               "Tank\n  PrimaryWeapon = LancerGun2 ;"));
    choose(list, 2);
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(4));
    // Three alike, lines added above them: the second is Tank2's still, though the line it was
    // listed at now holds Tank's, written alike.
    window.WriteFile(QStringLiteral("mod/Units/Tank.ini"), three);
    list = listUses();
    QVERIFY(list && list->count() == 4);
    window.WriteFile(QStringLiteral("mod/Units/Tank.ini"), "; a\n; b\n; c\n" + three);
    choose(list, 2);
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(7));
    window.WriteFile(QStringLiteral("mod/Units/Tank.ini"),
                     "Object Tank\n  PrimaryWeapon = LancerGun ; main\nEnd\nObject Tank2\n"
                     "  PrimaryWeapon = LancerGun ; main\nEnd\n");

    list = listUses();
    QVERIFY(list && list->count() == 3);
    window.WriteFile(QStringLiteral("mod/Units/Tank.ini"),
                     "; one\n; two\n; three\nObject Tank\n  PrimaryWeapon = RailGun\nEnd\n");
    choose(list, 1);
    QCOMPARE(window.Find<QLineEdit>("Txt_Filename")->text(), tank);
    QCOMPARE(window.SelectedLine(), std::nullopt);
}

// Going to a use while another file is read is turned away, as a second Load is: the name box
// keeps naming the file the tree shows, which the editor button opens at the selected line.
void FolderViewsTest::aGoToWhileAFileIsReadIsTurnedAway() {
    Harness window;
    window.Interval(std::chrono::milliseconds(0));
    const QString mod = ShowWithMod(window);
    QVERIFY(!mod.isEmpty());
    UsesDialog* uses = FindLancerGunUses(window, mod);
    QVERIFY(uses);
    const QString many = window.WriteFile(QStringLiteral("many.ini"), ManyBlocks(2000));
    bool triedDuringWalk = false;
    QTimer::singleShot(0, window.form.get(), [&] {
        triedDuringWalk = window.form->Walking();
        uses->goTo(FolderPlace{
            (mod + QStringLiteral("/Units/Tank.ini")).toStdString(), 1, {}, false, {}, {}, {}});
    });
    window.Load(many);
    QVERIFY(triedDuringWalk);
    QCOMPARE(window.Find<QLineEdit>("Txt_Filename")->text(), many);
    QCOMPARE(window.Model()->rowCount(), 2000);
}

// A remembered folder that is gone gives way to the folder shown, and the views say so: they
// may now cover a far larger folder than the user meant.
void FolderViewsTest::aRememberedFolderThatIsGoneIsNamed() {
    Harness window;
    const QString gone = window.Folder() + QStringLiteral("/gone");
    QVERIFY(window.Store().WriteFolder(gone).ok());
    window.Open().show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    QTest::keyClick(window.form.get(), Qt::Key_P, Qt::ControlModifier);
    auto* goTo = window.form->findChild<GoToBlockDialog*>(QStringLiteral("GoToBlock"));
    QVERIFY(goTo);
    QVERIFY2(
        Header(goTo).contains(QStringLiteral("The folder remembered, %1, is not there").arg(gone)),
        qPrintable(Header(goTo)));
    window.form->SetIndexFolder(window.Folder());
    goTo->SetIndex(window.form->findChild<FolderIndex*>()->Snapshot());
    QVERIFY(!Header(goTo).contains(QStringLiteral("is not there")));
}

// A block of the file shown, gone to, keeps the blocks open there (the file is not read again
// while it is unchanged), and the keys go on in the tree; the lists' headers count what could
// not be read and name it in their tooltips.
void FolderViewsTest::aPlaceInTheShownFileKeepsItsOpenBlocksAndWhatCannotBeReadIsNamed() {
    Harness window;
    const QString mod = ShowWithMod(window);
    QVERIFY(!mod.isEmpty());
    const QString same =
        window.WriteFile(QStringLiteral("mod/Same.ini"), "Object SameUnit\n"
                                                         "  PrimaryWeapon = SameGun\n"
                                                         "End\n"
                                                         "Weapon SameGun\n"
                                                         "End\n");
    QCOMPARE(::mkfifo(QFile::encodeName(mod + QStringLiteral("/Pipe.ini")).constData(), 0600), 0);
    QTest::keyClick(window.form.get(), Qt::Key_P, Qt::ControlModifier);
    auto* goTo = window.form->findChild<GoToBlockDialog*>(QStringLiteral("GoToBlock"));
    QVERIFY(goTo);
    QTRY_VERIFY2(Header(goTo).contains(QStringLiteral(", 1 file or folder could not be read")),
                 qPrintable(Header(goTo)));
    const auto tooltip = [](QWidget* dialog) {
        return dialog->findChild<QLabel*>(QStringLiteral("Folder_Header"))->toolTip();
    };
    QVERIFY2(tooltip(goTo).contains(QStringLiteral("Pipe.ini")), qPrintable(tooltip(goTo)));
    goTo->hide();

    window.Load(same);
    window.ClickNode(0);
    window.Tree()->setCurrentIndex(window.Node(1));
    window.form->activateWindow();
    QTRY_VERIFY(window.form->isActiveWindow());
    QTest::keyClick(window.form.get(), Qt::Key_F12);
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(3));
    QVERIFY(window.Tree()->isExpanded(window.Node(0)));
    QCOMPARE(QApplication::focusWidget(), window.Tree());

    UsesDialog* uses = FindLancerGunUses(window, mod);
    QVERIFY(uses);
    QTRY_VERIFY(!Header(uses).contains(QStringLiteral("searching")) && uses->Unlisted() == 0);
    QVERIFY2(Header(uses).contains(QStringLiteral(", 1 file could not be read")),
             qPrintable(Header(uses)));
    QVERIFY2(tooltip(uses).contains(QStringLiteral("Pipe.ini")), qPrintable(tooltip(uses)));

    // A place in a file gone since it was listed: the load says why, and the name box names
    // the file shown again, so that the editor button does not open the one gone, and the
    // folder list shows its folder again.
    QVERIFY(window.warnings.isEmpty());
    uses->goTo(
        FolderPlace{(mod + QStringLiteral("/Gone.ini")).toStdString(), 0, {}, false, {}, {}, {}});
    QCOMPARE(window.warnings.size(), 1);
    QCOMPARE(window.Find<QLineEdit>("Txt_Filename")->text(),
             mod + QStringLiteral("/Weapons/Guns.ini"));
    QCOMPARE(window.Find<FolderList>("Dir1")->Path(), mod + QStringLiteral("/Weapons"));
}

// A fast typist's Enter, given before the folder was read, goes to the best row once it is.
void FolderViewsTest::anEnterTypedWhileTheFolderIsReadGoesOnceItIsRead() {
    Harness window;
    WriteMod(window);
    Keywords keywords;
    keywords.InitKeywords();
    FolderIndex index(keywords);
    index.Open((window.Folder() + QStringLiteral("/mod")).toStdString());
    QTRY_VERIFY(index.Snapshot()->complete);

    GoToBlockDialog dialog;
    std::vector<FolderPlace> gone;
    dialog.goTo = [&](const FolderPlace& place) { gone.push_back(place); };
    auto reading = std::make_shared<FolderIndexState>();
    reading->folder = index.Snapshot()->folder;
    reading->filesTotal = 5;
    dialog.SetIndex(reading);
    dialog.ShowAll();
    auto* filter = dialog.findChild<QLineEdit*>(QStringLiteral("Block_Filter"));
    QTest::keyClicks(filter, QStringLiteral("railgun"));
    QTest::keyClick(filter, Qt::Key_Return);
    QVERIFY(gone.empty());
    dialog.SetIndex(index.Snapshot());
    QTRY_COMPARE(gone.size(), std::size_t{1});
    QCOMPARE(gone.front().line, LineIndex{1});
    QVERIFY(QString::fromStdString(gone.front().file).endsWith(QStringLiteral("Guns.ini")));
}

// F12 as the first key: the folder is not read yet, and the line is looked up once it is.
void FolderViewsTest::anF12BeforeTheFolderIsReadGoesOnceItIs() {
    Harness window;
    const QString mod = ShowWithMod(window);
    QVERIFY(!mod.isEmpty());
    window.Load(mod + QStringLiteral("/Units/Tank.ini"));
    window.ClickNode(0);
    window.Tree()->setCurrentIndex(window.Node(1)); // PrimaryWeapon = LancerGun
    QTest::keyClick(window.form.get(), Qt::Key_F12);
    QTRY_COMPARE(window.Find<QLineEdit>("Txt_Filename")->text(),
                 mod + QStringLiteral("/Weapons/Guns.ini"));
    QCOMPARE(window.SelectedLine(), std::optional<LineIndex>(3));
}

// Alt+Left and Alt+Right go back and forth over the places the jumps left, as a browser does.
void FolderViewsTest::backAndForwardRetraceTheJumps() {
    Harness window;
    const QString mod = ShowWithMod(window);
    QVERIFY(!mod.isEmpty());
    const auto shown = [&] {
        return std::pair(window.Find<QLineEdit>("Txt_Filename")->text().mid(mod.size() + 1),
                         window.SelectedLine());
    };
    const auto press = [&](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::AltModifier) {
        window.form->activateWindow();
        QTRY_VERIFY(window.form->isActiveWindow());
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    };
    const auto at = [](const char* file, LineIndex line) {
        return std::pair(QString::fromLatin1(file), std::optional<LineIndex>(line));
    };
    window.Load(mod + QStringLiteral("/Units/Tank.ini"));
    emit window.Tree()->clicked(window.Node(0));
    window.Tree()->setCurrentIndex(window.Node(1));
    press(Qt::Key_F12, Qt::NoModifier);
    QTRY_COMPARE(shown(), at("Weapons/Guns.ini", 3));
    window.form->GoToPlace(
        FolderPlace{(mod + QStringLiteral("/Armor.ini")).toStdString(), 2, {}, false, {}, {}, {}});
    QCOMPARE(shown(), at("Armor.ini", 2));

    // Lines added above the place left while away: it is found where it went.
    QVERIFY(!window
                 .WriteFile(QStringLiteral("mod/Units/Tank.ini"),
                            "; added\nObject Tank\n  PrimaryWeapon = LancerGun ; main\n"
                            "  Armor = TankArmor\nEnd\n")
                 .isEmpty());
    press(Qt::Key_Left);
    QCOMPARE(shown(), at("Weapons/Guns.ini", 3));
    press(Qt::Key_Left);
    QCOMPARE(shown(), at("Units/Tank.ini", 2));
    // Nothing before the first jump: the place stays, and a note says why, which stays to be
    // read when the focus moves (a tooltip would go).
    press(Qt::Key_Left);
    QCOMPARE(shown(), at("Units/Tank.ini", 2));
    const auto* note = window.Find<QLabel>("Tree_Note");
    QVERIFY(note && note->isVisible());
    QVERIFY2(note->text().startsWith(QStringLiteral("No place to go back to")),
             qPrintable(note->text()));
    window.Find<QLineEdit>("Txt_Filename")->setFocus();
    QTRY_VERIFY(window.Find<QLineEdit>("Txt_Filename")->hasFocus());
    QVERIFY(note->isVisible());
    // The next key pressed is the next thing done: the note goes.
    QTest::keyClick(window.Find<QLineEdit>("Txt_Filename"), Qt::Key_Shift);
    QVERIFY(!note->isVisible());
    press(Qt::Key_Right);
    QCOMPARE(shown(), at("Weapons/Guns.ini", 3));
    // A mouse's side buttons do the same over the tree.
    QTest::mouseClick(window.Tree()->viewport(), Qt::ForwardButton);
    QCOMPARE(shown(), at("Armor.ini", 2));
    QTest::mouseClick(window.Tree()->viewport(), Qt::BackButton);
    QCOMPARE(shown(), at("Weapons/Guns.ini", 3));

    // A new jump after going back drops the places ahead; back then returns to the place left.
    window.form->GoToPlace(
        FolderPlace{(mod + QStringLiteral("/Latin.ini")).toStdString(), 1, {}, false, {}, {}, {}});
    press(Qt::Key_Right);
    QCOMPARE(shown(), at("Latin.ini", 1));
    press(Qt::Key_Left);
    QCOMPARE(shown(), at("Weapons/Guns.ini", 3));

    // The place left is one of two lines written alike, and lines come above both while away:
    // back goes to the same one of them, not to the other that now stands at its old line.
    const QByteArray twice = "Version = 1\nObject A\nEnd\nVersion = 1\nObject B\nEnd\n";
    window.WriteFile(QStringLiteral("mod/Twice.ini"), twice);
    window.Load(mod + QStringLiteral("/Twice.ini"));
    window.Tree()->setCurrentIndex(window.Node(3));
    window.form->GoToPlace(
        FolderPlace{(mod + QStringLiteral("/Armor.ini")).toStdString(), 2, {}, false, {}, {}, {}});
    window.WriteFile(QStringLiteral("mod/Twice.ini"), "; 1\n; 2\n; 3\n" + twice);
    press(Qt::Key_Left);
    QCOMPARE(shown(), at("Twice.ini", 6));
    // A block added above that holds a line written alike: the line moved as far as the file
    // grew, and the one written alike nearest there is meant.
    const QByteArray blocks = "Object A\n  ArmorSet\n  End\nEnd\nObject B\n  ArmorSet\n  End\nEnd\n"
                              "Object C\n  ArmorSet\n  End\nEnd\n";
    window.WriteFile(QStringLiteral("mod/Blocks.ini"), blocks);
    window.Load(mod + QStringLiteral("/Blocks.ini"));
    emit window.Tree()->clicked(window.Node(8));
    window.Tree()->setCurrentIndex(window.Node(9));
    window.form->GoToPlace(
        FolderPlace{(mod + QStringLiteral("/Armor.ini")).toStdString(), 2, {}, false, {}, {}, {}});
    window.WriteFile(QStringLiteral("mod/Blocks.ini"),
                     "Object N\n  ArmorSet\n  End\nEnd\n" + blocks);
    press(Qt::Key_Left);
    QCOMPARE(shown(), at("Blocks.ini", 13));
    QVERIFY(window.warnings.isEmpty());
}

void FolderViewsTest::theOldestPlacesGoFirst() {
    JumpHistory history;
    for (LineIndex line = 0; line <= JumpHistory::mostPlaces; ++line)
        history.Leave(FolderPlace{"a.ini", line, {}, false, {}, {}, {}});
    std::vector<LineIndex> back;
    while (const std::optional<FolderPlace> place = history.Back(std::nullopt))
        back.push_back(place->line);
    QCOMPARE(back.size(), JumpHistory::mostPlaces);
    QCOMPARE(back.front(), LineIndex(JumpHistory::mostPlaces));
    QCOMPARE(back.back(), LineIndex(1));
}

QTEST_MAIN(FolderViewsTest)
#include "folder_views_test.moc"
