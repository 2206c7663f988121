#include "Platform/SystemClock.h"
#include "System/SamplerHub.h"
#include "System/SystemMonitor.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

// The running monitor's cost: CPU time over a sampling run at 1 Hz, then context switches (each
// one a wake-up of some thread of the process) while nothing wants samples.
//   SystemMonitorLoad [sampling seconds = 60] [idle seconds = 20]

namespace {

struct Usage {
    double cpuSeconds;
    long switches;
};

Usage usage() {
    rusage self{};
    ::getrusage(RUSAGE_SELF, &self);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return {seconds(self.ru_utime) + seconds(self.ru_stime), self.ru_nvcsw + self.ru_nivcsw};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int samplingSeconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 20;
    orlet::SystemClock clock;
    orlet::SystemMonitor monitor(
        clock, std::make_unique<orlet::SamplerHub>(), [] { return 1.0; }, [] { return false; });
    int snapshots = 0;
    QObject::connect(&monitor, &orlet::SystemMonitor::cpuHistoryChanged, [&] { ++snapshots; });

    Usage start{};
    Usage sampled{};
    Usage idle{};
    // Settle first: loading the libraries and the first connection to the system bus are no
    // part of the steady cost.
    monitor.acquire();
    QTimer::singleShot(2000, [&] { start = usage(); });
    QTimer::singleShot(2000 + samplingSeconds * 1000, [&] {
        sampled = usage();
        monitor.release();
        // The worker leaves after its last task; the idle window starts once it has.
        QTimer::singleShot(500, [&] {
            idle = usage();
            QTimer::singleShot(idleSeconds * 1000, [&] {
                const Usage end = usage();
                const double cpu = sampled.cpuSeconds - start.cpuSeconds;
                std::printf("monitor at 1 Hz: %d passes, %.1f ms CPU in %d s = %.4f %% of a core "
                            "(%.0f us per second)\n",
                            snapshots, cpu * 1000, samplingSeconds, cpu / samplingSeconds * 100,
                            cpu / samplingSeconds * 1e6);
                std::printf("monitor idle: %ld context switches in %d s, %.1f ms CPU\n",
                            end.switches - idle.switches, idleSeconds,
                            (end.cpuSeconds - idle.cpuSeconds) * 1000);
                QCoreApplication::quit();
            });
        });
    });
    return QCoreApplication::exec();
}
