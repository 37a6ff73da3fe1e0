#include "platform/program_launcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

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

// What the first child tells the viewer: the started program's id, or why it has none.
struct Forked {
    pid_t program = -1;
    int error = 0;
};

// Reads until `size` bytes have come or every writer has closed; how many came.
std::size_t ReadFull(int fd, void* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = read(fd, static_cast<char*>(buffer) + done, size - done);
        if (got > 0)
            done += static_cast<std::size_t>(got);
        else if (got == 0 || errno != EINTR)
            break;
    }
    return done;
}

// Runs in the child, where another thread of the viewer may have held a lock at the fork: only
// calls that are safe after a fork. The program starts in a session of its own as a grandchild
// of the viewer, so it outlives the viewer and never waits to be reaped by it. Its id goes out
// on `idOut`; if it cannot be run, the reason goes out on `execOut`, which its start closes.
[[noreturn]] void RunDetached(char* const* argv, int idOut, int execOut) {
    setsid();
    Forked forked;
    forked.program = fork();
    if (forked.program == 0) {
        close(idOut);
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0 && dup2(null, STDIN_FILENO) >= 0 && dup2(null, STDOUT_FILENO) >= 0 &&
            dup2(null, STDERR_FILENO) >= 0) {
            // A signal the viewer ignores (such as SIGPIPE) or blocks would stay so across
            // exec; the program starts with the settings any program expects.
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            signal(SIGPIPE, SIG_DFL);
            execv(argv[0], argv);
        }
        const int error = errno;
        (void)!write(execOut, &error, sizeof error);
        _exit(127);
    }
    forked.error = forked.program < 0 ? errno : 0;
    (void)!write(idOut, &forked, sizeof forked);
    _exit(0);
}

Failure CannotStart(const QByteArray& program, int error) {
    return Failure{"Cannot start \"" + program.toStdString() + "\": " + std::strerror(error)};
}

// Starts `program` with the arguments after the first; argv[0] is the program's path.
Result<TaskId> Spawn(const QByteArray& program, const std::vector<std::string>& arguments) {
    // Everything the children need is built here, before the fork.
    std::vector<std::string> strings{program.toStdString()};
    strings.insert(strings.end(), arguments.begin() + 1, arguments.end());
    std::vector<char*> argv;
    argv.reserve(strings.size() + 1);
    for (std::string& argument : strings)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int idPipe[2];
    int execPipe[2];
    if (pipe2(idPipe, O_CLOEXEC) != 0)
        return CannotStart(program, errno);
    if (pipe2(execPipe, O_CLOEXEC) != 0) {
        const int error = errno;
        close(idPipe[0]);
        close(idPipe[1]);
        return CannotStart(program, error);
    }
    const pid_t child = fork();
    if (child == 0) {
        close(idPipe[0]);
        close(execPipe[0]);
        RunDetached(argv.data(), idPipe[1], execPipe[1]);
    }
    const int forkError = errno;
    close(idPipe[1]);
    close(execPipe[1]);
    Forked forked;
    int execError = 0;
    bool execFailed = false;
    if (child > 0) {
        if (ReadFull(idPipe[0], &forked, sizeof forked) != sizeof forked)
            forked = {-1, ECHILD};
        // Nothing before the pipe closes: the program runs.
        execFailed = ReadFull(execPipe[0], &execError, sizeof execError) != 0;
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    close(idPipe[0]);
    close(execPipe[0]);
    if (child < 0)
        return CannotStart(program, forkError);
    if (forked.program < 0)
        return CannotStart(program, forked.error);
    if (execFailed)
        return CannotStart(program, execError);
    return TaskId{forked.program};
}

} // namespace

Result<std::vector<std::string>> SplitCommandLine(std::string_view text) {
    const std::size_t space = text.find(' ');
    const std::string_view program = text.substr(0, space);
    if (program.empty())
        return Failure{"The command line names no program."};
    std::vector<std::string> arguments{std::string(program)};
    if (space != std::string_view::npos && space + 1 < text.size())
        arguments.emplace_back(text.substr(space + 1));
    return arguments;
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
    return StartDetached(split.value(), folders);
}

Result<TaskId> StartDetached(const std::vector<std::string>& arguments,
                             const QStringList& folders) {
    if (arguments.empty() || arguments.front().empty())
        return Failure{"The command line names no program."};
    const std::string& name = arguments.front();
    const auto path = FindProgram(QFile::decodeName(QByteArray::fromStdString(name)), folders);
    if (!path)
        return Failure{name.find('/') != std::string::npos
                           ? "Cannot find the program \"" + name + "\": no such program is there."
                           : "Cannot find the program \"" + name +
                                 "\" beside this program or on PATH."};
    const QByteArray program = QFile::encodeName(*path);
    if (std::any_of(arguments.begin(), arguments.end(), [](const std::string& argument) {
            return argument.find('\0') != std::string::npos;
        }))
        return Failure{"Cannot start \"" + program.toStdString() +
                       "\": an argument holds a NUL byte, which no program can be given"};
    return Spawn(program, arguments);
}

} // namespace ini
