#include "outline/model/outline_model.h"
#include "outline/walk/outline_builder.h"
#include "support/address_space.h"
#include "support/temp_file.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>

using namespace ini;

namespace {

NodeText Shown(std::string_view line) {
    return NodeText{line, false};
}

// Loads a file holding `bytes` as the window's Load does: `lines` gets its lines, `model` its
// roots.
void Load(const std::string& bytes, LineStore& lines, OutlineModel& model) {
    const test::TempFile file(bytes);
    Keywords keywords;
    keywords.InitKeywords();
    FileLoader loader;
    QCOMPARE(loader.LoadFile(file.Path(), lines, model, keywords, {}).status, WalkStatus::Done);
}

QString SampleFile(const char* name) {
    return qEnvironmentVariable("INI_SOURCE_DIR") + QStringLiteral("/samples/") +
           QLatin1String(name);
}

} // namespace

class OutlineModelTest : public QObject {
    Q_OBJECT

private slots:
    void staysConsistentThroughLoadsAndBuilds_data();
    void staysConsistentThroughLoadsAndBuilds();
    void rowsReachViewsLazily();
    void longLinesShowBoundedLabels();
    void publishesOneInsertionPerParentParentsFirst();
    void rowsComingAlongAreTheFirstRowsOnly();
    void droppedChildrenLeaveViewsAndTheBlockFillsAgain();
    void loadOutOfMemoryKeepsThePreviousOutline();
    void replacingTheOutlineResets();
    void keysAndIndexesRoundTrip();
    void decodesBytes_data();
    void decodesBytes();
    void decodesEveryByteOfWindows1252();
    void showsTextByTheFileEncoding();
};

void OutlineModelTest::staysConsistentThroughLoadsAndBuilds_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("eventsEvery");
    QTest::newRow("units, publish every line") << SampleFile("Units.ini") << 1;
    QTest::newRow("oddities, publish every 7 lines") << SampleFile("Oddities.ini") << 7;
    QTest::newRow("weapons, publish at the end only") << SampleFile("Weapons.ini") << 0;
}

// The model tester checks every signal and answer against the model's own rules while a file
// is loaded and every block is built, with publishing in the middle of the walks.
void OutlineModelTest::staysConsistentThroughLoadsAndBuilds() {
    QFETCH(QString, file);
    QFETCH(int, eventsEvery);
    LineStore lines;
    OutlineModel model(lines);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    Keywords keywords;
    keywords.InitKeywords();
    FileLoader loader;
    int calls = 0;
    WalkHooks hooks;
    hooks.letEventsRun = [&] {
        if (eventsEvery > 0 && ++calls % eventsEvery == 0)
            model.PublishPending();
        return true;
    };

    for (int pass = 0; pass < 2; ++pass) {
        const WalkResult loaded =
            loader.LoadFile(file.toStdString(), lines, model, keywords, hooks);
        QCOMPARE(loaded.status, WalkStatus::Done);
        model.PublishPending();
        QVERIFY(model.rowCount() > 0);
        QCOMPARE(static_cast<std::size_t>(model.rowCount()), loaded.nodesAdded);
        for (int row = 0; row < model.rowCount(); ++row) {
            const auto key = model.KeyAt(model.index(row, 0));
            QVERIFY(key);
            const WalkResult built = ClickNode(*key, lines, model, keywords, hooks);
            QCOMPARE(built.addsRefused, std::size_t{0});
            model.PublishPending();
            QCOMPARE(model.hasChildren(model.index(row, 0)), model.ChildCount(*key) > 0);
        }
        QVERIFY(!model.HasPending());
    }
}

