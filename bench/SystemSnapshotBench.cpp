#include "System/LinuxSystemSource.h"
#include "System/SamplerHub.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <benchmark/benchmark.h>
#include <thread>

// CPU time of one full sampling pass of the monitor on this machine: every sampler, as the
// monitor's worker runs them once a second, with the application's thread beside it handling
// the bus.

namespace {

std::chrono::steady_clock::time_point now() {
    return std::chrono::steady_clock::now();
}

void fullSnapshot(benchmark::State& state, std::shared_ptr<const orlet::SystemSource> source) {
    orlet::SamplerHub hub(std::move(source));
    hub.prime(now());
    for (auto _ : state) {
        benchmark::DoNotOptimize(hub.sample(now));
    }
}

// As the application runs it: UPower on the system bus when there is one.
void BM_FullSnapshot(benchmark::State& state) {
    fullSnapshot(state, orlet::LinuxSystemSource::shared());
}
BENCHMARK(BM_FullSnapshot)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMicrosecond);

// The kernel's files alone, the battery from /sys.
void BM_FullSnapshotKernelOnly(benchmark::State& state) {
    fullSnapshot(state, std::make_shared<orlet::LinuxSystemSource>(
                            orlet::LinuxSystemSource::Paths{.useUPower = false}));
}
BENCHMARK(BM_FullSnapshotKernelOnly)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    // QtDBus wants an application object.
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    std::thread worker([&application] {
        benchmark::RunSpecifiedBenchmarks();
        QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    worker.join();
    benchmark::Shutdown();
    return 0;
}
