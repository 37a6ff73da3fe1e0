// ini-outline: prints the outline the viewer shows for block files, every block filled in.

#include "outline/check/structure_checks.h"
#include "outline/index/block_files.h"
#include "outline/index/file_index.h"
#include "outline/read/file_reader.h"
#include "outline/text/outline_text.h"
#include "parse/in_order.h"
#include "parse/keywords.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

constexpr std::string_view usage =
    "Usage: ini-outline [--comments] [--top-level] [--null] FILE...\n"
    "       ini-outline --check [--null] PATH...\n"
    "       ini-outline --definitions [--null] PATH...\n"
    "       ini-outline --uses NAME [--null] PATH...\n"
    "       ini-outline --duplicates [--null] PATH...\n"
    "\n"
    "Loads each FILE as the viewer's Load button does and prints its outline, one node per\n"
    "line, in pre-order: two spaces per depth level, the node's key (Key_<line index>), a TAB\n"
    "and the node's text, bytes as in the file. With more than one FILE every line starts with\n"
    "the file's path and a TAB, as grep -H does.\n"
    "\n"
    "A PATH is a file, whatever its name, or a folder: every file whose name ends in .ini (in\n"
    "any letter case) in it and in the folders below it, links inside it not followed. The\n"
    "files of all PATHs are read in the byte order of their paths (LC_ALL=C sort), each once\n"
    "even where several PATHs reach it (under the first of them). --comments and --top-level\n"
    "go with the outline only.\n"
    "A definition is a line that opens a block while none is open and whose text before ';'\n"
    "has at least two words: the block's type is the first and its name the second.\n"
    "\n"
    "  --comments     show end-of-line comments in node texts (as the viewer's check box)\n"
    "  --top-level    print only the root nodes, as right after Load; by default every root\n"
    "                 node is filled in, as one click on each would\n"
    "  --check        print each structure problem instead, as FILE:LINE: warning: MESSAGE\n"
    "                 (LINE counts from 1): a block never closed, an End that closes none,\n"
    "                 a block name or End followed by a tab, a top-level opener inside a\n"
    "                 block (an End missing above it), a top-level block defined twice,\n"
    "                 a file of UTF-16 text; a folder PATH stands for its block files; the\n"
    "                 PATHs stay in their order, and a file reached again is checked once\n"
    "  --definitions  print each definition as FILE<TAB>LINE<TAB>TYPE<TAB>NAME\n"
    "  --uses NAME    print each line whose text before ';' holds NAME as a whole word (no\n"
    "                 ASCII letter, digit or _ next to it), as FILE:LINE:LINE-TEXT, the form of\n"
    "                 grep -nw; the lines that define NAME are left out\n"
    "  --duplicates   print the definitions of each type (in any letter case) and name that\n"
    "                 is defined more than once, as --definitions does, group after group\n"
    "  --null         end each path with a NUL byte instead of the TAB or ':' after it, as\n"
    "                 grep -Z does\n"
    "  --help         show this text\n"
    "\n"
    "Exit status: 0 on success (for --uses also when NAME is used nowhere); 1 when a FILE\n"
    "cannot be read or changes while it is read, or a folder cannot be listed (the reason goes\n"
    "to stderr; the other files are still read), the output cannot be written, --check found a\n"
    "problem or --duplicates found a duplicate; 2 on a usage error.\n";

enum class Mode { Outline, Check, Definitions, Uses, Duplicates };

struct Options {
    ini::StreamOptions stream;
    Mode mode = Mode::Outline;
    std::string name; // of --uses
    bool null = false;
    std::vector<std::string> files;
};

enum class Parsed { Run, Help, Usage };

Parsed UsageError(const std::string& what) {
    // The forms only: the whole help in a CI log hides the line that says what went wrong.
    const std::string_view forms = usage.substr(0, usage.find("\n\n") + 1);
    std::fprintf(stderr, "ini-outline: %s\n%.*sTry 'ini-outline --help' for more.\n", what.c_str(),
                 static_cast<int>(forms.size()), forms.data());
    return Parsed::Usage;
}

