// The live outline on a real X server: a file with one of each mistake shows warning marks and
// a problem count, F8 walks the problems, and after lines are inserted above the selected node
// from outside (saved as editors save, by renaming a new file over the old one) the outline
// follows and the editor opens at the node's new line.
//
// Usage: live_e2e <viewer executable> <screenshot.png>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

// Xlib defines macros such as None and Status: it comes after every Qt header.
#include "ui/form1_layout.h"
#include "x11_screen.h"

#include <X11/keysym.h>

namespace {

using e2e::Check;
using e2e::GrabSettled;
using e2e::Painted;
using e2e::WaitFor;

constexpr QRect tree = ini::layout::treeView1;
constexpr QRect problemCount = ini::layout::problemCount;
constexpr QRect editorButton = ini::layout::command1;

// A stray end (line 4), a name followed by a tab (6), a block defined twice (1 and 9) and a
// block never closed (12).
const QByteArray mistakes = "Weapon LancerGun\n"
                            "  Damage = 10\n"
                            "End\n"
                            "End\n"
                            "Object Tank\n"
                            "  Body\tDraw\n"
                            "  Speed = 3\n"
                            "End\n"
                            "Weapon LancerGun\n"
                            "  Damage = 12\n"
                            "End\n"
                            "Object Jeep\n"
                            "  Speed = 4\n";
const QByteArray insertedAbove = "Object Zero\n"
                                 "End\n"
                                 "\n";

// Pixels of the warning mark's yellow in `area`.
int YellowPixels(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom() && y < image.height(); ++y)
        for (int x = area.left(); x <= area.right() && x < image.width(); ++x) {
            const QColor colour = image.pixelColor(x, y);
            if (colour.red() > 180 && colour.green() > 140 && colour.blue() < 90)
                ++count;
        }
    return count;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    e2e::XServer screen;
    if (!e2e::Begin(screen, argc, argv))
        return 2;
    const QString viewer = QString::fromLocal8Bit(argv[1]);
    const QString screenshot = QString::fromLocal8Bit(argv[2]);
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("Mistakes.ini"));
    if (!e2e::WriteFile(file, mistakes)) {
        std::fprintf(stderr, "cannot prepare %s\n", qPrintable(file));
        return 2;
    }

    QTemporaryDir config;
    QProcess process;
    const std::optional<Window> window =
        e2e::OpenViewer(screen, process, viewer, folder.path(), config.path(), {file});
    if (!window)
        return 1;
    Check(WaitFor([&] { return YellowPixels(screen.Grab(*window), tree) > 20; }),
          "the blocks that hold a mistake carry warning marks");
    const QImage loaded = GrabSettled(screen, *window);
    Check(Painted(loaded, problemCount), "the problem count is shown");
    Check(loaded.save(screenshot), "the viewer's screenshot is saved");

    // The first row clicked (which fills its block) and Down twice, past its one line, to
    // Object Tank (line 5), then F8 twice: the name followed by a tab (line 6, its block filled
    // on the way) and the next problem; each press moves the selection.
    screen.Click(*window, tree.topLeft() + QPoint(60, 10));
    Check(WaitFor([&] { return screen.Grab(*window).copy(tree) != loaded.copy(tree); }),
          "clicking the first row selects it");
    for (const char* what : {"Down selects the block's line", "Down again selects Object Tank"}) {
        const QImage before = GrabSettled(screen, *window);
        screen.PressKey(XK_Down);
        Check(WaitFor([&] { return screen.Grab(*window).copy(tree) != before.copy(tree); }), what);
    }
    const QImage clicked = GrabSettled(screen, *window);
    screen.PressKey(XK_F8);
    Check(WaitFor([&] { return screen.Grab(*window).copy(tree) != clicked.copy(tree); }),
          "F8 selects the next problem's node");
    const QImage first = GrabSettled(screen, *window);
    screen.PressKey(XK_F8);
    Check(WaitFor([&] { return screen.Grab(*window).copy(tree) != first.copy(tree); }),
          "F8 again goes on to the next problem, filling its block");
    const QImage second = GrabSettled(screen, *window);
    screen.PressKey(XK_F8, XK_Shift_L);
    Check(WaitFor([&] { return screen.Grab(*window).copy(tree) != second.copy(tree); }),
          "Shift+F8 goes back to that problem");

    // The selected node is line 6; three lines come above it, saved by a rename.
    const QImage before = GrabSettled(screen, *window);
    const QString saved = file + QStringLiteral(".new");
    Check(e2e::WriteFile(saved, insertedAbove + mistakes) && QFile::remove(file) &&
              QFile::rename(saved, file),
          "the file is changed from outside");
    Check(WaitFor([&] { return screen.Grab(*window).copy(tree) != before.copy(tree); }),
          "the outline follows the changed file");
    GrabSettled(screen, *window);
    screen.Click(*window, editorButton.center());
    const e2e::EditorSeen seen = e2e::WaitForEditor(screen, QStringLiteral("Mistakes.ini"),
                                                    QStringLiteral(" - Ln 9, Col 1"));
    Check(seen.window.has_value(), "the editor opens the file");
    Check(seen.onLine, "the editor's caret is on the node's new line");
    if (seen.window)
        e2e::CloseEditor(screen, *seen.window, QStringLiteral("Mistakes.ini"),
                         "the editor closes without asking to save");
    e2e::CloseViewer(screen, *window, process);
    return e2e::failures == 0 ? 0 : 1;
}
