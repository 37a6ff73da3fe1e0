// Indexes a folder tree with the window's folder index and reports what it costs.
//   index_bench FOLDER          index the block files already in FOLDER
//   index_bench --make FOLDER [FILES OBJECTS]
//                               first write FILES generated files (2,000 unless given) of
//                               OBJECTS objects each (90: about 31 KB) into FOLDER, in folders
//                               of 100 files
// Prints the time to the complete snapshot, the files and definitions, the longest stretch the
// owner's thread went without handling events, and the process's peak memory; how long the go-to
// list takes to take the index and to answer each key of a name typed into it, and go to
// definition to find the blocks a line names; then the time until a rewritten file shows read
// again, beside the time IndexFile alone takes on that file.

#include "outline/index/block_files.h"
#include "outline/index/file_index.h"
#include "ui/folder_index.h"
#include "ui/folder_views.h"
#include "ui/use_search.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int filesPerFolder = 100;

// One generated file: objects with nested blocks, comments and top-level lines between them.
std::string GeneratedFile(int file, int objects) {
    std::string bytes = "; generated block file " + std::to_string(file) + "\r\nVersion = 3\r\n";
    for (int i = 0; i < objects; ++i) {
        const std::string name = "Unit_" + std::to_string(file) + "_" + std::to_string(i);
        bytes += "\r\n; " + name + ": a generated unit\r\nObject " + name + "\r\n";
        bytes += "  DisplayName = \"Unit " + std::to_string(i) + "\"  ; shown in the bar\r\n";
        bytes += "  Draw = ModelDraw ModuleTag_01\r\n    DefaultConditionState\r\n";
        bytes += "      Model = " + name + "_Hull\r\n      Turret = Turret01\r\n    End\r\n";
        bytes += "  End\r\n  Body = ActiveBody ModuleTag_02\r\n    MaxHealth = 300.0\r\n";
        bytes += "  End\r\n  Speed = 30\r\n  Armor = PlatedHullArmor\r\nEnd\r\n";
    }
    return bytes;
}

bool MakeFolder(const std::string& folder, int files, int objects) {
    for (int file = 0; file < files; ++file) {
        const fs::path sub = fs::path(folder) / ("group" + std::to_string(file / filesPerFolder));
        std::error_code error;
        fs::create_directories(sub, error);
        std::ofstream out(sub / ("units" + std::to_string(file % filesPerFolder) + ".ini"),
                          std::ios::binary);
        out << GeneratedFile(file, objects);
        if (!out)
            return false;
    }
    return true;
}

double MiB(long kibibytes) {
    return static_cast<double>(kibibytes) / 1024.0;
}

// Bytes the heap has handed out and not taken back, over every arena and mapping.
std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Runs the event loop until `done` holds after `signal` came; gives the longest stretch between
// two turns of a 1 ms timer: how long a window would have waited.
template <typename Sender, typename Signal>
std::chrono::nanoseconds RunUntil(const Sender& sender, Signal signal,
                                  const std::function<bool()>& done) {
    QEventLoop loop;
    std::chrono::nanoseconds longest{0};
    auto last = Clock::now();
    QTimer ticks;
    ticks.setInterval(1);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        longest = std::max<std::chrono::nanoseconds>(longest, now - last);
        last = now;
    });
    QObject::connect(&sender, signal, &loop, [&] {
        if (done())
            loop.quit();
    });
    ticks.start();
    if (!done())
        loop.exec();
    return std::max<std::chrono::nanoseconds>(longest, Clock::now() - last);
}

const ini::FileDefinitions* FileAt(const ini::FolderIndexState& state, const std::string& path) {
    for (const auto& file : state.files) {
        if (file->Path() == path)
            return file.get();
    }
    return nullptr;
}

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// The least of a few times IndexFile takes on `path` alone.
Clock::duration IndexFileAlone(const std::string& path, const ini::Keywords& keywords) {
    Clock::duration least = Clock::duration::max();
    for (int run = 0; run < 5; ++run) {
        const auto start = Clock::now();
        std::size_t definitions = 0;
        ini::IndexSink sink([&](const ini::DefinitionLine&) { return ++definitions > 0; });
        ini::Result<ini::FileReader> reader = ini::FileReader::Open(path);
        if (reader.ok() && ini::IndexFile(std::move(reader).value(), keywords, sink).ok())
            least = std::min(least, Clock::now() - start);
    }
    return least;
}

