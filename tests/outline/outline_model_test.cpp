#include "outline/outline_builder.h"
#include "outline/outline_model.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

using namespace ini;

namespace {

NodeText Shown(std::string_view line) {
    return NodeText{line, false};
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
    void addsReachViewsOnlyWhenPublished();
    void publishesOneInsertionPerParentParentsFirst();
    void rootsPublishInGrowingStepsDuringWalks();
    void removeAllResets();
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

void OutlineModelTest::addsReachViewsOnlyWhenPublished() {
    LineStore lines = LineStore::FromBytes(std::string(3000000, '\n'));
    OutlineModel model(lines);
    QSignalSpy inserts(&model, &QAbstractItemModel::rowsAboutToBeInserted);
    for (LineIndex i = 0; i < 3000000; ++i)
        QCOMPARE(model.AddRoot(NodeKey{i}, Shown({})), AddResult::Added);
    QCOMPARE(inserts.count(), 0);
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(model.Contains(NodeKey{2999999}));
    QVERIFY(!model.IndexOf(NodeKey{5}).isValid());

    model.PublishPending();
    QCOMPARE(inserts.count(), 1);
    QCOMPARE(inserts.first().at(1).toInt(), 0);
    QCOMPARE(inserts.first().at(2).toInt(), 2999999);
    QCOMPARE(model.rowCount(), 3000000);

    // A root gets its expand arrow only once its children are published.
    const QModelIndex first = model.index(0, 0);
    QCOMPARE(model.AddChild(NodeKey{0}, NodeKey{2999999}, Shown({})), AddResult::KeyInUse);
    QCOMPARE(model.AddChild(NodeKey{7}, NodeKey{3000001}, Shown({})), AddResult::Added);
    QVERIFY(!model.hasChildren(model.index(7, 0)));
    model.PublishPending();
    QVERIFY(model.hasChildren(model.index(7, 0)));
    QVERIFY(!model.hasChildren(first));
    QCOMPARE(inserts.count(), 2);
}

void OutlineModelTest::publishesOneInsertionPerParentParentsFirst() {
    LineStore lines = LineStore::FromBytes(std::string(100, '\n'));
    OutlineModel model(lines);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserts(&model, &QAbstractItemModel::rowsInserted);
    model.AddRoot(NodeKey{0}, Shown({}));
    model.AddChild(NodeKey{0}, NodeKey{1}, Shown({}));
    model.AddChild(NodeKey{1}, NodeKey{2}, Shown({}));
    model.AddChild(NodeKey{1}, NodeKey{3}, Shown({}));
    model.AddChild(NodeKey{0}, NodeKey{4}, Shown({}));
    model.AddChild(NodeKey{4}, NodeKey{5}, Shown({}));
    model.AddRoot(NodeKey{6}, Shown({}));
    model.PublishPending();

    // Roots, then the children of Key_0, Key_1 and Key_4: each parent visible before its rows.
    QCOMPARE(inserts.count(), 4);
    const QList<std::pair<QString, int>> expected = {{QString(), 2},
                                                     {QStringLiteral("Key_0"), 2},
                                                     {QStringLiteral("Key_1"), 2},
                                                     {QStringLiteral("Key_4"), 1}};
    for (int i = 0; i < inserts.count(); ++i) {
        const auto parent = inserts.at(i).at(0).value<QModelIndex>();
        QCOMPARE(parent.data(OutlineModel::KeyRole).toString(), expected[i].first);
        QCOMPARE(inserts.at(i).at(2).toInt() - inserts.at(i).at(1).toInt() + 1, expected[i].second);
    }
    model.PublishPending();
    QCOMPARE(inserts.count(), 4);
}

void OutlineModelTest::rootsPublishInGrowingStepsDuringWalks() {
    LineStore lines = LineStore::FromBytes(std::string(40000, '\n'));
    OutlineModel model(lines);
    LineIndex next = 0;
    const auto addRoots = [&](LineIndex n) {
        for (const LineIndex end = next + n; next < end; ++next)
            model.AddRoot(NodeKey{next}, Shown({}));
    };
    using Publish = OutlineModel::Publish;

    // A file's first rows show at once.
    addRoots(100);
    model.PublishPending(Publish::InGrowingSteps);
    QCOMPARE(model.rowCount(), 100);

    addRoots(9900);
    model.PublishPending(Publish::Everything);
    QCOMPARE(model.rowCount(), 10000);
    // Once many roots show, a step waits until it would double them.
    addRoots(9999);
    model.PublishPending(Publish::InGrowingSteps);
    QCOMPARE(model.rowCount(), 10000);
    addRoots(1);
    model.PublishPending(Publish::InGrowingSteps);
    QCOMPARE(model.rowCount(), 20000);

    // Children are never held back, and the end of a walk publishes every root.
    addRoots(10);
    model.AddChild(NodeKey{0}, NodeKey{next++}, Shown({}));
    model.PublishPending(Publish::InGrowingSteps);
    QCOMPARE(model.rowCount(), 20000);
    QCOMPARE(model.rowCount(model.index(0, 0)), 1);
    model.PublishPending();
    QCOMPARE(model.rowCount(), 20010);
    QVERIFY(!model.HasPending());
}

void OutlineModelTest::removeAllResets() {
    LineStore lines = LineStore::FromBytes("a\nb\n");
    OutlineModel model(lines);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    model.AddRoot(NodeKey{0}, Shown({}));
    model.PublishPending();
    model.AddRoot(NodeKey{1}, Shown({}));
    model.RemoveAll();
    QCOMPARE(resets.count(), 1);
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(!model.HasPending());
    QVERIFY(!model.Contains(NodeKey{0}));
}

void OutlineModelTest::keysAndIndexesRoundTrip() {
    LineStore lines = LineStore::FromBytes("Object A\n  Speed = 1 ; fast\nEnd\n");
    OutlineModel model(lines);
    model.AddRoot(NodeKey{0}, Shown(lines.Line(0)));
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
    LineStore lines = LineStore::FromBytes("Object Caf\xE9\n");
    OutlineModel model(lines);
    model.AddRoot(NodeKey{0}, Shown(lines.Line(0)));
    model.PublishPending();
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("Object Café"));
}

QTEST_GUILESS_MAIN(OutlineModelTest)
#include "outline_model_test.moc"
