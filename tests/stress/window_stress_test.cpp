// A few hundred random user actions on the real window (offscreen), fired from timers so that
// many of them land inside running walks. Whenever the window is idle its outline must be the
// one the plain loader and builder give for the file last loaded: same roots, and every filled
// block exactly as a click on it builds it. Node texts may show comments or not, depending on
// the switch at the time each node was made.

#include "outline/model/outline_model.h"
#include "support/fetch_all.h"
#include "support/loaded_outline.h"
#include "ui/file_list.h"
#include "ui/folder_list.h"
#include "ui/form1.h"

#include "support/fake_desktop.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <map>
#include <memory>
#include <random>

using namespace ini;

namespace {

// What one file's outline must look like, with and without comments, every block filled.
struct Reference {
    std::map<LineIndex, std::vector<LineIndex>> children;   // by parent line; roots under npos
    std::map<LineIndex, std::pair<QString, QString>> texts; // without, with comments

    static constexpr LineIndex roots = static_cast<LineIndex>(-1);
};

Reference Build(const QString& path, const Keywords& keywords) {
    Reference ref;
    for (const bool comments : {false, true}) {
        const test::LoadedOutline loaded =
            test::LoadOutline(path.toStdString(), keywords, {.comments = comments});
        const OutlineNodes& nodes = loaded.outline.Nodes();
        std::vector<OutlineNodes::NodeId> pending;
        for (std::size_t row = nodes.RootCount(); row-- > 0;)
            pending.push_back(OutlineNodes::RootAt(row));
        while (!pending.empty()) {
            const OutlineNodes::NodeId id = pending.back();
            pending.pop_back();
            for (std::size_t row = nodes.ChildCountOf(id); row-- > 0;)
                pending.push_back(nodes.ChildAt(id, row));
            const LineIndex line = nodes.KeyOf(id).line;
            const QString text = QString::fromUtf8(
                NodeText{loaded.lines.Line(line), nodes.ShowsComment(id)}.ToString());
            auto& pair = ref.texts[line];
            (comments ? pair.second : pair.first) = text;
            if (!comments) {
                const OutlineNodes::NodeId parent = nodes.ParentOf(id);
                ref.children[parent == OutlineNodes::none ? Reference::roots
                                                          : nodes.KeyOf(parent).line]
                    .push_back(line);
            }
        }
    }
    return ref;
}

QByteArray BigFile() {
    QByteArray text;
    for (int i = 0; i < 2500; ++i) {
        text += "Object Unit" + QByteArray::number(i) +
                " ; unit\r\n"
                "  Draw = ModelDraw Tag ; art\r\n"
                "    DefaultConditionState\r\n"
                "      Model = M" +
                QByteArray::number(i) +
                "\r\n"
                "    End\r\n"
                "  End\r\n"
                "  Speed = " +
                QByteArray::number(i % 50) +
                " ; fast\r\n"
                "End\r\n"
                "Version = " +
                QByteArray::number(i) + "\r\n";
    }
    // One very large block, so that filling it takes many rounds of events too.
    text += "Object Mothership\r\n  Draw = ModelDraw Hull\r\n";
    for (int i = 0; i < 40000; ++i)
        text += "    ConditionState = S" + QByteArray::number(i) +
                "\r\n      Model = H ; m\r\n    End\r\n";
    text += "  End\r\nEnd\r\n";
    return text;
}

} // namespace

class WindowStressTest : public QObject {
    Q_OBJECT

private slots:
    void randomActionsKeepTheOutlineSound();
};

