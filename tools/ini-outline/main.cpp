// ini-outline: prints the outline the viewer shows for block files, every block filled in.

#include "outline/check/structure_checks.h"
#include "outline/read/file_reader.h"
#include "outline/text/outline_text.h"
#include "parse/keywords.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view usage =
    "Usage: ini-outline [--comments] [--top-level] FILE...\n"
    "       ini-outline --check FILE...\n"
    "\n"
    "Loads each FILE as the viewer's Load button does and prints its outline, one node per\n"
    "line, in pre-order: two spaces per depth level, the node's key (Key_<line index>), a TAB\n"
    "and the node's text, bytes as in the file. With more than one FILE every line starts with\n"
    "the file's path and a TAB, as grep -H does.\n"
    "\n"
    "  --comments   show end-of-line comments in node texts (as the viewer's check box)\n"
    "  --top-level  print only the root nodes, as right after Load; by default every root\n"
    "               node is filled in, as one click on each would\n"
    "  --check      print each structure problem instead, as FILE:LINE: warning: MESSAGE\n"
    "               (LINE counts from 1): a block never closed, an End that closes none,\n"
    "               a block name followed by a tab, a top-level block defined twice\n"
    "  --help       show this text\n"
    "\n"
    "Exit status: 0 on success; 1 when a FILE cannot be read or changes while it is read (the\n"
    "reason goes to stderr; the other files are still printed), the output cannot be written,\n"
    "or --check found a problem; 2 on a usage error.\n";

struct Options {
    ini::StreamOptions stream;
    bool check = false;
    std::vector<const char*> files;
};

enum class Parsed { Run, Help, Usage };

Parsed ParseArguments(int argc, char** argv, Options& options) {
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsDone || arg == "-" || arg.empty() || arg.front() != '-') {
            options.files.push_back(argv[i]);
        } else if (arg == "--help") {
            return Parsed::Help;
        } else if (arg == "--comments") {
            options.stream.showComments = true;
        } else if (arg == "--top-level") {
            options.stream.topLevelOnly = true;
        } else if (arg == "--check") {
            options.check = true;
        } else if (arg == "--") {
            optionsDone = true;
        } else {
            std::fprintf(stderr, "ini-outline: unknown option '%s'\n%s", argv[i], usage.data());
            return Parsed::Usage;
        }
    }
    if (options.files.empty()) {
        std::fprintf(stderr, "ini-outline: no FILE given\n%s", usage.data());
        return Parsed::Usage;
    }
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
        std::fprintf(stderr, "ini-outline: cannot write the outline: %s\n", std::strerror(m_error));
    }

private:
    int m_error = 0;
};

// Prints the structure problems of one file in the form compilers use, which editors, logs and
// grep understand; sets `status` to 1 when there is any.
ini::Result<void> PrintProblems(ini::FileReader file, const ini::Keywords& keywords,
                                std::string_view path, Output& out, int& status) {
    ini::Result<ini::StructureChecks> checked = ini::CheckStructure(std::move(file), keywords);
    if (!checked.ok())
        return checked.failure();
    const ini::StructureChecks& checks = checked.value();
    std::string text;
    for (const ini::Problem& problem : checks.Problems()) {
        text.append(path).append(":").append(std::to_string(problem.line + 1));
        text.append(": warning: ").append(problem.message).append("\n");
    }
    if (checks.Uncounted() > 0) {
        text.append(path).append(": warning: ").append(std::to_string(checks.Uncounted()));
        text.append(" more problems not listed\n");
    }
    if (!checks.Problems().empty())
        status = 1;
    out.Write(text);
    return {};
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
    // Big output pieces go straight to the file descriptor.
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    ini::Keywords keywords;
    keywords.InitKeywords();
    const bool several = options.files.size() > 1;
    int status = 0;
    for (const char* path : options.files) {
        options.stream.prefix = several ? std::string(path) + '\t' : std::string();
        ini::Result<ini::FileReader> file = ini::FileReader::Open(path);
        ini::Result<void> done =
            !file.ok() ? ini::Result<void>(file.failure())
            : options.check
                ? PrintProblems(std::move(file).value(), keywords, path, out, status)
                : ini::StreamOutline(std::move(file).value(), keywords, options.stream,
                                     [&](std::string_view bytes) { return out.Write(bytes); });
        if (!out.Finish()) {
            out.Report();
            return 1;
        }
        if (!done.ok()) {
            std::fprintf(stderr, "ini-outline: %s\n", done.error().c_str());
            status = 1;
        }
    }
    return status;
}
