// Find on a real X server: the viewer starts with a block file as its argument, Ctrl+F and a
// typed line take it to a node deep inside a block that was never clicked, and the editor button
// then opens the stand-in editor with its caret on that line.
//
// Usage: find_e2e <viewer executable> <sample file> <screenshot.png>

#include "outline/find/outline_search.h"
#include "support/loaded_outline.h"

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
using e2e::WaitFor;

constexpr QRect tree = ini::layout::treeView1;
constexpr QRect editorButton = ini::layout::command1;

struct Target {
    ini::LineIndex line;
    std::string needle;
};

// A line at least two blocks deep, as far into the file as possible, whose node text occurs in
// no other node and can be typed without shift: what the test will look for.
std::optional<Target> PickTarget(const QString& path) {
    ini::Keywords keywords;
    keywords.InitKeywords();
    const ini::test::LoadedOutline loaded =
        ini::test::LoadOutline(QFile::encodeName(path).toStdString(), keywords);
    const ini::LineStore& lines = loaded.lines;
    const ini::PlainOutline& outline = loaded.outline;
    std::vector<std::string> texts(lines.Count());
    for (ini::LineIndex line = 0; line < lines.Count(); ++line) {
        if (outline.Contains(ini::NodeKey{line}))
            texts[line] = ini::ToLowerAscii(ini::NodeText{lines.Line(line), false}.ToString());
    }
    const auto typeable = [](const std::string& text) {
        return text.size() >= 8 &&
               text.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789 =.") ==
                   std::string::npos;
    };
    for (ini::LineIndex line = lines.Count(); line-- > 0;) {
        const std::optional<ini::NodeKey> parent = outline.Parent(ini::NodeKey{line});
        if (!parent || !outline.Parent(*parent) || !typeable(texts[line]))
            continue;
        const auto holders = std::count_if(texts.begin(), texts.end(), [&](const std::string& t) {
            return ini::ContainsFolded(t, texts[line]);
        });
        if (holders == 1)
            return Target{line, texts[line]};
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s VIEWER SAMPLE SCREENSHOT\n", argv[0]);
        return 2;
    }
    const QString viewer = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString screenshot = QString::fromLocal8Bit(argv[3]);
    e2e::XServer screen;
    if (!screen.Open()) {
        std::fprintf(stderr, "no X display; run under xvfb-run\n");
        return 2;
    }

    QTemporaryDir root;
    const QString file = root.filePath(QStringLiteral("Big Map.ini"));
    if (!QFile::copy(QString::fromLocal8Bit(argv[2]), file)) {
        std::fprintf(stderr, "cannot prepare %s\n", qPrintable(file));
        return 2;
    }
    const std::optional<Target> target = PickTarget(file);
    if (!target) {
        std::fprintf(stderr, "the sample has no line to look for\n");
        return 2;
    }
    std::printf("  looking for '%s' (line %zu)\n", target->needle.c_str(), target->line + 1);
    const QString caret = QStringLiteral(" - Ln %1, Col 1").arg(target->line + 1);

    QTemporaryDir config;
    QProcess process;
    const std::optional<Window> window =
        e2e::OpenViewer(screen, process, viewer, root.path(), config.path(), {file});
    if (!window)
        return 1;
    // The file argument loads the file: the tree gets its rows.
    Check(WaitFor([&] { return e2e::Painted(screen.Grab(*window), tree); }),
          "the file given as argument is loaded");
    // Ctrl+F opens the find bar once the window knows it has the keyboard; until then the key
    // goes nowhere, so it is pressed again until the bar shows.
    screen.Focus(*window);
    const QRect bar = ini::layout::findBar;
    const QImage closed = screen.Grab(*window).copy(bar);
    bool opened = false;
    for (int attempt = 0; attempt < 5 && !opened; ++attempt) {
        screen.PressKey(XK_f, XK_Control_L);
        opened = WaitFor([&] { return screen.Grab(*window).copy(bar) != closed; }, 2000);
    }
    Check(opened, "Ctrl+F opens the find bar");
    // The tree as it looks once the bar has the keyboard: losing it can repaint the tree too.
    const QImage searching = e2e::GrabSettled(screen, *window).copy(tree);
    screen.TypeText(target->needle);
    screen.PressKey(XK_Return);
    // The match's block is filled and opened and its node selected: the tree changes, then
    // settles once it is drawn.
    Check(WaitFor([&] { return screen.Grab(*window).copy(tree) != searching; }),
          "the tree goes to the match");
    // The find moves as the needle is typed, so the tree first shows earlier matches of its
    // first letters, and a pause in that (the search of the whole needle) must not pass for the
    // end: the window has to stay the same for a while. On a loaded machine a pause may still
    // outlast that, and the editor then opens on an earlier match: it is closed and the tree
    // waited for again, a few times, so only a find that never reaches the line fails.
    e2e::EditorSeen seen;
    for (int attempt = 0; attempt < 3 && !seen.onLine; ++attempt) {
        if (seen.window)
            e2e::CloseEditor(screen, *seen.window, QStringLiteral("Big Map.ini"),
                             "the editor on an earlier match closes");
        Check(e2e::GrabSettled(screen, *window, 8000, 1000).save(screenshot),
              "the screenshot is saved");
        screen.Click(*window, editorButton.center());
        seen = e2e::WaitForEditor(screen, QStringLiteral("Big Map.ini"), caret);
        if (!seen.window)
            break;
    }
    Check(seen.window.has_value(), "the editor opens the file");
    Check(seen.onLine, "the editor's caret is on the line that was found");
    if (seen.window) {
        e2e::CloseEditor(screen, *seen.window, QStringLiteral("Big Map.ini"), "the editor closes");
    }

    e2e::CloseViewer(screen, *window, process);
    return e2e::failures == 0 ? 0 : 1;
}
