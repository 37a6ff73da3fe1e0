// Times one stage of the outline on a file and reports the process's peak memory.
//   outline_bench FILE read  only read the file into the line store
//   outline_bench FILE top   load to the top-level outline
//   outline_bench FILE all   load, then fill every root node as a click would
// Prints: "<stage> <seconds> s, peak <MiB> MiB, <lines> lines, <nodes> nodes".
//   outline_bench FILE checks ROUNDS
// loads to the top level ROUNDS times with the structure checks and as often without them, turn
// about in one process, so that both meet the same machine; prints the minimum, first quartile
// and median of each and what the checks add.

#include "bench_clock.h"
#include "outline/walk/outline_builder.h"
#include "outline/walk/walk_to_sink.h"
#include "support/loaded_outline.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

namespace {

using bench::Clock;
using bench::SecondsSince;

// What a load made, kept until its time is taken: freeing it is not timed.
struct Loaded {
    ini::LineStore lines;
    ini::OutlineNodes roots;
    std::vector<ini::Problem> problems;
};

// The window's load with the checks left out: a root for every line met while no block is open.
std::optional<Loaded> LoadWithoutChecks(const char* path, const ini::Keywords& keywords) {
    struct RootsOnly {
        ini::OutlineNodes roots;
        void Line(const ini::WalkedLine& line) {
            if (line.lineClass != ini::LineClass::End && line.stacks.Empty())
                roots.AddRoot(ini::NodeKey{line.index}, line.text.showComments,
                              line.lineClass == ini::LineClass::Opener);
        }
        bool Stopped() const noexcept { return false; }
    } sink;
    ini::Result<ini::FileReader> file = ini::FileReader::Open(path);
    if (!file.ok())
        return std::nullopt;
    ini::WalkToSink walk(
        keywords, [] { return false; }, sink);
    ini::Result<ini::LineStore> lines = ini::LineStore::ReadFile(std::move(file).value(), walk);
    if (!lines.ok())
        return std::nullopt;
    return Loaded{std::move(lines).value(), std::move(sink.roots), {}};
}

std::optional<Loaded> LoadWithChecks(const char* path, const ini::Keywords& keywords) {
    ini::Result<ini::FileReader> file = ini::FileReader::Open(path);
    if (!file.ok())
        return std::nullopt;
    ini::Result<ini::TopLevel> top =
        ini::ReadTopLevel(std::move(file).value(), keywords, nullptr, nullptr);
    if (!top.ok())
        return std::nullopt;
    return Loaded{std::move(top.value().lines), std::move(top.value().roots),
                  std::move(top.value().problems)};
}

struct Spread {
    double min, q1, median;
};

Spread SpreadOf(std::vector<double> seconds) {
    std::sort(seconds.begin(), seconds.end());
    return {seconds.front(), seconds[seconds.size() / 4], seconds[seconds.size() / 2]};
}

int CompareChecks(const char* path, const ini::Keywords& keywords, int rounds) {
    std::vector<double> with, without;
    for (int round = 0; round < rounds; ++round) {
        // Which goes first changes every round: neither always meets the memory the other freed.
        for (const bool checks : {round % 2 == 0, round % 2 != 0}) {
            const Clock::time_point start = Clock::now();
            const std::optional<Loaded> loaded =
                checks ? LoadWithChecks(path, keywords) : LoadWithoutChecks(path, keywords);
            (checks ? with : without).push_back(SecondsSince(start));
            if (!loaded) {
                std::fprintf(stderr, "%s cannot be loaded\n", path);
                return 1;
            }
        }
    }
    const Spread a = SpreadOf(with), b = SpreadOf(without);
    std::printf("without checks  min %.4f q1 %.4f median %.4f s\n", b.min, b.q1, b.median);
    std::printf("with checks     min %.4f q1 %.4f median %.4f s\n", a.min, a.q1, a.median);
    std::printf("checks add      min %+.1f%% q1 %+.1f%% median %+.1f%%\n",
                100 * (a.min / b.min - 1), 100 * (a.q1 / b.q1 - 1),
                100 * (a.median / b.median - 1));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const bool compare = argc == 4 && std::string_view(argv[2]) == "checks";
    if (argc != 3 && !compare) {
        std::fprintf(stderr, "usage: outline_bench FILE read|top|all\n"
                             "       outline_bench FILE checks ROUNDS\n");
        return 2;
    }
    const std::string_view stage = argv[2];
    ini::Keywords keywords;
    keywords.InitKeywords();
    if (compare)
        return CompareChecks(argv[1], keywords, std::max(1, std::atoi(argv[3])));

    // What is made lives to the end, so that freeing it is not timed.
    const Clock::time_point start = Clock::now();
    std::optional<ini::LineStore> read;
    std::optional<ini::test::LoadedOutline> loaded;
    if (stage == "read") {
        if (ini::Result<ini::LineStore> lines = ini::LineStore::ReadFile(argv[1]); lines.ok())
            read = std::move(lines).value();
    } else {
        loaded = ini::test::LoadOutline(argv[1], keywords, {.clickEveryRoot = stage == "all"});
    }
    const double seconds = SecondsSince(start);
    if (loaded && loaded->load.error) {
        std::fprintf(stderr, "%s\n", loaded->load.error->message.c_str());
        return 1;
    }
    const std::size_t lines = loaded ? loaded->lines.Count() : read ? read->Count() : 0;
    const std::size_t nodes = loaded ? loaded->outline.Nodes().Size() : 0;

    std::printf("%s %.3f s, peak %.1f MiB, %zu lines, %zu nodes\n", argv[2], seconds,
                bench::PeakMiB(), lines, nodes);
    return 0;
}
