// Opens a file in the stand-in editor (offscreen) and reports time and peak memory.
//   editor_bench FILE LINE        open, then go to LINE and paint; `wc -l FILE` is timed alongside
//   editor_bench FILE LINE blink  open, go to LINE, then repaint the caret 20 times as its
//                                 blinking does (a long LINE shows what a blink costs there)
// Prints one line per stage: "<stage> <seconds> s" and at the end the peak memory.

#include "bench_clock.h"
#include "notepad/editor_window.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProcess>

#include <chrono>
#include <cstdio>
#include <string_view>

namespace {

using bench::Clock;
using bench::PeakMiB;
using bench::SecondsSince;

// The widget that shows the text, whichever view the file opened in.
QWidget* TextViewport(QWidget& window) {
    for (auto* area : window.findChildren<QAbstractScrollArea*>()) {
        if (area->isVisible())
            return area->viewport();
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4 || (argc == 4 && std::string_view(argv[3]) != "blink")) {
        std::fprintf(stderr, "usage: editor_bench FILE LINE [blink]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const QString path = QString::fromLocal8Bit(argv[1]);
    const qint64 line = QByteArray(argv[2]).toLongLong();

    ini::EditorWindow window;
    window.show();
    QApplication::processEvents();
    auto start = Clock::now();
    window.Open(path);
    QApplication::processEvents();
    std::printf("open %.3f s\n", SecondsSince(start));
    QWidget* viewport = TextViewport(window);

    start = Clock::now();
    window.GoToLine(line);
    viewport->repaint();
    std::printf("go to line %lld and paint %.3f s\n", line, SecondsSince(start));

    if (argc == 4) {
        auto* edit = window.findChild<QPlainTextEdit*>();
        const QRect caret = edit && edit->isVisible() ? edit->cursorRect() : QRect(0, 0, 2, 16);
        start = Clock::now();
        for (int i = 0; i < 20; ++i)
            viewport->repaint(caret);
        std::printf("caret repaint %.4f s each\n", SecondsSince(start) / 20);
    } else {
        start = Clock::now();
        QProcess wc;
        wc.start(QStringLiteral("wc"), {QStringLiteral("-l"), path});
        wc.waitForFinished(-1);
        std::printf("wc -l %.3f s: %s", SecondsSince(start),
                    wc.readAllStandardOutput().constData());
    }
    std::printf("peak %.1f MiB (file %.1f MiB)\n", PeakMiB(),
                static_cast<double>(QFileInfo(path).size()) / (1024.0 * 1024.0));
    return 0;
}