// The option that chooses what is printed, if `arg` is one.
std::optional<Mode> ModeOption(std::string_view arg) {
    if (arg == "--check")
        return Mode::Check;
    if (arg == "--definitions")
        return Mode::Definitions;
    if (arg == "--uses")
        return Mode::Uses;
    if (arg == "--duplicates")
        return Mode::Duplicates;
    return std::nullopt;
}

Parsed ParseArguments(int argc, char** argv, Options& options) {
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const std::optional<Mode> mode = optionsDone ? std::nullopt : ModeOption(arg);
        if (optionsDone || arg == "-" || arg.empty() || arg.front() != '-') {
            options.files.emplace_back(arg);
        } else if (arg == "--help") {
            return Parsed::Help;
        } else if (arg == "--comments") {
            options.stream.showComments = true;
        } else if (arg == "--top-level") {
            options.stream.topLevelOnly = true;
        } else if (arg == "--null") {
            options.null = true;
        } else if (mode) {
            if (options.mode != Mode::Outline && options.mode != *mode)
                return UsageError("--check, --definitions, --uses and --duplicates go alone");
            if (*mode == Mode::Uses && !options.name.empty())
                return UsageError("--uses takes one NAME");
            options.mode = *mode;
            if (*mode == Mode::Uses) {
                if (++i == argc || *argv[i] == '\0')
                    return UsageError("--uses needs a NAME");
                options.name = argv[i];
            }
        } else if (arg == "--") {
            optionsDone = true;
        } else {
            return UsageError("unknown option '" + std::string(arg) + "'");
        }
    }
    // They change what an outline shows, and no other output shows one.
    if (options.mode != Mode::Outline &&
        (options.stream.showComments || options.stream.topLevelOnly))
        return UsageError("--comments and --top-level go with the outline only");
    if (options.files.empty())
        return UsageError(options.mode == Mode::Outline ? "no FILE given" : "no PATH given");
    return Parsed::Run;
}

