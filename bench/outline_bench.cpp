// Times one stage of the outline on a file and reports the process's peak memory.
//   outline_bench FILE read  only read the file into the line store
//   outline_bench FILE top   load to the top-level outline
//   outline_bench FILE all   load, then fill every root node as a click would
// Prints: "<stage> <seconds> s, peak <MiB> MiB, <lines> lines, <nodes> nodes".

#include "outline/walk/outline_builder.h"
#include "outline/nodes/plain_outline.h"

#include <chrono>
#include <cstdio>
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
    ini::LineStore lines;
    ini::PlainOutline outline;
    ini::FileLoader loader;
    const ini::WalkHooks hooks;

    const auto start = std::chrono::steady_clock::now();
    if (stage == "read") {
        ini::Result<ini::LineStore> read = ini::LineStore::ReadFile(argv[1]);
        if (read.ok())
            lines = std::move(read).value();
    }
    const ini::WalkResult loaded = stage == "read"
                                       ? ini::WalkResult{}
                                       : loader.LoadFile(argv[1], lines, outline, keywords, hooks);
    if (loaded.error) {
        std::fprintf(stderr, "%s\n", loaded.error->message.c_str());
        return 1;
    }
    if (stage == "all") {
        const ini::OutlineNodes& nodes = outline.Nodes();
        for (std::size_t row = 0, roots = nodes.RootCount(); row < roots; ++row)
            ini::ClickNode(nodes.KeyOf(nodes.RootAt(row)), lines, outline, keywords, hooks);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%s %.3f s, peak %.1f MiB, %zu lines, %zu nodes\n", argv[2], seconds,
                static_cast<double>(usage.ru_maxrss) / 1024.0, lines.Count(),
                outline.Nodes().Size());
    return 0;
}
