// The window's Load against bad input: a clear warning that names the path with the old outline
// kept, or the outline the plain loader gives for the same file; never a crash or a hang.

#include "outline/model/outline_model.h"
#include "outline/nodes/plain_outline.h"
#include "outline/walk/outline_builder.h"
#include "support/fetch_all.h"
#include "ui/form1.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace ini;

class WindowBadInputTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void load_data();
    void load();

private:
    QString Write(const QString& name, const QByteArray& bytes) {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
        return file.fileName();
    }

    QTemporaryDir m_dir;
    QString m_good;
};

void WindowBadInputTest::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_good = Write("good.ini", "Object Kept\r\n  Speed = 1\r\nEnd\r\n");
}

void WindowBadInputTest::load_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("fails");

    QTest::newRow("empty path") << QString() << true;
    QTest::newRow("missing file") << m_dir.filePath("missing.ini") << true;
    QTest::newRow("folder") << m_dir.path() << true;
    const QString fifo = m_dir.filePath("fifo.ini");
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QTest::newRow("fifo") << fifo << true;
    QTest::newRow("device") << QStringLiteral("/dev/zero") << true;
    const QString locked = Write("locked.ini", "Object A\r\nEnd\r\n");
    QVERIFY(::chmod(QFile::encodeName(locked).constData(), 0) == 0);
    QTest::newRow("unreadable") << locked << true;

    QTest::newRow("empty file") << Write("empty.ini", {}) << false;
    // The large rows are a little over 4 MiB, the size from which a file is read by two threads
    // meeting at a line start; more bytes take longer without reaching another path.
    QByteArray random(5'000'000, '\0');
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(random.data()),
                                  random.size() / sizeof(quint32));
    random.append(QByteArray(100'000, '\0'));
    QTest::newRow("random bytes with NULs") << Write("random.ini", random) << false;
    QTest::newRow("one 5 MB line") << Write("long.ini", QByteArray(5'000'000, 'a')) << false;
    QTest::newRow("a million stray ends")
        << Write("ends.ini", QByteArray("End\n").repeated(1'000'000)) << false;
    // One block that opens 300 000 times: every later opener is an ordinary line inside it.
    QTest::newRow("300 000 openers")
        << Write("openers.ini", QByteArray("Object Tower\r\n").repeated(300'000)) << false;
    QTest::newRow("CR only") << Write("cr.ini", "Object A\rDraw = D\rEnd\rEnd\rV = 1") << false;
    QTest::newRow("LF only") << Write("lf.ini", "Object A\nDraw = D\nEnd\nEnd\nV = 1") << false;
    QTest::newRow("mixed") << Write("mixed.ini", "Object A\r\nDraw = D\rEnd\nEnd\n\rV = 1")
                           << false;
    QTest::newRow("byte order mark")
        << Write("bom.ini", "\xEF\xBB\xBFObject A\r\nEnd\r\n") << false;
    QTest::newRow("invalid UTF-8")
        << Write("latin1.ini", "Object Caf\xE9\r\n  A = \xC3\x28\r\nEnd") << false;
    QTest::newRow("odd path") << Write("a b;'c\" $(x)\nd.ini", "Weapon Gun\r\nEnd\r\n") << false;
}

void WindowBadInputTest::load() {
    QFETCH(QString, path);
    QFETCH(bool, fails);
    if (::geteuid() == 0 && QByteArray(QTest::currentDataTag()) == "unreadable")
        QSKIP("root reads every file; ini_outline_bad_input checks this case as nobody");

    QStringList warnings;
    FormServices services;
    services.settingsFile = m_dir.filePath("settings.conf");
    services.showWarning = [&](QWidget*, const QString&, const QString& text) { warnings << text; };
    Form1 form(services);
    auto* tree = form.findChild<QTreeView*>("TreeView1");
    auto* model = qobject_cast<OutlineModel*>(tree->model());
    auto* text = form.findChild<QLineEdit*>("Txt_Filename");
    auto* load = form.findChild<QPushButton*>("Cmd_Load");

    text->setText(m_good);
    load->click();
    QCOMPARE(model->rowCount(), 1);

    text->setText(path);
    load->click();
    QVERIFY(!form.Walking());
    if (fails) {
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings.front().contains(path), qPrintable(warnings.front()));
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("Object Kept"));
        return;
    }
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));

    Keywords keywords;
    keywords.InitKeywords();
    LineStore lines;
    PlainOutline outline;
    FileLoader loader;
    loader.LoadFile(QFile::encodeName(path).toStdString(), lines, outline, keywords, {});
    const OutlineNodes& nodes = outline.Nodes();
    test::FetchAll(*model, {});
    QCOMPARE(static_cast<std::size_t>(model->rowCount()), nodes.RootCount());
    for (int row = 0; row < model->rowCount(); row += std::max(1, model->rowCount() / 50))
        QCOMPARE(model->KeyAt(model->index(row, 0))->line,
                 nodes.KeyOf(nodes.RootAt(static_cast<std::size_t>(row))).line);
    // The last root, filled as a click would, holds what the builder gives.
    if (model->rowCount() > 0) {
        const QModelIndex last = model->index(model->rowCount() - 1, 0);
        tree->scrollTo(last);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(last).center());
        ClickNode(nodes.KeyOf(nodes.RootAt(nodes.RootCount() - 1)), lines, outline, keywords, {});
        test::FetchAll(*model, last);
        QCOMPARE(static_cast<std::size_t>(model->rowCount(last)),
                 nodes.ChildCount(nodes.KeyOf(nodes.RootAt(nodes.RootCount() - 1))));
    }
}

QTEST_MAIN(WindowBadInputTest)
#include "window_bad_input_test.moc"
