// Opens a folder of many entries in the real window (offscreen) and reports the longest time the
// window went without handling events while the lists filled, and how long they took to fill.
// Usage: chooser_bench [COUNT] [files|folders] [FOLDER]
// (default: 100000 files named *.ini, made in a new temporary folder unless FOLDER holds them)

#include "ui/folder_list.h"
#include "ui/form1.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

bool MakeEntries(const QString& folder, int count, bool folders) {
    QDir dir(folder);
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("entry%1.ini").arg(i, 6, 10, QLatin1Char('0'));
        if (folders) {
            if (!dir.mkdir(name))
                return false;
        } else {
            QFile file(dir.filePath(name));
            if (!file.open(QIODevice::WriteOnly))
                return false;
        }
    }
    return true;
}

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The rows under the view's current item (the shown folder), or at its top for a flat list.
int RowsShown(const QAbstractItemView* view) {
    if (qobject_cast<const QTreeView*>(view) != nullptr)
        return view->model()->rowCount(view->currentIndex());
    return view->model()->rowCount();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    const bool folders = argc > 2 && QByteArray(argv[2]) == "folders";

    QTemporaryDir made;
    QTemporaryDir settings;
    const QString folder = argc > 3 ? QString::fromLocal8Bit(argv[3]) : made.path();
    if (argc <= 3) {
        std::printf("making %d %s in %s ...\n", count, folders ? "folders" : "files",
                    qPrintable(folder));
        if (!MakeEntries(folder, count, folders)) {
            std::fprintf(stderr, "cannot make the entries\n");
            return 2;
        }
    }

    ini::FormServices services;
    services.settingsFile = settings.filePath(QStringLiteral("bench.conf"));
    ini::Form1 form(services);
    form.show();
    QApplication::processEvents();
    auto* folderList = form.findChild<ini::FolderList*>(QStringLiteral("Dir1"));
    auto* fileList = form.findChild<QAbstractItemView*>(QStringLiteral("File1"));
    const QAbstractItemView* watched = folders ? folderList : fileList;

    // A tick every 5 ms: the longest wait between ticks is how long events waited. The processor
    // time the window's thread spent between ticks tells its own work from waiting for a core.
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    double lastCpu = ThreadCpuMs();
    double longestCpu = 0;
    qint64 filledAt = -1;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        const double cpu = ThreadCpuMs();
        longestGap = std::max(longestGap, now - lastTick);
        longestCpu = std::max(longestCpu, cpu - lastCpu);
        lastTick = now;
        lastCpu = cpu;
        if (filledAt < 0 && RowsShown(watched) >= count)
            filledAt = now;
    });

    clock.start();
    ticker.start();
    QTimer::singleShot(0, folderList, [&] { folderList->SetPath(folder); });
    while (filledAt < 0 && clock.elapsed() < 120000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);

    std::printf("   %d %s listed in %.3f s; longest wait for events %lld ms (target 50 ms: %s), "
                "most processor time between two events %.1f ms\n",
                RowsShown(watched), folders ? "folders" : "files", filledAt / 1000.0,
                static_cast<long long>(longestGap), longestGap <= 50 ? "met" : "MISSED",
                longestCpu);
    return filledAt >= 0 && longestGap <= 50 ? 0 : 1;
}
