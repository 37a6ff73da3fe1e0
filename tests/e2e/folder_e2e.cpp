// The folder-wide views on a real X server: the viewer started on a generated mod folder, Ctrl+P,
// a block's name typed and Enter, and the editor button then opens the file that defines it at
// the definition's line; find uses of that block, Enter on the first use, and the editor opens
// the using file at that line.
//
// Usage: folder_e2e <viewer executable> <screenshot.png>

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
using e2e::WaitFor;

constexpr QRect tree = ini::layout::treeView1;
constexpr QRect editorButton = ini::layout::command1;

// Whether a list in the image shows a selected row: the style's highlight, a strong blue.
bool ShowsSelectedRow(const QImage& image) {
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 4) {
            const QColor colour = image.pixelColor(x, y);
            if (colour.blue() > 150 && colour.red() < 90 && colour.green() < 170)
                return true;
        }
    return false;
}

// A mod of many files in nested folders; the block looked for stands deep in one of them.
bool MakeMod(const QString& mod) {
    bool ok = QDir().mkpath(mod + QStringLiteral("/Data/Weapons")) &&
              QDir().mkpath(mod + QStringLiteral("/Data/Units"));
    for (int i = 0; i < 200 && ok; ++i) {
        QByteArray blocks;
        for (int j = 0; j < 20; ++j)
            blocks += "Weapon Gun" + QByteArray::number(i) + "x" + QByteArray::number(j) +
                      "\n  Damage = " + QByteArray::number(j) + "\nEnd\n\n";
        ok = e2e::WriteFile(mod + QStringLiteral("/Data/Weapons/Guns%1.ini").arg(i), blocks);
    }
    // "Weapon Lancerbeam" at line 9 of Beams.ini; one use at line 3 of Tank.ini.
    return ok &&
           e2e::WriteFile(
               mod + QStringLiteral("/Data/Weapons/Beams.ini"),
               "; beams\nWeapon Flashbeam\n  Damage = 1\nEnd\n\nWeapon Lancerbeamlong\nEnd\n\n"
               "Weapon Lancerbeam\n  Damage = 9\nEnd\n") &&
           e2e::WriteFile(
               mod + QStringLiteral("/Data/Units/Tank.ini"),
               "Object Tank\n  ; Lancerbeam in a comment\n  PrimaryWeapon = Lancerbeam\nEnd\n");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    e2e::XServer screen;
    if (!e2e::Begin(screen, argc, argv))
        return 2;
    const QString viewer = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir root;
    const QString mod = root.filePath(QStringLiteral("My Mod"));
    if (!MakeMod(mod)) {
        std::fprintf(stderr, "cannot prepare %s\n", qPrintable(mod));
        return 2;
    }
    QTemporaryDir config;
    QProcess process;
    const std::optional<Window> window =
        e2e::OpenViewer(screen, process, viewer, root.path(), config.path(), {"--folder", mod});
    if (!window)
        return 1;
    GrabSettled(screen, *window);

    const auto openGoTo = [&] {
        screen.Focus(*window);
        screen.PressKey(XK_p, XK_Control_L);
        std::optional<Window> found;
        WaitFor([&] {
            return (found = screen.FindWindowTitled(QStringLiteral("Go to block"))).has_value();
        });
        return found;
    };
    std::optional<Window> goTo = openGoTo();
    Check(goTo.has_value(), "Ctrl+P opens the go-to list");
    // Keys sent while the new window is still being given the focus can be lost: the name is
    // typed again, over what arrived, until the viewer shows the file.
    bool loaded = false;
    for (int attempt = 0; goTo && attempt < 3 && !loaded; ++attempt) {
        GrabSettled(screen, *goTo);
        screen.Focus(*goTo);
        screen.PressKey(XK_a, XK_Control_L);
        screen.TypeText("lancerbeam");
        const QImage typed = GrabSettled(screen, *goTo);
        if (attempt == 0)
            Check(typed.save(QString::fromLocal8Bit(argv[2])),
                  "the go-to list's screenshot is saved");
        screen.PressKey(XK_Return);
        loaded = WaitFor([&] { return e2e::Painted(screen.Grab(*window), tree); }, 3000);
        if (!loaded && !screen.FindWindowTitled(QStringLiteral("Go to block")))
            goTo = openGoTo();
    }
    Check(loaded, "Enter loads the file that defines the block");
    GrabSettled(screen, *window);
    screen.Click(*window, editorButton.center());
    e2e::EditorSeen seen =
        e2e::WaitForEditor(screen, QStringLiteral("Beams.ini"), QStringLiteral(" - Ln 9, Col 1"));
    Check(seen.onLine, "the editor opens the defining file at the definition's line");
    if (seen.window)
        e2e::CloseEditor(screen, *seen.window, QStringLiteral("Beams.ini"),
                         "the editor closes without asking to save");

    // Find uses of the selected block: the one use, not the comment nor the longer name.
    screen.Focus(*window);
    screen.PressKey(XK_f, XK_Control_L, XK_Shift_L);
    std::optional<Window> uses;
    Check(WaitFor([&] {
              return (uses = screen.FindWindowTitled(QStringLiteral("Find uses"))).has_value();
          }),
          "Ctrl+Shift+F lists the uses");
    // The search runs in the background; the first use found is selected as it arrives.
    Check(uses && WaitFor([&] { return ShowsSelectedRow(screen.Grab(*uses)); }),
          "the search lists a use");
    const QImage beforeUse = GrabSettled(screen, *window);
    if (uses) {
        GrabSettled(screen, *uses);
        // A key sent while the new window is still being given the focus can be lost: sent
        // again until the viewer shows the file.
        bool shown = false;
        for (int attempt = 0; attempt < 3 && !shown; ++attempt) {
            screen.Focus(*uses);
            screen.PressKey(XK_Return);
            shown = WaitFor([&] { return screen.Grab(*window).copy(tree) != beforeUse.copy(tree); },
                            3000);
        }
        Check(shown, "Enter on the use loads the using file");
    }
    GrabSettled(screen, *window);
    screen.Click(*window, editorButton.center());
    seen = e2e::WaitForEditor(screen, QStringLiteral("Tank.ini"), QStringLiteral(" - Ln 3, Col 1"));
    Check(seen.onLine, "the first use opens the using file at its line");
    if (seen.window)
        e2e::CloseEditor(screen, *seen.window, QStringLiteral("Tank.ini"),
                         "the editor closes without asking to save");
    e2e::CloseViewer(screen, *window, process);
    return e2e::failures == 0 ? 0 : 1;
}
