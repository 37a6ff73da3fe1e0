#pragma once

#include "parse/result.h"
#include "platform/desktop.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ini {

// Cuts a command line the one way the viewer understands it, at the first space: the program,
// then everything after that space as one argument, its bytes unchanged; no argument when
// nothing follows the space. Fails for an empty program name.
Result<std::vector<std::string>> SplitCommandLine(std::string_view text);

// Where programs are looked up, in order: the running program's own folder (in a build folder the
// stand-in editor is built beside the viewer), then the folder an installed viewer keeps its
// helper programs in, relative to its own (so an install under any prefix finds its own), then
// each folder of PATH. Empty PATH entries are skipped rather than read as the current folder,
// which could hold anything.
QStringList ProgramSearchFolders();

// The executable file a program name stands for. A name with a "/" is a path and is not
// searched. Each folder is tried with the name as given and then without a trailing ".exe", so
// command lines written for other systems find the native program.
std::optional<QString> FindProgram(const QString& name, const QStringList& folders);

// Starts the command line's program, found in folders, as a detached process with no shell,
// standard input, output and error on the null device. Gives its process id.
Result<TaskId> StartDetached(std::string_view commandLine, const QStringList& folders);

// The same for an argument list whose first entry names the program. Every other entry reaches
// the program as the bytes it holds, so a file path need not be UTF-8; one that holds a NUL byte
// would reach it cut short and is refused.
Result<TaskId> StartDetached(const std::vector<std::string>& arguments, const QStringList& folders);

} // namespace ini
