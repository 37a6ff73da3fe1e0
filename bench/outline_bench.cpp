// Times one stage of the outline on a file and reports the process's peak memory.
//   outline_bench FILE read  only read the file into the line store
//   outline_bench FILE top   load to the top-level outline
//   outline_bench FILE all   load, then fill every root node as a click would
// Prints: "<stage> <seconds> s, peak <MiB> MiB, <lines> lines, <nodes> nodes".

#include "support/loaded_outline.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <string_view>
#include <sys/resource.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: outline_bench FILE read|top|all\n");
        return 2;
    }
    const std::string_view stage = argv[2];
    ini::Keywords keywords;
    keywords.InitKeywords();

    // What is made lives to the end, so that freeing it is not timed.
    const auto start = std::chrono::steady_clock::now();
    std::optional<ini::LineStore> read;
    std::optional<ini::test::LoadedOutline> loaded;
    if (stage == "read") {
        if (ini::Result<ini::LineStore> lines = ini::LineStore::ReadFile(argv[1]); lines.ok())
            read = std::move(lines).value();
    } else {
        loaded = ini::test::LoadOutline(argv[1], keywords, {.clickEveryRoot = stage == "all"});
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (loaded && loaded->load.error) {
        std::fprintf(stderr, "%s\n", loaded->load.error->message.c_str());
        return 1;
    }
    const std::size_t lines = loaded ? loaded->lines.Count() : read ? read->Count() : 0;
    const std::size_t nodes = loaded ? loaded->outline.Nodes().Size() : 0;

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%s %.3f s, peak %.1f MiB, %zu lines, %zu nodes\n", argv[2], seconds,
                static_cast<double>(usage.ru_maxrss) / 1024.0, lines, nodes);
    return 0;
}