// Standard output, written in the large pieces the outline comes in; remembers the first error.
class Output {
public:
    bool Write(std::string_view bytes) {
        if (m_error == 0 && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
            m_error = errno != 0 ? errno : EIO;
        return m_error == 0;
    }
    bool Finish() {
        if (m_error == 0 && std::fflush(stdout) != 0)
            m_error = errno != 0 ? errno : EIO;
        return m_error == 0;
    }
    void Report() const {
        std::fprintf(stderr, "ini-outline: cannot write to standard output: %s\n",
                     std::strerror(m_error));
    }

private:
    int m_error = 0;
};

// The path as an output line starts with it: followed by `separator`, or by a NUL byte with
// --null, so that any path can be told apart from what follows.
std::string Lead(std::string_view path, char separator, bool null) {
    std::string lead(path);
    lead += null ? '\0' : separator;
    return lead;
}

// Prints the structure problems of one file in the form compilers use, which editors, logs and
// grep understand; sets `status` to 1 when there is any. `lead` is the path and its ':'.
ini::Result<void> PrintProblems(ini::FileReader file, const ini::Keywords& keywords,
                                std::string_view lead, Output& out, int& status,
                                ini::BigBuffer& room) {
    ini::Result<ini::StructureChecks> checked =
        ini::CheckStructure(std::move(file), keywords, ini::Threading::OwnThread, &room);
    if (!checked.ok())
        return checked.failure();
    const ini::StructureChecks& checks = checked.value();
    std::string text;
    for (const ini::Problem& problem : checks.Problems()) {
        text.append(lead).append(std::to_string(problem.line + 1));
        text.append(": warning: ").append(problem.message).append("\n");
    }
    if (checks.Uncounted() > 0) {
        text.append(lead).append(" warning: ").append(std::to_string(checks.Uncounted()));
        text.append(checks.Uncounted() == 1 ? " more problem not listed\n"
                                            : " more problems not listed\n");
    }
    if (!checks.Problems().empty())
        status = 1;
    out.Write(text);
    return {};
}

// One line on stderr per failure, whatever a path in it holds: a line break is written as \n or
// \r.
void ReportFailure(const ini::Failure& failure) {
    std::string line;
    for (const char c : failure.message)
        line += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    std::fprintf(stderr, "ini-outline: %s\n", line.c_str());
}

// After each file: what it printed is written out, and why it could not be read is told (status
// 1). False when the output failed, which ends the run.
bool Settle(Output& out, const ini::Result<void>& done, int& status) {
    if (!out.Finish()) {
        out.Report();
        return false;
    }
    if (!done.ok()) {
        ReportFailure(done.failure());
        status = 1;
    }
    return true;
}

// The files --check looks at: each FILE given, in its place, and for a folder given, the block
// files in it and below, as the index reads them (a CI job checks a whole mod folder at once).
std::vector<std::string> FilesToCheck(const std::vector<std::string>& given, int& status) {
    std::vector<std::string> files;
    ini::FilesSeen seen; // a file reached again is checked once, the first time
    for (const std::string& path : given) {
        // One path at a time: a file stands for itself, in its place.
        const ini::BlockFiles listed = ini::ListBlockFiles({path}, {}, &seen);
        for (const ini::Failure& failure : listed.failures)
            ReportFailure(failure);
        status = listed.failures.empty() ? status : 1;
        files.insert(files.end(), listed.files.begin(), listed.files.end());
    }
    return files;
}

// The outline or the structure problems, file by file.
int PrintOutlines(Options& options, Output& out) {
    // Big output pieces go straight to the file descriptor.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    ini::Keywords keywords;
    keywords.InitKeywords();
    int status = 0;
    if (options.mode == Mode::Check)
        options.files = FilesToCheck(options.files, status);
    const bool several = options.files.size() > 1;
    ini::StreamRoom room; // from one file to the next
    for (const std::string& path : options.files) {
        options.stream.prefix = several ? Lead(path, '\t', options.null) : std::string();
        ini::Result<ini::FileReader> file = ini::FileReader::Open(path);
        ini::Result<void> done =
            !file.ok() ? ini::Result<void>(file.failure())
            : options.mode == Mode::Check
                ? PrintProblems(std::move(file).value(), keywords, Lead(path, ':', options.null),
                                out, status, room.pieces)
                : ini::StreamOutline(
                      std::move(file).value(), keywords, options.stream,
                      [&](std::string_view bytes) { return out.Write(bytes); },
                      ini::Threading::OwnThread, &room);
        if (!Settle(out, done, status))
            return 1;
    }
    return status;
}

// A file's definitions, for --duplicates: their words in one string, as a file may hold
// thousands.
class FileDefinitions {
public:
    void Add(const ini::DefinitionLine& definition) {
        m_words.append(definition.type).append(definition.name);
        m_at.push_back({definition.line, definition.type.size(), definition.name.size()});
    }
    template <typename Take> void ForEach(Take take) const {
        std::size_t start = 0;
        for (const At& at : m_at) {
            const std::string_view words = std::string_view(m_words).substr(start);
            take(ini::DefinitionLine{at.line, words.substr(0, at.typeSize),
                                     words.substr(at.typeSize, at.nameSize)});
            start += at.typeSize + at.nameSize;
        }
    }

private:
    struct At {
        ini::LineIndex line;
        std::size_t typeSize;
        std::size_t nameSize;
    };
    std::string m_words; // each type followed by its name
    std::vector<At> m_at;
};

// What reading one file for the index gave, until it is its turn to be printed.
struct FileOutput {
    std::string text;            // its output lines
    FileDefinitions definitions; // for --duplicates
    ini::Result<void> done;
    // It had more to print than is kept while it waits: it is read again at its turn, printed as
    // it goes.
    bool tooMuch = false;
};

// Definitions, uses or duplicates across the files of folders, in one pass over each file. Files
// are read on several threads at once and printed in their order.
class IndexPrinter {
public:
    // `helpers` threads besides the caller's read files.
    IndexPrinter(const Options& options, Output& out, std::size_t helpers)
        : m_options(options), m_out(out), m_rooms(helpers + 1) {
        m_keywords.InitKeywords();
    }

