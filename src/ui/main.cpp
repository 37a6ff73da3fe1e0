#include "ui/form1.h"

#include <QApplication>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

const char* const usage =
    "Usage: ini-file-parser [FILE]\n"
    "Shows the blocks of a block-structured INI data file as an outline tree.\n"
    "With FILE, starts on that file's folder and loads it.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  -v, --version  show the version and exit\n";

// What the command line asks for.
struct Request {
    enum class Kind { Run, Help, Version, UsageError };
    Kind kind = Kind::Run;
    std::optional<QString> file; // Run: the file to open at start
    QString error;               // UsageError: what is wrong
};

Request Parse(const QStringList& arguments) {
    Request request;
    bool optionsEnd = false;
    QStringList files;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!optionsEnd && argument == QLatin1String("--")) {
            optionsEnd = true;
        } else if (!optionsEnd &&
                   (argument == QLatin1String("-h") || argument == QLatin1String("--help"))) {
            return {Request::Kind::Help, {}, {}};
        } else if (!optionsEnd &&
                   (argument == QLatin1String("-v") || argument == QLatin1String("--version"))) {
            return {Request::Kind::Version, {}, {}};
        } else if (!optionsEnd && argument.size() > 1 && argument.startsWith(QLatin1Char('-'))) {
            request = {Request::Kind::UsageError, {}, "unknown option '" + argument + "'"};
        } else {
            files.append(argument);
        }
    }
    if (request.kind == Request::Kind::UsageError)
        return request;
    if (files.size() > 1)
        return {Request::Kind::UsageError, {}, QStringLiteral("give at most one file")};
    if (!files.isEmpty() && files.front().isEmpty())
        return {Request::Kind::UsageError, {}, QStringLiteral("the file name is empty")};
    if (!files.isEmpty())
        request.file = files.front();
    return request;
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

} // namespace

int main(int argc, char** argv) {
    // Help and version need no display: they are answered before the window system is opened.
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i)
        rawArguments.append(QString::fromLocal8Bit(argv[i]));
    const Request early = Parse(rawArguments);
    if (early.kind == Request::Kind::Help)
        return Print(usage);
    if (early.kind == Request::Kind::Version)
        return Print("ini-file-parser " INI_VERSION "\n");

    // QApplication takes its own options (-platform, -display ...) out of the arguments first.
    QApplication app(argc, argv);
    const Request request = Parse(QApplication::arguments());
    if (request.kind == Request::Kind::UsageError) {
        std::fprintf(stderr, "ini-file-parser: %s\n%s", qUtf8Printable(request.error), usage);
        return 2;
    }
    // The settings store is addressed by the executable's name, as application and organisation.
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    QApplication::setApplicationName(name);
    QApplication::setOrganizationName(name);

    ini::Form1 form;
    if (request.file)
        form.OpenFromOutside(QFileInfo(*request.file).absoluteFilePath());
    form.show();
    return QApplication::exec();
}
