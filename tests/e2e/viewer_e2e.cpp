// Drives the real viewer on a real X server: starts it in the samples folder, clicks the first
// file, presses Load, clicks the first block and saves a screenshot, then closes it as a window
// manager would and checks that it ended cleanly and remembered the file. Then starts it once
// more with a file name on its command line, which it must load by itself.
//
// Usage: viewer_e2e <viewer executable> <samples folder> <screenshot.png>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

// Xlib defines macros such as None and Status: it comes after every Qt header.
#include "ui/form1_layout.h"
#include "x11_screen.h"

namespace {

using e2e::Check;
using e2e::GrabSettled;
using e2e::Painted;
using e2e::WaitFor;
using e2e::XServer;

// Control rectangles in the window's client area.
constexpr QRect fileList = ini::layout::file1;
constexpr QRect loadButton = ini::layout::cmdLoad;
constexpr QRect fileNameBox = ini::layout::txtFilename;
constexpr QRect tree = ini::layout::treeView1;
// Where the tree's rows show their text, clear of the frame and the scroll bar.
const QRect treeText(18, 39, 234, 273);

struct Band {
    int top;
    int height;
};

// The rows around `y` in the tree's empty right part that changed between `before` and `after`:
// the highlight of a newly selected row (which may be shaded, so any change counts).
std::optional<Band> SelectionBand(const QImage& before, const QImage& after, int y) {
    const int x = tree.right() - 40;
    const auto changed = [&](int row) { return before.pixel(x, row) != after.pixel(x, row); };
    if (before.isNull() || after.isNull() || !changed(y))
        return std::nullopt;
    int top = y, bottom = y;
    while (top > tree.top() && changed(top - 1))
        --top;
    while (bottom < tree.bottom() && changed(bottom + 1))
        ++bottom;
    return Band{top, bottom - top + 1};
}

bool Differs(const QImage& a, const QImage& b, const QRect& area) {
    if (getenv("E2E_DEBUG") && !a.isNull() && !b.isNull() && a.copy(area) != b.copy(area)) {
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (a.pixel(x, y) != b.pixel(x, y)) {
                    std::printf("  first difference at %d,%d in %d,%d %dx%d\n", x, y, area.x(),
                                area.y(), area.width(), area.height());
                    y = area.bottom() + 1;
                    break;
                }
    }
    return a.isNull() || b.isNull() || a.copy(area) != b.copy(area);
}

// The viewer started with a file name relative to its folder loads that file by itself.
void OpensTheFileOnItsCommandLine(XServer& screen, const QString& viewer, const QDir& samples,
                                  const QString& file) {
    QTemporaryDir config;
    QProcess process;
    if (!e2e::StartViewer(process, viewer, samples.absolutePath(), config.path(), {file})) {
        Check(false, "the viewer starts with a file argument");
        return;
    }
    std::optional<Window> window;
    Check(WaitFor([&] { return (window = screen.FindWindow(process.processId())).has_value(); }),
          "the window appears for a file argument");
    if (window) {
        Check(WaitFor([&] { return Painted(screen.Grab(*window), treeText); }),
              "the file on the command line is loaded without a click");
        screen.RequestClose(*window);
    }
    Check(process.waitForFinished(8000) && process.exitCode() == 0,
          "the viewer started on a file ends cleanly");
    QSettings remembered(config.filePath(QStringLiteral("ini-file-parser/ini-file-parser.conf")),
                         QSettings::IniFormat);
    Check(remembered.value(QStringLiteral("options/lastfile")).toString() ==
              samples.absoluteFilePath(file),
          "the file name box held the argument's full path");
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s VIEWER SAMPLES SCREENSHOT\n", argv[0]);
        return 2;
    }
    const QString viewer = QString::fromLocal8Bit(argv[1]);
    const QDir samples(QString::fromLocal8Bit(argv[2]));
    const QString screenshot = QString::fromLocal8Bit(argv[3]);
    const QStringList files =
        samples.entryList({QStringLiteral("*.ini")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    if (files.isEmpty()) {
        std::fprintf(stderr, "no sample files in %s\n", argv[2]);
        return 2;
    }

    XServer screen;
    if (!screen.Open()) {
        std::fprintf(stderr, "no X display; run under xvfb-run\n");
        return 2;
    }

    // A settings store of its own, so the run neither reads nor overwrites the user's.
    QTemporaryDir config;
    QProcess process;
    const std::optional<Window> window =
        e2e::OpenViewer(screen, process, viewer, samples.absolutePath(), config.path());
    if (!window)
        return 1;
    // First paint: the file list shows the sample names and the file name box its text.
    Check(WaitFor([&] {
              const QImage shown = screen.Grab(*window);
              return Painted(shown, fileList) && Painted(shown, fileNameBox);
          }),
          "the window shows its controls");
    const QImage started = GrabSettled(screen, *window);

    // A click that comes while the window, just shown, is still settling can be lost on a
    // loaded machine (and Load would then show a failure for the box's initial text): sent again
    // until the box shows the file.
    QImage picked;
    bool pickedFile = false;
    for (int attempt = 0; attempt < 3 && !pickedFile; ++attempt) {
        screen.Click(*window, fileList.topLeft() + QPoint(40, 9));
        pickedFile = WaitFor(
            [&] { return Differs(started, picked = screen.Grab(*window), fileNameBox); }, 3000);
    }
    Check(pickedFile, "clicking a file writes its path into the file name box");

    screen.Click(*window, loadButton.center());
    QImage loaded;
    Check(WaitFor([&] { return Differs(picked, loaded = screen.Grab(*window), treeText); }),
          "Load shows the outline");
    loaded = GrabSettled(screen, *window);

    // The first row's selection band gives the row height, so rows are found whatever the font.
    const QPoint firstRow = tree.topLeft() + QPoint(40, 10);
    screen.Click(*window, firstRow);
    std::optional<Band> band;
    Check(WaitFor([&] {
              return (band = SelectionBand(loaded, screen.Grab(*window), firstRow.y())).has_value();
          }),
          "clicking a node selects it");
    if (band && getenv("E2E_DEBUG"))
        std::printf("  row band %d+%d\n", band->top, band->height);
    bool filled = false;
    for (int row = 0; band && row < 6 && !filled; ++row) {
        const int rowTop = band->top + row * band->height;
        // The text column only, from two pixels under the row: the scroll bar, the frame and the
        // row's focus line change with focus and hover.
        const int belowTop = rowTop + band->height + 2;
        const QRect below(treeText.left(), belowTop, treeText.width(),
                          treeText.bottom() - belowTop);
        QImage before = loaded;
        if (row > 0) {
            before = screen.Grab(*window);
            screen.Click(*window, {firstRow.x(), rowTop + band->height / 2});
        }
        // A filled block pushes the rows below it down.
        filled = WaitFor([&] { return Differs(before, screen.Grab(*window), below); }, 2000);
    }
    Check(filled, "clicking a block fills and opens it");
    Check(GrabSettled(screen, *window).save(screenshot), "the screenshot is saved");

    screen.RequestClose(*window);
    Check(process.waitForFinished(8000), "closing the window ends the program");
    Check(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
          "the program ends cleanly");

    const QString store = config.filePath(QStringLiteral("ini-file-parser/ini-file-parser.conf"));
    QSettings remembered(store, QSettings::IniFormat);
    const QString expected = samples.absolutePath() + QLatin1Char('/') + files.first();
    const QString stored = remembered.value(QStringLiteral("options/lastfile")).toString();
    Check(stored == expected, "the clicked file is remembered");
    if (stored != expected) {
        config.setAutoRemove(false);
        std::printf("  %s holds '%s', expected '%s'\n", qPrintable(store), qPrintable(stored),
                    qPrintable(expected));
    }

    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }

    OpensTheFileOnItsCommandLine(screen, viewer, samples, files.last());
    return e2e::failures == 0 ? 0 : 1;
}