    // Reads a file on helper `helper` (0: the caller), keeping up to mostKept bytes of output.
    FileOutput Read(const std::string& path, std::size_t helper) {
        FileOutput output;
        try {
            // A file's output runs to a hundred KiB and more: growing it step by step copied it
            // again and again into fresh pages, a sixth of the time of --definitions.
            output.text.reserve(mostKept);
        } catch (const std::bad_alloc&) {
            output.done = ini::NotEnoughMemory("read " + path);
            return output;
        }
        output.done = Index(path, m_rooms[helper], output, [&output] {
            output.tooMuch = true;
            return false;
        });
        return output;
    }

    // Prints what a file gave, at its turn; false when the output failed, or when memory ran
    // short for what --duplicates gathers: its groups would be wrong, so the run ends.
    bool Print(std::size_t file, const std::string& path, FileOutput output, int& status) {
        try {
            return PrintFile(file, path, std::move(output), status);
        } catch (const std::bad_alloc&) {
            Settle(m_out, ini::NotEnoughMemory("gather the definitions of " + path), status);
            return false;
        }
    }

    // Prints each group of definitions of one type and name, a piece at a time as the groups
    // are walked (a folder may define millions twice); whether there was any.
    bool PrintDuplicates(const std::vector<std::string>& files) {
        bool any = false;
        std::string text;
        m_groups.ForEachDuplicate(
            [&](std::size_t file, const ini::DefinitionLine& definition, bool) {
                AddDefinition(text, Lead(files[file], '\t', m_options.null), definition);
                any = true;
                if (text.size() >= mostKept) {
                    m_out.Write(text);
                    text.clear();
                }
            });
        m_out.Write(text);
        return any;
    }

    // Files read ahead of the one being printed, and the most output each keeps meanwhile:
    // together a few MiB.
    static constexpr std::size_t filesAhead = 32;
    static constexpr std::size_t mostKept = std::size_t{256} << 10;

private:
    bool PrintFile(std::size_t file, const std::string& path, FileOutput output, int& status) {
        if (output.tooMuch) {
            output = FileOutput{};
            output.done = Index(path, m_rooms[0], output, [this, &output] {
                const bool written = m_out.Write(output.text);
                output.text.clear();
                return written;
            });
        }
        // A file that could not be read to its end (it changed meanwhile, say) gives no
        // groups: its definitions may come from two versions of it.
        if (output.done.ok())
            output.definitions.ForEach(
                [&](const ini::DefinitionLine& definition) { m_groups.Add(file, definition); });
        if (m_out.Write(output.text) && output.done.ok())
            return true;
        // What came before the failure is written first, so the two read in order.
        return Settle(m_out, output.done, status);
    }

    // Reads the file into `output`; `full()` is asked once its text holds mostKept bytes and
    // says whether to go on.
    template <typename Full>
    ini::Result<void> Index(const std::string& path, ini::BigBuffer& room, FileOutput& output,
                            Full full) {
        ini::Result<ini::FileReader> reader = ini::FileReader::Open(path);
        if (!reader.ok())
            return reader.failure();
        const auto check = [&output, &full] { return output.text.size() < mostKept || full(); };
        if (m_options.mode == Mode::Uses) {
            return ini::FindUses(
                std::move(reader).value(), m_keywords, m_options.name,
                [&output, check, lead = Lead(path, ':', m_options.null),
                 starts = true](ini::LineIndex line, std::string_view bytes, bool ends) mutable {
                    // A use's line may come in several stretches: the path and line number go
                    // before the first.
                    if (starts)
                        output.text.append(lead).append(std::to_string(line + 1)).append(":");
                    output.text.append(bytes);
                    if (ends)
                        output.text += '\n';
                    starts = ends;
                    return check();
                },
                &room);
        }
        ini::IndexSink sink = MakeSink(path, output, check);
        return ini::IndexFile(std::move(reader).value(), m_keywords, sink, &room);
    }

