// Split-and-classify over a million realistic lines: the line walk with no node step.

#include "parse/line_ends.h"
#include "parse/line_walk.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Lines {
    std::vector<std::string_view> lines;
    std::size_t Count() const { return lines.size(); }
    std::string_view Line(ini::LineIndex i) const { return lines[i]; }
};

// The generated sample file repeated until it holds a million lines.
const std::string& MillionLineText() {
    static const std::string text = [] {
        std::ifstream file(INI_SAMPLE_FILE, std::ios::binary);
        std::stringstream contents;
        contents << file.rdbuf();
        const std::string sample = contents.str();
        if (sample.empty())
            throw std::runtime_error("cannot read " INI_SAMPLE_FILE);
        std::string all;
        std::size_t lines = 0;
        while (lines < 1'000'000) {
            all += sample;
            lines = 0;
            ini::LineEndScanner scanner(all);
            while (scanner.Next())
                ++lines;
        }
        return all;
    }();
    return text;
}

Lines CutLines(const std::string& text, std::size_t limit) {
    Lines lines;
    ini::LineEndScanner scanner(text);
    while (lines.lines.size() < limit) {
        const auto line = scanner.Next();
        if (!line)
            break;
        lines.lines.push_back(*line);
    }
    return lines;
}

void BM_SplitAndClassify(benchmark::State& state) {
    const Lines lines = CutLines(MillionLineText(), 1'000'000);
    ini::Keywords keywords;
    keywords.InitKeywords();
    for (auto _ : state) {
        std::size_t openers = 0;
        ini::WalkLines(
            lines, 0, lines.Count() - 1, keywords, [] { return false; },
            [&](const ini::WalkedLine& line) {
                openers += line.lineClass == ini::LineClass::Opener;
            },
            [] { return true; });
        benchmark::DoNotOptimize(openers);
    }
    state.counters["lines"] = static_cast<double>(lines.Count());
    state.counters["ns_per_line"] = benchmark::Counter(
        static_cast<double>(lines.Count()),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SplitAndClassify)->Unit(benchmark::kMillisecond);

void BM_CutLines(benchmark::State& state) {
    const std::string& text = MillionLineText();
    for (auto _ : state) {
        ini::LineEndScanner scanner(text);
        std::size_t count = 0;
        while (scanner.Next())
            ++count;
        benchmark::DoNotOptimize(count);
        state.counters["ns_per_line"] = benchmark::Counter(
            static_cast<double>(count),
            benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    }
}
BENCHMARK(BM_CutLines)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
