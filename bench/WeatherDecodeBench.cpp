// Decoding a 16-day hourly forecast answer into the report, as each refresh does.
#include "Weather/ForecastResponse.h"

#include <QFile>
#include <benchmark/benchmark.h>
#include <stdexcept>

namespace {

QByteArray sixteenDays() {
    QFile file(QStringLiteral(ORLET_SOURCE_DIR "/tests/Weather/fixtures/forecast-16-days.json"));
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("missing forecast-16-days.json");
    }
    return file.readAll();
}

// 14:10 in Berlin on the first day of the answer.
const QDateTime now = QDateTime::fromSecsSinceEpoch(1772406000 + 14 * 3600 + 600);

void decodeOnly(benchmark::State& state) {
    const QByteArray body = sixteenDays();
    for (auto _ : state) {
        auto response = orlet::ForecastResponse::decode(body);
        benchmark::DoNotOptimize(response);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * body.size());
}
BENCHMARK(decodeOnly)->Unit(benchmark::kMicrosecond);

void decodeAndReport(benchmark::State& state) {
    const QByteArray body = sixteenDays();
    for (auto _ : state) {
        const auto response = orlet::ForecastResponse::decode(body);
        auto report = response->report(false, now);
        benchmark::DoNotOptimize(report);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * body.size());
}
BENCHMARK(decodeAndReport)->Unit(benchmark::kMicrosecond);

} // namespace