// A level shows its first rows; the view fetches more as the user scrolls, as many again each
// time, and revealing a node deep in the file hands over the rows up to it.
void OutlineModelTest::rowsReachViewsLazily() {
    constexpr LineIndex roots = 3'000'000;
    std::string text;
    for (LineIndex i = 0; i < roots; ++i)
        text += "a\n";
    LineStore lines;
    OutlineModel model(lines);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    Load(text + std::string(10, '\n'), lines, model);
    const int first = static_cast<int>(OutlineModel::firstRows);
    QCOMPARE(model.rowCount(), first);
    QVERIFY(model.canFetchMore({}));
    model.fetchMore({});
    QCOMPARE(model.rowCount(), 2 * first);
    QVERIFY(!model.IndexOf(NodeKey{roots - 1}).isValid());
    QVERIFY(model.Contains(NodeKey{roots - 1}));

    // A block filled before its root reaches the view comes along with it, every level whole.
    for (const auto& [parent, child] : {std::pair{roots - 1, roots},
                                        {roots, roots + 1},
                                        {roots - 1, roots + 2},
                                        {roots + 2, roots + 3}})
        QCOMPARE(model.AddChild(NodeKey{parent}, NodeKey{child}, Shown({})), AddResult::Added);
    model.PublishPending();
    const QModelIndex last = model.Reveal(NodeKey{roots + 3});
    QVERIFY(last.isValid());
    QCOMPARE(model.rowCount(), static_cast<int>(roots));
    QVERIFY(!model.canFetchMore({}));
    QCOMPARE(model.rowCount(model.IndexOf(NodeKey{roots})), 1);

    // Children added by a fill reach the view when published, the first rows at once.
    QSignalSpy inserts(&model, &QAbstractItemModel::rowsAboutToBeInserted);
    QCOMPARE(model.AddChild(NodeKey{roots + 3}, NodeKey{roots + 4}, Shown({})), AddResult::Added);
    QCOMPARE(model.AddChild(NodeKey{7}, NodeKey{8}, Shown({})), AddResult::KeyInUse);
    QVERIFY(!model.hasChildren(last));
    model.PublishPending();
    QVERIFY(model.hasChildren(last));
    QCOMPARE(inserts.count(), 1);
}

// A label shows the start of a huge line and an ellipsis, never the whole line; the node's key
// still stands for the line.
void OutlineModelTest::longLinesShowBoundedLabels() {
    std::string huge(8u << 20, 'x');
    huge.replace(0, 12, "Object \xC3\xA9\xC3\xA9 ");
    for (std::size_t i = OutlineModel::labelBytes - 4; i < OutlineModel::labelBytes + 4; ++i)
        huge[i] = i % 2 == 0 ? '\xC3' : '\xA9'; // a cut inside a two-byte sequence backs off
    LineStore lines;
    OutlineModel model(lines);
    Load(huge + "\nEnd\n", lines, model);
    const QString label = model.index(0, 0).data().toString();
    QVERIFY(label.startsWith(QStringLiteral("Object \u00e9\u00e9 x")));
    QVERIFY(label.endsWith(QChar(u'\u2026')));
    QVERIFY(label.size() <= static_cast<qsizetype>(OutlineModel::labelBytes) + 1);
    QVERIFY(!label.contains(QChar(u'\uFFFD')));
    QCOMPARE(model.index(0, 0).data(OutlineModel::KeyRole).toString(), QStringLiteral("Key_0"));
}

void OutlineModelTest::publishesOneInsertionPerParentParentsFirst() {
    LineStore lines;
    OutlineModel model(lines);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    // Two roots, on lines 0 and 10, of a hundred lines.
    std::string text = "Object A\n";
    for (int line = 1; line < 99; ++line)
        text += line == 9 ? "End\n" : line == 10 ? "Object B\n" : "x\n";
    Load(text + "End\n", lines, model);
    QSignalSpy inserts(&model, &QAbstractItemModel::rowsInserted);
    model.AddChild(NodeKey{0}, NodeKey{1}, Shown({}));
    model.AddChild(NodeKey{1}, NodeKey{2}, Shown({}));
    model.AddChild(NodeKey{1}, NodeKey{3}, Shown({}));
    model.AddChild(NodeKey{0}, NodeKey{4}, Shown({}));
    model.AddChild(NodeKey{4}, NodeKey{5}, Shown({}));
    model.AddChild(NodeKey{10}, NodeKey{11}, Shown({}));
    model.PublishPending();

    // One insertion under each root the view had, in order; the rows of Key_1 and Key_4, which
    // the view had not seen, come along with them.
    QCOMPARE(inserts.count(), 2);
    const QList<std::pair<QString, int>> expected = {{QStringLiteral("Key_0"), 2},
                                                     {QStringLiteral("Key_10"), 1}};
    for (int i = 0; i < 2; ++i) {
        const auto parent = inserts.at(i).at(0).value<QModelIndex>();
        QCOMPARE(parent.data(OutlineModel::KeyRole).toString(), expected[i].first);
        QCOMPARE(inserts.at(i).at(2).toInt() - inserts.at(i).at(1).toInt() + 1, expected[i].second);
    }
    QCOMPARE(model.rowCount(model.IndexOf(NodeKey{1})), 2);
    QCOMPARE(model.rowCount(model.IndexOf(NodeKey{4})), 1);
    model.PublishPending();
    QCOMPARE(inserts.count(), 2);

    // A parent the view has now gets one more child: that is a change the view must hear of.
    model.AddChild(NodeKey{4}, NodeKey{8}, Shown({}));
    model.PublishPending();
    QCOMPARE(inserts.count(), 3);
    QCOMPARE(inserts.at(2).at(0).value<QModelIndex>(), model.IndexOf(NodeKey{4}));
    QCOMPARE(model.rowCount(model.IndexOf(NodeKey{4})), 2);
}

