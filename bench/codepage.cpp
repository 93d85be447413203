// Big5 conversion of text made mostly of what the code page cannot hold: in
// both directions every such character is one substitution, and the cost must
// grow linearly with the text (each doubling of the count at most doubles the
// time). The counts run up to 640,000 substitutions.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/CodePage.h"

namespace {

using pennaform::CodePage;

// U+00E9 has no Big5 form; every third character is one Big5 does hold.
std::u16string unmappableWide(std::size_t count) {
    std::u16string text;
    text.reserve(count + count / 2);
    for (std::size_t i = 0; i < count; ++i) {
        text.push_back(u'\u00E9');
        if (i % 2 == 1) text.push_back(u'成');
    }
    return text;
}

// 0xFF is never a Big5 byte; a valid pair follows every second one.
std::string invalidBig5(std::size_t count) {
    std::string text;
    text.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        text.push_back('\xFF');
        if (i % 2 == 1) text.append("\xA6\xA8");
    }
    return text;
}

void toAnsiUnmappable(benchmark::State& state) {
    const CodePage big5(CodePage::kBig5);
    const std::u16string text = unmappableWide(std::size_t(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(big5.toAnsi(text));
    state.SetItemsProcessed(std::int64_t(state.iterations()) * state.range(0));
}

void toWideInvalid(benchmark::State& state) {
    const CodePage big5(CodePage::kBig5);
    const std::string text = invalidBig5(std::size_t(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(big5.toWide(text));
    state.SetItemsProcessed(std::int64_t(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(toAnsiUnmappable)
    ->RangeMultiplier(2)
    ->Range(80000, 640000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(toWideInvalid)->RangeMultiplier(2)->Range(80000, 640000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
