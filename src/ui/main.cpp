#include "platform/quit_signals.h"
#include "ui/form1.h"
#include "ui/path_text.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

namespace {

const char* const usage =
    "Usage: ini-file-parser [--folder DIR] [FILE]\n"
    "Shows the blocks of a block-structured INI data file as an outline tree.\n"
    "With FILE, starts on that file's folder and loads it.\n"
    "\n"
    "Options:\n"
    "  --folder DIR   the folder that go to block (Ctrl+P), find uses (Ctrl+Shift+F) and\n"
    "                 go to definition (F12) cover, with every folder below it\n"
    "  -h, --help     show this help and exit\n"
    "  -v, --version  show the version and exit\n";

// What the command line asks for.
struct Request {
    enum class Kind { Run, Help, Version, UsageError };
    Kind kind = Kind::Run;
    std::optional<std::string> file;   // Run: the file to open at start, as its bytes
    std::optional<std::string> folder; // Run: the folder the folder-wide views cover
    std::string error;                 // UsageError: what is wrong
};

// Reads the arguments as the bytes they are: a file name need not be UTF-8.
Request Parse(int argc, char** argv) {
    Request request;
    bool optionsEnd = false;
    std::vector<std::string_view> files;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (!optionsEnd && argument == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && (argument == "-h" || argument == "--help")) {
            return {Request::Kind::Help, {}, {}, {}};
        } else if (!optionsEnd && (argument == "-v" || argument == "--version")) {
            return {Request::Kind::Version, {}, {}, {}};
        } else if (!optionsEnd && argument == "--folder") {
            if (i + 1 >= argc || std::string_view(argv[i + 1]).empty())
                return {Request::Kind::UsageError, {}, {}, "--folder needs a folder"};
            request.folder = std::string(argv[++i]);
        } else if (!optionsEnd && argument.size() > 1 && argument.front() == '-') {
            request = {Request::Kind::UsageError,
                       {},
                       {},
                       "unknown option '" + std::string(argument) + "'"};
        } else {
            files.push_back(argument);
        }
    }
    if (request.kind == Request::Kind::UsageError)
        return request;
    if (files.size() > 1)
        return {Request::Kind::UsageError, {}, {}, "give at most one file"};
    if (!files.empty() && files.front().empty())
        return {Request::Kind::UsageError, {}, {}, "the file name is empty"};
    if (!files.empty())
        request.file = std::string(files.front());
    return request;
}

// Why `folder` cannot be what the folder-wide views cover, if it cannot: a folder given by name
// that is not there must be said at once, not passed over for another.
std::optional<std::string> FolderProblem(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0)
        return "--folder '" + folder + "': " + std::strerror(errno);
    if (!S_ISDIR(info.st_mode))
        return "--folder '" + folder + "' is not a folder";
    return std::nullopt;
}

// The file name box's text for a path given on the command line: absolute, and made so that
// the load reads the very bytes given.
QString AbsolutePathText(const std::string& path) {
    const QString text = ini::TextFromPath(path);
    return QDir::cleanPath(
        path.starts_with('/') ? text : ini::CurrentFolderText() + QLatin1Char('/') + text);
}

// Writes text to stdout; a full disk or a closed pipe is reported and fails the run.
int Print(const QByteArray& text) {
    if (std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout) ==
            static_cast<std::size_t>(text.size()) &&
        std::fflush(stdout) == 0)
        return 0;
    std::fprintf(stderr, "ini-file-parser: cannot write to standard output: %s\n",
                 std::strerror(errno));
    return 1;
}

// With the folder given checked: a folder named that is not there is a usage error too.
Request Checked(Request request) {
    if (request.kind == Request::Kind::Run && request.folder) {
        if (std::optional<std::string> problem = FolderProblem(*request.folder))
            request = {Request::Kind::UsageError, {}, {}, std::move(*problem)};
    }
    return request;
}

int UsageError(const Request& request) {
    std::fprintf(stderr, "ini-file-parser: %s\n%s", request.error.c_str(), usage);
    return 2;
}

// How many arguments, the program's name included, come before a "--": after it every argument
// is a file name, whatever it looks like.
int BeforeOptionsEnd(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--")
            return i;
    }
    return argc;
}

// Whether an argument may be one of the window system's own options (-platform, -display ...),
// which only it can take out: those all start with a single dash and stand before any "--".
bool MayHoldWindowSystemOption(int argc, char** argv) {
    for (int i = 1; i < BeforeOptionsEnd(argc, argv); ++i) {
        const std::string_view argument = argv[i];
        if (argument.size() > 1 && argument[0] == '-' && argument[1] != '-')
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    // Help, version and usage errors need no display: they are answered before the window
    // system is opened, so that a script without one gets them too.
    const Request early = Checked(Parse(argc, argv));
    if (early.kind == Request::Kind::Help)
        return Print(usage);
    if (early.kind == Request::Kind::Version)
        return Print("ini-file-parser " INI_VERSION "\n");
    if (early.kind == Request::Kind::UsageError && !MayHoldWindowSystemOption(argc, argv))
        return UsageError(early);

    // QApplication takes its own options (-platform, -display ...) out of the arguments it is
    // shown first: those before a "--", so that a file named "-reverse" after it stays a file.
    int windowSystemArgc = BeforeOptionsEnd(argc, argv);
    const std::vector<char*> afterOptionsEnd(argv + windowSystemArgc, argv + argc);
    QApplication app(windowSystemArgc, argv);
    std::vector<char*> arguments(argv, argv + windowSystemArgc);
    arguments.insert(arguments.end(), afterOptionsEnd.begin(), afterOptionsEnd.end());
    const Request request = Checked(Parse(static_cast<int>(arguments.size()), arguments.data()));
    if (request.kind == Request::Kind::UsageError)
        return UsageError(request);
    // The settings store is addressed by the executable's name, as application and organisation.
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    QApplication::setApplicationName(name);
    QApplication::setOrganizationName(name);
    // The name of the installed desktop entry, by which Wayland matches the window to it.
    QGuiApplication::setDesktopFileName(QStringLiteral("invalid.ini_file_parser.viewer"));

    const ini::QuitSignals quitSignals;
    int code = 0;
    ini::Form1 form;
    if (request.folder)
        form.SetIndexFolder(AbsolutePathText(*request.folder));
    if (request.file)
        form.OpenFromOutside(AbsolutePathText(*request.file));
    form.show();
    if (quitSignals.Caught() == 0)
        code = QApplication::exec();
    if (const int caught = quitSignals.Caught(); caught != 0) {
        // Ended from outside, by a logout say: the window closes as it does for the user, so
        // the file it shows is remembered.
        form.CloseFromOutside();
        ini::EndBySignal(caught);
    }
    return code;
}