    // The sink of a file's definitions.
    template <typename Check>
    ini::IndexSink MakeSink(const std::string& path, FileOutput& output, const Check& check) {
        if (m_options.mode == Mode::Duplicates) {
            return ini::IndexSink([&output](const ini::DefinitionLine& definition) {
                output.definitions.Add(definition);
                return true;
            });
        }
        return ini::IndexSink([&output, check, lead = Lead(path, '\t', m_options.null)](
                                  const ini::DefinitionLine& at) {
            AddDefinition(output.text, lead, at);
            return check();
        });
    }

    // A folder holds millions of definitions: each line is put together in place, with no
    // temporary strings.
    static void AddDefinition(std::string& text, std::string_view lead,
                              const ini::DefinitionLine& definition) {
        char number[24];
        const std::size_t digits = static_cast<std::size_t>(
            std::to_chars(number, number + sizeof number, definition.line + 1).ptr - number);
        const std::size_t start = text.size();
        text.resize(start + lead.size() + digits + definition.type.size() + definition.name.size() +
                    3);
        char* at = text.data() + start;
        const auto put = [&at](std::string_view bytes) {
            std::memcpy(at, bytes.data(), bytes.size());
            at += bytes.size();
        };
        put(lead);
        put({number, digits});
        *at++ = '\t';
        put(definition.type);
        *at++ = '\t';
        put(definition.name);
        *at = '\n';
    }

    const Options& m_options;
    Output& m_out;
    ini::Keywords m_keywords; // only read once made, by every thread
    ini::DefinitionGroups m_groups;
    std::vector<ini::BigBuffer> m_rooms; // the pieces of each reader's file in turn
};

int PrintIndex(const Options& options, Output& out) {
    // Output lines are short: the standard buffer gathers them.
    std::setvbuf(stdout, nullptr, _IOFBF, std::size_t{1} << 16);
    const ini::BlockFiles listed = ini::ListBlockFiles(options.files);
    int status = listed.failures.empty() ? 0 : 1;
    for (const ini::Failure& failure : listed.failures)
        ReportFailure(failure);
    // Reading files is the work; one thread per core, the caller's among them.
    const std::size_t helpers = std::max(1u, std::thread::hardware_concurrency()) - 1;
    IndexPrinter printer(options, out, helpers);
    bool written = true;
    ini::RunInOrder<FileOutput>(
        listed.files.size(), helpers, IndexPrinter::filesAhead,
        [&](std::size_t file, std::size_t helper) {
            return printer.Read(listed.files[file], helper);
        },
        [&](std::size_t file, FileOutput output) {
            written = printer.Print(file, listed.files[file], std::move(output), status);
            return written;
        });
    if (!written)
        return 1;
    try {
        if (options.mode == Mode::Duplicates && printer.PrintDuplicates(listed.files))
            status = 1;
    } catch (const std::bad_alloc&) {
        Settle(out, ini::NotEnoughMemory("group the duplicates"), status);
        return 1;
    }
    return Settle(out, {}, status) ? status : 1;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    Output out;
    switch (ParseArguments(argc, argv, options)) {
    case Parsed::Usage:
        return 2;
    case Parsed::Help:
        if (!out.Write(usage) || !out.Finish()) {
            out.Report();
            return 1;
        }
        return 0;
    case Parsed::Run:
        break;
    }
    return options.mode == Mode::Outline || options.mode == Mode::Check
               ? PrintOutlines(options, out)
               : PrintIndex(options, out);
}