// Rows that come along with a parent are only the first ones; the rest wait to be fetched.
void OutlineModelTest::rowsComingAlongAreTheFirstRowsOnly() {
    const std::size_t many = OutlineModel::firstRows + 10;
    LineStore lines;
    OutlineModel model(lines);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    Load("Object A\n" + std::string(many + 2, '\n'), lines, model);
    model.AddChild(NodeKey{0}, NodeKey{1}, Shown({}));
    for (LineIndex line = 2; line < many + 2; ++line)
        QCOMPARE(model.AddChild(NodeKey{1}, NodeKey{line}, Shown({})), AddResult::Added);
    model.PublishPending();
    const QModelIndex parent = model.IndexOf(NodeKey{1});
    QCOMPARE(model.rowCount(parent), static_cast<int>(OutlineModel::firstRows));
    QVERIFY(model.canFetchMore(parent));
    model.fetchMore(parent);
    QCOMPARE(model.rowCount(parent), static_cast<int>(many));
}

// A fill that ran out of memory takes its nodes away: rows the views were given go with a
// removal they hear of, rows still waiting go unseen, and other blocks stay as they were.
void OutlineModelTest::droppedChildrenLeaveViewsAndTheBlockFillsAgain() {
    LineStore lines;
    OutlineModel model(lines);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    Load("Object A\n  Sub\n    x\n  End\nEnd\nObject B\n  y\nEnd\n", lines, model);
    QSignalSpy removals(&model, &QAbstractItemModel::rowsRemoved);
    for (const auto& [parent, child] : {std::pair{5u, 6u}, {0u, 1u}, {1u, 2u}})
        QCOMPARE(model.AddChild(NodeKey{parent}, NodeKey{child}, Shown({})), AddResult::Added);
    model.PublishPending();
    model.DropChildren(NodeKey{0});
    QCOMPARE(removals.count(), 1);
    QCOMPARE(removals.at(0).at(0).value<QModelIndex>(), model.IndexOf(NodeKey{0}));
    QCOMPARE(model.rowCount(model.IndexOf(NodeKey{0})), 0);
    QVERIFY(!model.Contains(NodeKey{1}) && !model.Contains(NodeKey{2}));
    QCOMPARE(model.rowCount(model.IndexOf(NodeKey{5})), 1);

    // Dropped before they were published, rows never reach the views.
    model.AddChild(NodeKey{0}, NodeKey{1}, Shown({}));
    model.DropChildren(NodeKey{0});
    QVERIFY(!model.HasPending());
    model.PublishPending();
    QCOMPARE(removals.count(), 1);
    QCOMPARE(model.rowCount(model.IndexOf(NodeKey{0})), 0);

    for (const auto& [parent, child] : {std::pair{0u, 1u}, {1u, 2u}})
        QCOMPARE(model.AddChild(NodeKey{parent}, NodeKey{child}, Shown({})), AddResult::Added);
    model.PublishPending();
    QCOMPARE(model.rowCount(model.IndexOf(NodeKey{0})), 1);
    QCOMPARE(model.rowCount(model.IndexOf(NodeKey{1})), 1);
}

// Under a lowered address-space limit a load that cannot get its buffers fails with "not enough
// memory" and the model keeps the previous outline; nothing crashes. Runs in a child process,
// whose limit cannot hurt the test runner.
void OutlineModelTest::loadOutOfMemoryKeepsThePreviousOutline() {
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer needs far more address space than the limit");
#else
    QTemporaryDir folder;
    const std::string small = (folder.path() + QStringLiteral("/small.ini")).toStdString();
    const std::string big = (folder.path() + QStringLiteral("/big.ini")).toStdString();
    std::ofstream(small) << "Object A\nEnd\nVersion = 1\n";
    {
        std::ofstream out(big);
        const std::string lines(16u << 20, '\n'); // sixteen million empty lines, then roots
        out << lines;
        std::string roots;
        for (int i = 0; i < 8'000'000; ++i)
            roots += "a\n";
        out << roots;
    }
    const int exit = test::ExitOfChild([&] {
        LineStore lines;
        OutlineModel model(lines);
        Keywords keywords;
        keywords.InitKeywords();
        FileLoader loader;
        if (loader.LoadFile(small, lines, model, keywords, {}).status != WalkStatus::Done)
            return 2;
        // Room for what runs now and a little more, far less than the big file and its roots
        // need.
        if (!test::CapAddressSpace(48u << 20))
            return 3;
        const WalkResult result = loader.LoadFile(big, lines, model, keywords, {});
        const bool warned = result.status == WalkStatus::Failed && result.error &&
                            result.error->message.find("not enough memory") != std::string::npos;
        const bool kept = lines.Count() == 3 && model.rowCount() == 2 && !loader.Loading();
        return warned && kept ? 0 : 4;
    });
    QCOMPARE(exit, 0);
#endif
}

