// Split-and-classify over a million realistic lines: the line walk with no node step, the same
// walk with the structure checks a load runs, the cutting alone, and the reader's search for
// lines the checks must look at.

#include "outline/check/structure_checks.h"
#include "parse/line_ends.h"
#include "parse/line_walk.h"
#include "parse/other_blanks.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The sample file with each top-level line's second word made its own for copy `copy`: a
// mod's files define each block once, and the checks must not see a million duplicates.
std::string CopyOfSample(const std::string& sample, std::size_t copy) {
    std::string out;
    ini::LineEndScanner scanner(sample);
    while (const std::optional<std::string_view> line = scanner.Next()) {
        const std::size_t typeEnd = line->find(' ');
        const bool topLevel =
            !line->empty() && std::isalpha(static_cast<unsigned char>(line->front()));
        if (topLevel && typeEnd != std::string_view::npos) {
            const std::size_t nameEnd =
                std::min(line->find_first_of(" ;", typeEnd + 1), line->size());
            out.append(line->substr(0, nameEnd)).append("_").append(std::to_string(copy));
            out.append(line->substr(nameEnd));
        } else {
            out.append(*line);
        }
        out += "\r\n";
    }
    return out;
}

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
        for (std::size_t copy = 0; lines < 1'000'000; ++copy) {
            all += CopyOfSample(sample, copy);
            lines = 0;
            ini::LineEndScanner scanner(all);
            while (scanner.Next())
                ++lines;
        }
        return all;
    }();
    return text;
}

// The lines whose first word holds another blank, as a load's reader finds them beside the walk.
std::vector<const char*> OtherBlankLines(std::string_view text) {
    std::vector<const char*> lines;
    ini::OtherBlankWords(0).Scan(text,
                                 [&](std::size_t line) { lines.push_back(text.data() + line); });
    return lines;
}

// Split-and-classify as a load does it: lines cut with their first words in one pass, each
// walked at once; with `checked`, the structure checks see every line as a load's do, told by
// the reader which lines hold another blank.
void SplitAndClassify(benchmark::State& state, bool checked) {
    const std::string& text = MillionLineText();
    const std::vector<const char*> marked = OtherBlankLines(text);
    ini::Keywords keywords;
    keywords.InitKeywords();
    std::vector<std::string_view> lines; // as a load keeps them, for the checks' last look
    std::size_t count = 0;
    for (auto _ : state) {
        std::size_t openers = 0;
        count = 0;
        lines.clear();
        ini::StructureChecks checks(keywords, ini::StructureChecks::Openers::LookedUp);
        checks.ExpectBytes(text.size());
        checks.LinesWithOtherBlanks(marked);
        ini::LineWalker walker(
            keywords, [] { return false; },
            [&](const ini::WalkedLine& line) {
                openers += line.lineClass == ini::LineClass::Opener;
                if (checked)
                    checks.LineThatStays(line);
            },
            [] { return true; });
        ini::CutCompleteLinesFast(text, true, [&](const ini::CutLine& line) {
            lines.push_back(line.text);
            return walker.Step(count++, line);
        });
        if (checked) {
            checks.End(walker.Stacks());
            checks.Finish([&](ini::LineIndex line) { return lines[line]; });
        }
        benchmark::DoNotOptimize(openers);
    }
    state.counters["lines"] = static_cast<double>(count);
    state.counters["ns_per_line"] = benchmark::Counter(
        static_cast<double>(count),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
void BM_SplitAndClassify(benchmark::State& state) {
    SplitAndClassify(state, false);
}
BENCHMARK(BM_SplitAndClassify)->Unit(benchmark::kMillisecond);
void BM_SplitAndClassifyAndCheck(benchmark::State& state) {
    SplitAndClassify(state, true);
}
BENCHMARK(BM_SplitAndClassifyAndCheck)->Unit(benchmark::kMillisecond);

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

// What a load's reader does beside the walk for the checks.
void BM_FindOtherBlankLines(benchmark::State& state) {
    const std::string& text = MillionLineText();
    for (auto _ : state)
        benchmark::DoNotOptimize(OtherBlankLines(text).size());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_FindOtherBlankLines)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
