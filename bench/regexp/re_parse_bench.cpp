// Time to scan, preprocess and parse expressions: typical conditions and the worst cases the
// parser's budgets still accept.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "regexp/re_parser.hpp"
#include "regexp/re_preprocessor.hpp"

namespace brindle {
namespace {

void Parse(benchmark::State& state, const std::string& expression) {
    // Worst cases may be refused by a budget; what counts is how soon the answer comes.
    bool refused = false;
    for (auto _ : state) {
        TREParser parser(expression);
        try {
            parser.Run();
        } catch (const ERegExpParser&) {
            refused = true;
        }
        benchmark::DoNotOptimize(parser.Root());
    }
    state.SetLabel(refused ? "refused" : "accepted");
}

// 件名 (Shift_JIS) and a few operators: a condition as a user types it.
const std::string kTypical = "^(\x8C\x8F\x96\xBC|Subject): .*(\x8C\xA9\x90\xCF|invoice)[0-9]+$";

void BM_ParseTypical(benchmark::State& state) {
    Parse(state, kTypical);
}
BENCHMARK(BM_ParseTypical);

void BM_PreprocessFuzzyTypical(benchmark::State& state) {
    for (auto _ : state) {
        TREPreProcessor pre(kTypical);
        pre.ListOfFuzzyCharDic().push_back(&RE_FuzzyCharDic());
        pre.SetUseFuzzyCharDic(true);
        pre.Run();
        benchmark::DoNotOptimize(pre.GetProcessedRegExpStr());
    }
}
BENCHMARK(BM_PreprocessFuzzyTypical);

// As many overlapping ranges as the leaf budget allows: every pair overlaps.
std::string OverlappingRanges(std::size_t count) {
    std::string out = "[";
    for (std::size_t i = 0; i < count; ++i) {
        const auto start = static_cast<WChar_t>(0x8840 + i * 3);
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "\\x%04X-\\x%04X", start, start + 0x2000);
        out += buffer;
    }
    return out + "]";
}

void BM_ParseOverlappingRanges(benchmark::State& state) {
    Parse(state, OverlappingRanges(static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(BM_ParseOverlappingRanges)
    ->Arg(10)
    ->Arg(100)
    ->Arg(kMaxLeaves - 1)
    ->Unit(benchmark::kMillisecond);

std::string NegatedMembers() {
    std::string out = "[^";
    for (std::size_t i = 0; i + 1 < kMaxLeaves; ++i) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "\\x%04X", static_cast<unsigned>(0x8840 + i * 2));
        out += buffer;
    }
    return out + "]";
}

void BM_ParseNegatedClass(benchmark::State& state) {
    Parse(state, NegatedMembers());
}
BENCHMARK(BM_ParseNegatedClass)->Unit(benchmark::kMillisecond);

void BM_ParseLongLiteral(benchmark::State& state) {
    Parse(state, std::string(kMaxTreeHeight, 'a'));
}
BENCHMARK(BM_ParseLongLiteral)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace brindle

BENCHMARK_MAIN();