// A new outline replaces the old one whole, nodes waiting to be published included.
void OutlineModelTest::replacingTheOutlineResets() {
    LineStore lines;
    OutlineModel model(lines);
    Load("Object A\n  Speed = 1\nEnd\n", lines, model);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    model.AddChild(NodeKey{0}, NodeKey{1}, Shown({}));
    QVERIFY(model.HasPending());
    model.Replace(OutlineNodes());
    QCOMPARE(resets.count(), 1);
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(!model.HasPending());
    QVERIFY(!model.Contains(NodeKey{0}));
}

void OutlineModelTest::keysAndIndexesRoundTrip() {
    LineStore lines;
    OutlineModel model(lines);
    Load("Object A\n  Speed = 1 ; fast\nEnd\n", lines, model);
    model.AddChild(NodeKey{0}, NodeKey{1}, NodeText{lines.Line(1), true});
    model.PublishPending();

    const QModelIndex child = model.IndexOf(NodeKey{1});
    QVERIFY(child.isValid());
    QCOMPARE(child.parent(), model.IndexOf(NodeKey{0}));
    QCOMPARE(model.KeyAt(child), std::optional<NodeKey>(NodeKey{1}));
    QCOMPARE(child.data(OutlineModel::KeyRole).toString(), QStringLiteral("Key_1"));
    QCOMPARE(child.data().toString(), QStringLiteral("Speed = 1    ; fast"));
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("Object A"));
    QVERIFY(!model.IndexOf(NodeKey{2}).isValid());
    QCOMPARE(model.KeyAt(QModelIndex()), std::nullopt);
}

void OutlineModelTest::decodesBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("utf8");
    QTest::addColumn<QString>("shown");
    QTest::newRow("utf-8") << QByteArray("Name = \xC3\xA9t\xC3\xA9") << true
                           << QStringLiteral("Name = été");
    QTest::newRow("1252 letters") << QByteArray("caf\xE9 \x80 \x8A") << false
                                  << QStringLiteral("café € Š");
    QTest::newRow("1252 unassigned bytes stay visible")
        << QByteArray("\x81\x8D\x8F\x90\x9D", 5) << false
        << QStringLiteral("\u0081\u008D\u008F\u0090\u009D");
    QTest::newRow("NUL in utf-8 keeps what follows")
        << QByteArray("a\0b", 3) << true << QStringLiteral("a\uFFFDb");
    QTest::newRow("NUL in 1252 keeps what follows")
        << QByteArray("a\0\xFF", 3) << false << QStringLiteral("a\uFFFD\u00FF");
    QTest::newRow("empty") << QByteArray() << false << QString();
}

void OutlineModelTest::decodesBytes() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, utf8);
    QFETCH(QString, shown);
    QCOMPARE(DecodeLineText(std::string_view(bytes.data(), bytes.size()), utf8), shown);
}

void OutlineModelTest::decodesEveryByteOfWindows1252() {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const QString text = DecodeLineText(all, false);
    QCOMPARE(text.size(), 256);
    QCOMPARE(text.at(0x41), QChar(u'A'));
    QCOMPARE(text.at(0x9F), QChar(u'\u0178'));
    QCOMPARE(text.at(0xA0), QChar(u'\u00A0'));
    // Malformed UTF-8 handed in as if it were valid still gives text, never a crash.
    QVERIFY(!DecodeLineText(all, true).isEmpty());
}

void OutlineModelTest::showsTextByTheFileEncoding() {
    LineStore lines;
    OutlineModel model(lines);
    Load("Object Caf\xE9\n", lines, model);
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("Object Café"));
}

QTEST_GUILESS_MAIN(OutlineModelTest)
#include "outline_model_test.moc"