void WindowStressTest::randomActionsKeepTheOutlineSound() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString sourceDir = qEnvironmentVariable("INI_SOURCE_DIR");
    QStringList files;
    for (const char* name : {"Units.ini", "Oddities.ini", "Weapons.ini"}) {
        QVERIFY(QFile::copy(sourceDir + "/samples/" + name, dir.filePath(name)));
        files << dir.filePath(name);
    }
    {
        QFile big(dir.filePath("Big.ini"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        big.write(BigFile());
        files << big.fileName();
    }
    const QString missing = dir.filePath("missing.ini");

    Keywords keywords;
    keywords.InitKeywords();
    std::map<QString, Reference> references;
    for (const QString& file : files)
        references[file] = Build(file, keywords);

    auto fakeDesktop = std::make_unique<FakeDesktop>();
    const FakeDesktop& desktop = *fakeDesktop;
    QStringList warnings;
    FormServices services;
    services.settingsFile = dir.filePath("settings.conf");
    services.makeDesktop = [&] { return std::move(fakeDesktop); };
    services.showWarning = [&](QWidget*, const QString&, const QString& text) { warnings << text; };
    services.eventInterval = std::chrono::milliseconds(0); // events at every chance to interleave
    Form1 form(services);
    form.show();
    auto* tree = form.findChild<QTreeView*>("TreeView1");
    auto* model = qobject_cast<OutlineModel*>(tree->model());
    auto* text = form.findChild<QLineEdit*>("Txt_Filename");
    auto* load = form.findChild<QPushButton*>("Cmd_Load");
    auto* editor = form.findChild<QPushButton*>("Command1");
    auto* comments = form.findChild<QCheckBox*>("Chk_Comments");
    auto* dirList = form.findChild<FolderList*>("Dir1");
    auto* fileList = form.findChild<FileList*>("File1");
    QVERIFY(tree && model && text && load && editor && comments && dirList && fileList);
    QVERIFY(dirList->SetPath(dir.path()));
    QTRY_COMPARE(fileList->model()->rowCount(), files.size());

    std::mt19937 random(20261207);
    QString loaded; // the file whose outline the window shows
    int checks = 0;

    // Compares the idle window with the reference of the file last loaded.
    auto check = [&] {
        if (loaded.isEmpty())
            return;
        const Reference& ref = references.at(loaded);
        const auto& roots = ref.children.at(Reference::roots);
        test::FetchAll(*model, {});
        QCOMPARE(static_cast<std::size_t>(model->rowCount()), roots.size());
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex root = model->index(row, 0);
            QCOMPARE(model->KeyAt(root)->line, roots[row]);
            // A block is empty until clicked; once filled it holds its whole structure.
            std::vector<QModelIndex> pending{root};
            while (!pending.empty()) {
                const QModelIndex node = pending.back();
                pending.pop_back();
                const LineIndex line = model->KeyAt(node)->line;
                const auto& pair = ref.texts.at(line);
                const QString shown = node.data().toString();
                QVERIFY2(shown == pair.first || shown == pair.second, qPrintable(shown));
                test::FetchAll(*model, node);
                const int count = model->rowCount(node);
                if (count == 0)
                    continue;
                const auto& expected = ref.children.at(line);
                QCOMPARE(static_cast<std::size_t>(count), expected.size());
                for (int r = 0; r < count; ++r) {
                    QCOMPARE(model->KeyAt(model->index(r, 0, node))->line, expected[r]);
                    pending.push_back(model->index(r, 0, node));
                }
            }
        }
        ++checks;
    };

    auto clickNode = [&] {
        if (model->rowCount() == 0)
            return;
        // The last root is often the big block: aim at it now and then.
        const int rows = model->rowCount();
        QModelIndex index =
            model->index(random() % 6 == 0 ? rows - 1 : static_cast<int>(random() % rows), 0);
        if (random() % 2 && model->rowCount(index) > 0 && tree->isExpanded(index))
            index = model->index(static_cast<int>(random() % model->rowCount(index)), 0, index);
        tree->scrollTo(index);
        const QRect rect = tree->visualRect(index);
        if (rect.isEmpty())
            return;
        if (random() % 4 == 0)
            QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
        else
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
    };
    auto pressLoad = [&] {
        const bool willLoad = !form.Walking();
        const QString path = text->text();
        const qsizetype warned = warnings.size();
        load->click(); // nested: returns once this load's walk is done
        if (willLoad && warnings.size() == warned)
            loaded = path;
    };

    const int actions = 300;
    int done = 0;
    int duringWalks = 0;
    std::function<void()> next = [&] {
        if (done == actions)
            return;
        ++done;
        duringWalks += form.Walking();
        switch (random() % 8) {
        case 0:
        case 1: {
            const int pick = static_cast<int>(random() % (files.size() + 1));
            text->setText(pick == files.size() ? missing : files[pick]);
            // Due at the load's first chance to run events, however fast the file is read: the
            // next action always lands inside this load.
            QTimer::singleShot(0, &form, next);
            pressLoad();
            return;
        }
        case 2:
            comments->click();
            break;
        case 3: {
            const int row = static_cast<int>(random() % fileList->model()->rowCount());
            const QRect rect = fileList->visualRect(fileList->model()->index(row, 0));
            QTest::mouseClick(fileList->viewport(), Qt::LeftButton, {}, rect.center());
            break;
        }
        case 4:
            editor->click();
            break;
        default:
            clickNode();
            break;
        }
        QTimer::singleShot(static_cast<int>(random() % 3), &form, next);
    };
    QTimer::singleShot(0, &form, next);

    // Polls the window between the timers' actions; the deadline only stops a hung run.
    int lastChecked = 0;
    QDeadlineTimer deadline(std::chrono::minutes(5));
    while (done < actions || form.Walking()) {
        QVERIFY2(!deadline.hasExpired(), "the actions did not finish in five minutes");
        QTest::qWait(5);
        if (!form.Walking() && done - lastChecked >= 10) {
            check();
            if (QTest::currentTestFailed())
                return;
            lastChecked = done;
        }
    }
    QTRY_VERIFY(!form.Walking());
    check();
    QVERIFY(checks >= 5);
    qInfo("%d of %d actions landed inside a walk; %d idle checks", duringWalks, actions, checks);
    QVERIFY(duringWalks >= actions / 10);
    QVERIFY(!loaded.isEmpty());
    QVERIFY(!desktop.calls.empty()); // the editor button was pressed and started an editor
    QVERIFY(!warnings.isEmpty());    // the missing file was tried and reported
    for (const QString& warning : warnings)
        QVERIFY2(warning.contains("missing.ini") || warning.contains("editor"),
                 qPrintable(warning));
}

QTEST_MAIN(WindowStressTest)
#include "window_stress_test.moc"