// Times the first build of `folder`; prints what it found and what it cost.
void TimeBuild(ini::FolderIndex& index, const std::string& folder) {
    const long before = PeakKiB();
    const std::size_t heapBefore = HeapInUse();
    const auto start = Clock::now();
    index.Open(folder);
    const auto longest =
        RunUntil(index, &ini::FolderIndex::changed, [&] { return index.Snapshot()->complete; });
    const double seconds = Milliseconds(Clock::now() - start) / 1000.0;
    const ini::FolderIndexState& state = *index.Snapshot();
    std::size_t definitions = 0;
    std::size_t textBytes = 0;
    std::size_t failures = state.folderFailures.size();
    for (const auto& file : state.files) {
        definitions += file->Definitions().size();
        failures += file->failure ? 1 : 0;
        for (const ini::IndexedDefinition& definition : file->Definitions())
            textBytes += definition.text.size();
    }
    std::printf("complete snapshot after %.3f s: %zu files, %zu definitions (%.1f MiB of text),"
                " %zu failures\n",
                seconds, state.files.size(), definitions, MiB(static_cast<long>(textBytes / 1024)),
                failures);
    std::printf("longest wait of the owner's thread %.1f ms; peak memory %.1f MiB (%.1f MiB before"
                " opening)\n",
                Milliseconds(longest), MiB(PeakKiB()), MiB(before));
    const double held = static_cast<double>(HeapInUse() - heapBefore);
    std::printf("the index holds %.1f MiB of heap: %.0f bytes per definition, of which %.0f are "
                "its text\n",
                held / (1024.0 * 1024.0),
                held / static_cast<double>(std::max<std::size_t>(definitions, 1)),
                static_cast<double>(textBytes) /
                    static_cast<double>(std::max<std::size_t>(definitions, 1)));
}

// Opens the go-to list over the complete index and types a name into it, a key at a time, as a
// user would: for each key, how long until its rows show and the longest the window waited.
void TimeGoTo(const ini::FolderIndex& index) {
    ini::GoToBlockDialog dialog;
    bool shown = false;
    QObject::connect(&dialog, &ini::GoToBlockDialog::rowsShown, [&] { shown = true; });
    const auto time = [&](const std::function<void()>& act) {
        shown = false;
        const auto start = Clock::now();
        act();
        const auto held = Clock::now() - start;
        const auto waited =
            RunUntil(dialog, &ini::GoToBlockDialog::rowsShown, [&] { return shown; });
        return std::pair(Milliseconds(Clock::now() - start),
                         Milliseconds(std::max<Clock::duration>(held, waited)));
    };
    const auto [opened, openWait] = time([&] {
        dialog.SetIndex(index.Snapshot());
        dialog.ShowAll();
    });
    std::printf("go to block: the list shows the index after %.1f ms (longest wait %.1f ms); a "
                "key's rows after",
                opened, openWait);
    auto* filter = dialog.findChild<QLineEdit*>(QStringLiteral("Block_Filter"));
    double most = openWait;
    const std::string typed = "unit_17_4";
    for (std::size_t keys = 1; keys <= typed.size(); ++keys) {
        const auto [rows, wait] =
            time([&] { filter->setText(QString::fromStdString(typed.substr(0, keys))); });
        most = std::max(most, wait);
        std::printf(" %.0f", rows);
    }
    std::printf(" ms; longest wait of the window %.1f ms (target 50 ms %s); peak memory now "
                "%.1f MiB\n",
                most, most <= 50 ? "met" : "MISSED", MiB(PeakKiB()));
}

// What go to definition (F12) takes on a line that names one block, with the index as it is.
void TimeGoToDefinition(const ini::FolderIndex& index) {
    const auto start = Clock::now();
    const ini::NamedOnLine named =
        ini::DefinitionsNamedOn(*index.Snapshot(), "  PrimaryWeapon = Unit_17_4 Turret01");
    std::printf("go to definition: %zu definitions found on a line after %.1f ms (target 50 ms "
                "%s)\n",
                named.places.size(), Milliseconds(Clock::now() - start),
                Milliseconds(Clock::now() - start) <= 50 ? "met" : "MISSED");
}

// The least of a few times `command` takes to run, in seconds, or a negative time when it
// cannot be run.
double LeastSecondsOf(const std::string& command) {
    double least = -1;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        if (std::system((command + " > /dev/null 2>&1").c_str()) == -1)
            return -1;
        const double seconds = Milliseconds(Clock::now() - start) / 1000.0;
        least = least < 0 ? seconds : std::min(least, seconds);
    }
    return least;
}

