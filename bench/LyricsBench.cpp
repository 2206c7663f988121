#include "Media/LRC.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <string>

namespace {

using orlet::LRC;

// A long song as LRCLIB sends it: a stamp per line, stamped empty lines between verses and
// metadata tags at the top.
std::string twoHundredLines() {
    std::string text = "[ar:Some Artist]\n[ti:Some Song]\n[al:Some Album]\n[length:05:12]\n";
    for (int i = 0; i < 200; ++i) {
        const double seconds = 12.0 + i * 1.47;
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "[%02d:%05.2f]", static_cast<int>(seconds) / 60,
                      seconds - 60 * (static_cast<int>(seconds) / 60));
        text += stamp;
        if (i % 25 == 24) {
            text += "\n";
            continue;
        }
        text += " And the words go on and on, line number " + std::to_string(i) + "\n";
    }
    return text;
}

void BM_ParseLRC(benchmark::State& state) {
    const std::string text = twoHundredLines();
    for (auto _ : state) {
        benchmark::DoNotOptimize(LRC::parse(text));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["lines"] = static_cast<double>(LRC::parse(text).size());
}
BENCHMARK(BM_ParseLRC);

// What every line timer does to find its line.
void BM_IndexLRC(benchmark::State& state) {
    const std::vector<orlet::LyricLine> lines = LRC::parse(twoHundredLines());
    double position = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(LRC::index(position, lines));
        position = position > 320 ? 0 : position + 0.7;
    }
}
BENCHMARK(BM_IndexLRC);

} // namespace
