// Keep-awake on and the clipboard history watching, left alone: the CPU time this costs.
// usage: AwakeClipboardIdle SECONDS (on an X display, with the system and session buses set)
// Prints one line with the share of one core used over SECONDS after a settling second.
#include "Awake/KeepAwake.h"
#include "Platform/DefaultsStore.h"
#include "Shelf/ClipboardHistory.h"
#include "Shelf/QtPasteboard.h"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;

    QTemporaryDir config;
    orlet::DefaultsStore defaults(config.filePath("defaults.json"));
    defaults.set(orlet::ClipboardHistory::enabledKey, true);
    orlet::ClipboardHistory history(
        orlet::Clock::shared(), defaults,
        std::make_shared<orlet::QtPasteboard>(*application.clipboard()));
    history.start();
    orlet::KeepAwake::shared().start(orlet::KeepAwake::Mode::indefinite());

    double cpuBefore = 0;
    std::chrono::steady_clock::time_point wallBefore;
    QTimer::singleShot(std::chrono::seconds(1), [&] {
        cpuBefore = cpuSeconds();
        wallBefore = std::chrono::steady_clock::now();
        std::fprintf(stderr, "measuring\n");
    });
    QTimer::singleShot(std::chrono::seconds(1 + seconds), [&] {
        const double cpu = cpuSeconds() - cpuBefore;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
        std::printf("keep-awake on, clipboard watched: CPU %.4f %% of one core over %.0f s "
                    "(%.1f ms), %zu assertions held, %zu clipboard entries\n",
                    100 * cpu / wall, wall, 1000 * cpu, orlet::KeepAwake::shared().assertionCount(),
                    history.entries().size());
        orlet::KeepAwake::shared().stop();
        application.quit();
    });
    return application.exec();
}