// Searches the folder for uses of `name` as the window's find uses does, into its list: when the
// first use shows and when all are listed, beside ripgrep's whole-word search of the same folder.
void TimeUses(const std::string& folder, const std::string& name, const ini::Keywords& keywords) {
    ini::UseSearch search(keywords);
    ini::UsesDialog dialog(search);
    auto* list = dialog.findChild<QListWidget*>(QStringLiteral("Folder_List"));
    std::optional<double> first;
    const auto start = Clock::now();
    // Connected after the dialog: its rows are in when this runs.
    QObject::connect(&search, &ini::UseSearch::found, [&] {
        if (list->count() > 0 && !first)
            first = Milliseconds(Clock::now() - start);
    });
    search.Start(folder, name);
    dialog.Follow(folder);
    const auto waited = RunUntil(dialog, &ini::UsesDialog::listed,
                                 [&] { return !search.Running() && dialog.Unlisted() == 0; });
    const double all = Milliseconds(Clock::now() - start);
    const double rg = LeastSecondsOf("rg -nwF '" + name + "' '" + folder + "'") * 1000;
    std::printf("find uses of %s: %d uses listed, the first after %.1f ms (target 100 ms), all "
                "after %.1f ms; rg -nwF %.1f ms (%.2fx; target 2x); longest wait %.1f ms\n",
                name.c_str(), list->count(), first.value_or(-1), all, rg, rg > 0 ? all / rg : 0.0,
                Milliseconds(waited));
}

// Rewrites `copy` in place and times until the index shows it read again.
void TimeRewrite(ini::FolderIndex& index, const std::string& copy, const ini::Keywords& keywords) {
    const ini::FolderIndexSnapshot held = index.Snapshot();
    const ini::FileDefinitions* before = FileAt(*held, copy);
    std::string bytes;
    {
        std::ifstream in(copy, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // As a user's save comes: a while after the index last sent news, which it paces.
    {
        QEventLoop pause;
        QTimer::singleShot(200, &pause, &QEventLoop::quit);
        pause.exec();
    }
    const auto written = Clock::now();
    {
        std::ofstream out(copy, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    RunUntil(index, &ini::FolderIndex::changed, [&] {
        const ini::FileDefinitions* now = FileAt(*index.Snapshot(), copy);
        return now != nullptr && now != before;
    });
    const double shown = Milliseconds(Clock::now() - written);
    std::printf("one file of %.1f KiB rewritten in place: shown read again after %.1f ms;"
                " IndexFile alone %.2f ms\n",
                static_cast<double>(bytes.size()) / 1024.0, shown,
                Milliseconds(IndexFileAlone(copy, keywords)));
}

} // namespace

int main(int argc, char** argv) {
    const bool make = (argc == 3 || argc == 5) && std::string_view(argv[1]) == "--make";
    if (argc != 2 && !make) {
        std::fprintf(stderr, "usage: index_bench [--make FOLDER [FILES OBJECTS] | FOLDER]\n");
        return 2;
    }
    const std::string folder = argv[make ? 2 : 1];
    const int fileCount = argc == 5 ? std::atoi(argv[3]) : 2000;
    const int objectCount = argc == 5 ? std::atoi(argv[4]) : 90;
    if (make &&
        (fileCount <= 0 || objectCount < 0 || !MakeFolder(folder, fileCount, objectCount))) {
        std::fprintf(stderr, "cannot write the files into %s\n", folder.c_str());
        return 1;
    }
    const std::vector<std::string> files = ini::ListBlockFiles({folder}).files;
    if (files.empty()) {
        std::fprintf(stderr, "no block files in %s\n", folder.c_str());
        return 1;
    }
    // A copy of one file, indexed with the rest and rewritten afterwards.
    const std::string copy = (fs::path(folder) / "index-bench-copy.ini").native();
    std::error_code error;
    if (!fs::copy_file(files.front(), copy, fs::copy_options::overwrite_existing, error)) {
        std::fprintf(stderr, "cannot copy %s: %s\n", files.front().c_str(),
                     error.message().c_str());
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ini::Keywords keywords;
    keywords.InitKeywords();
    ini::FolderIndex index(keywords);
    TimeBuild(index, folder);
    TimeGoTo(index);
    TimeGoToDefinition(index);
    TimeUses(folder, "Unit_1999_4", keywords);
    TimeUses(folder, "Turret01", keywords);
    TimeRewrite(index, copy, keywords);
    fs::remove(copy, error);
    return 0;
}
