// Split-and-classify over a million realistic lines: the line walk with no node step, and the
// cutting alone.

#include "parse/line_ends.h"
#include "parse/line_walk.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

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

// Split-and-classify as a load does it: lines cut with their first words in one pass, each
// walked at once.
void BM_SplitAndClassify(benchmark::State& state) {
    const std::string& text = MillionLineText();
    ini::Keywords keywords;
    keywords.InitKeywords();
    std::size_t count = 0;
    for (auto _ : state) {
        std::size_t openers = 0;
        count = 0;
        ini::LineWalker walker(
            keywords, [] { return false; },
            [&](const ini::WalkedLine& line) {
                openers += line.lineClass == ini::LineClass::Opener;
            },
            [] { return true; });
        ini::CutCompleteLinesFast(text, true, [&](const ini::CutLine& line) {
            return walker.Step(count++, line.text, line.firstWord);
        });
        benchmark::DoNotOptimize(openers);
    }
    state.counters["lines"] = static_cast<double>(count);
    state.counters["ns_per_line"] = benchmark::Counter(
        static_cast<double>(count),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SplitAndClassify)->Unit(benchmark::kMillisecond);

void BM_CutLines(benchmark::State& state) {
    const std::string& text = MillionLineText();
    for (auto _ : state) {
        std::size_t count = 0;
        ini::CutCompleteLinesFast(text, true, [&](const ini::CutLine&) {
            ++count;
            return true;
        });
        benchmark::DoNotOptimize(count);
        state.counters["ns_per_line"] = benchmark::Counter(
            static_cast<double>(count),
            benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    }
}
BENCHMARK(BM_CutLines)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
