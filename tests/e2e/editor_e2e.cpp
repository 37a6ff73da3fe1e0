// The editor hand-off on a real X server: the viewer loads a sample kept in a folder whose name
// holds spaces, the last top-level node (deep in the file) is selected with the keyboard, the
// editor button is pressed, and the stand-in editor must show its caret on that node's line
// with nothing typed into the text.
//
// Usage: editor_e2e <viewer executable> <sample file> <screenshot.png>

#include "outline/nodes/plain_outline.h"
#include "outline/walk/outline_builder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

// Xlib defines macros such as None and Status: it comes after every Qt header.
#include "ui/form1_layout.h"
#include "x11_screen.h"

#include <X11/keysym.h>

namespace {

using e2e::Check;
using e2e::GrabSettled;
using e2e::Painted;
using e2e::WaitFor;

constexpr QRect fileNameBox = ini::layout::txtFilename;
constexpr QRect fileList = ini::layout::file1;
constexpr QRect loadButton = ini::layout::cmdLoad;
constexpr QRect tree = ini::layout::treeView1;
constexpr QRect editorButton = ini::layout::command1;

// The 1-based line of the file's last top-level node, as the viewer's loader finds it.
std::optional<ini::LineIndex> LastRootLine(const QString& path) {
    ini::Keywords keywords;
    keywords.InitKeywords();
    ini::LineStore lines;
    ini::PlainOutline outline;
    ini::FileLoader loader;
    loader.LoadFile(QFile::encodeName(path).toStdString(), lines, outline, keywords, {});
    const ini::OutlineNodes& nodes = outline.Nodes();
    if (nodes.RootCount() == 0)
        return std::nullopt;
    return nodes.KeyOf(nodes.RootAt(nodes.RootCount() - 1)).line + 1;
}

bool Changed(const QImage& before, const QImage& after, const QRect& area) {
    return !before.isNull() && !after.isNull() && before.copy(area) != after.copy(area);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s VIEWER SAMPLE SCREENSHOT\n", argv[0]);
        return 2;
    }
    const QString viewer = QString::fromLocal8Bit(argv[1]);
    const QString screenshot = QString::fromLocal8Bit(argv[3]);
    e2e::XServer screen;
    if (!screen.Open()) {
        std::fprintf(stderr, "no X display; run under xvfb-run\n");
        return 2;
    }

    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("block files; with 'spaces'"));
    const QString file = folder + QStringLiteral("/Big Map.ini");
    if (!QDir().mkpath(folder) || !QFile::copy(QString::fromLocal8Bit(argv[2]), file)) {
        std::fprintf(stderr, "cannot prepare %s\n", qPrintable(file));
        return 2;
    }
    const std::optional<ini::LineIndex> line = LastRootLine(file);
    if (!line) {
        std::fprintf(stderr, "the sample has no top-level node\n");
        return 2;
    }
    const QString caret = QStringLiteral(" - Ln %1, Col 1").arg(*line);

    QTemporaryDir config;
    QProcess process;
    const std::optional<Window> window =
        e2e::OpenViewer(screen, process, viewer, folder, config.path());
    if (!window)
        return 1;
    Check(WaitFor([&] { return Painted(screen.Grab(*window), fileList); }),
          "the file list shows the sample");

    // The file, Load, then the first row and End: the last top-level node is selected. Each
    // step waits until the window shows what the one before did.
    const QImage started = GrabSettled(screen, *window);
    screen.Click(*window, fileList.topLeft() + QPoint(40, 9));
    Check(WaitFor([&] { return Changed(started, screen.Grab(*window), fileNameBox); }),
          "clicking the file writes its path into the file name box");
    const QImage beforeLoad = GrabSettled(screen, *window);
    screen.Click(*window, loadButton.center());
    Check(WaitFor([&] { return Changed(beforeLoad, screen.Grab(*window), tree); }),
          "Load shows the outline");
    const QImage loaded = GrabSettled(screen, *window);
    screen.Click(*window, tree.topLeft() + QPoint(40, 10));
    Check(WaitFor([&] { return Changed(loaded, screen.Grab(*window), tree); }),
          "clicking the first row selects it");
    const QImage firstSelected = GrabSettled(screen, *window);
    screen.PressKey(XK_End);
    Check(WaitFor([&] { return Changed(firstSelected, screen.Grab(*window), tree); }),
          "End selects the last row");
    GrabSettled(screen, *window);
    screen.Click(*window, editorButton.center());

    const e2e::EditorSeen seen = e2e::WaitForEditor(screen, QStringLiteral("Big Map.ini"), caret);
    const std::optional<Window> editor = seen.window;
    Check(editor.has_value(), "the editor opens the file whose path holds spaces, quotes and ;");
    Check(seen.onLine, "the editor's caret is on the selected node's line");
    Check(editor && !seen.title.contains(QLatin1Char('*')), "nothing was typed into the text");
    if (editor) {
        Check(GrabSettled(screen, *editor).save(screenshot), "the editor's screenshot is saved");
        e2e::CloseEditor(screen, *editor, QStringLiteral("Big Map.ini"),
                         "the editor closes without asking to save");
    }

    e2e::CloseViewer(screen, *window, process);
    return e2e::failures == 0 ? 0 : 1;
}
