#include "platform/program_launcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace ini {
namespace {

bool IsExecutableFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

// The name as given first, then without ".exe", each only once.
QStringList Candidates(const QString& name) {
    QStringList names{name};
    static const QString exe = QStringLiteral(".exe");
    if (name.endsWith(exe, Qt::CaseInsensitive) && name.size() > exe.size())
        names.append(name.chopped(exe.size()));
    return names;
}

} // namespace

Result<CommandLine> SplitCommandLine(std::string_view text) {
    const std::size_t space = text.find(' ');
    const std::string_view program = text.substr(0, space);
    if (program.empty())
        return Failure{"The command line names no program."};
    CommandLine line{QString::fromUtf8(program.data(), qsizetype(program.size())), std::nullopt};
    if (space != std::string_view::npos && space + 1 < text.size()) {
        const std::string_view rest = text.substr(space + 1);
        line.argument = QString::fromUtf8(rest.data(), qsizetype(rest.size()));
    }
    return line;
}

QStringList ProgramSearchFolders() {
    const QDir own(QCoreApplication::applicationDirPath());
    QStringList folders{own.path(),
                        QDir::cleanPath(own.filePath(QStringLiteral(INI_HELPERS_FROM_BIN)))};
    const QStringList path =
        qEnvironmentVariable("PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts);
    folders.append(path);
    return folders;
}

std::optional<QString> FindProgram(const QString& name, const QStringList& folders) {
    if (name.contains(QLatin1Char('/'))) {
        for (const QString& candidate : Candidates(name)) {
            if (IsExecutableFile(candidate))
                return QFileInfo(candidate).absoluteFilePath();
        }
        return std::nullopt;
    }
    for (const QString& folder : folders) {
        if (folder.isEmpty())
            continue;
        const QDir dir(folder);
        for (const QString& candidate : Candidates(name)) {
            const QString path = dir.absoluteFilePath(candidate);
            if (IsExecutableFile(path))
                return path;
        }
    }
    return std::nullopt;
}

Result<TaskId> StartDetached(std::string_view commandLine, const QStringList& folders) {
    auto split = SplitCommandLine(commandLine);
    if (!split.ok())
        return split.failure();
    const CommandLine& line = split.value();
    QStringList arguments{line.program};
    if (line.argument)
        arguments.append(*line.argument);
    return StartDetached(arguments, folders);
}

Result<TaskId> StartDetached(const QStringList& arguments, const QStringList& folders) {
    if (arguments.isEmpty() || arguments.front().isEmpty())
        return Failure{"The command line names no program."};
    const auto path = FindProgram(arguments.front(), folders);
    if (!path) {
        return Failure{"Cannot find the program \"" + arguments.front().toStdString() +
                       "\" beside this program or on PATH."};
    }

    QProcess process;
    process.setProgram(*path);
    process.setArguments(arguments.sliced(1));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!process.startDetached(&pid)) {
        return Failure{"Cannot start \"" + path->toStdString() +
                       "\": " + process.errorString().toStdString()};
    }
    return TaskId{pid};
}

} // namespace ini
