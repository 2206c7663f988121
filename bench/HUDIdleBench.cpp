// CPU used by the HUD and its monitors while nothing happens, and the delay from an outside
// volume change (pactl) to the level pop-up. Runs its own PulseAudio daemon with a null sink.
#include "HUD/AirPodsMonitor.h"
#include "HUD/AudioState.h"
#include "HUD/BacklightBrightness.h"
#include "HUD/BluetoothHeadphones.h"
#include "HUD/HUDController.h"
#include "HUD/PulseSystemVolume.h"
#include "HUD/SystemAlertSampler.h"
#include "HUD/UPowerNotifications.h"
#include "HUD/X11MediaKeyTap.h"
#include "Platform/DefaultsStore.h"
#include "Platform/Preferences.h"
#include "Platform/SystemClock.h"
#include "PulseServer.h"
#include "System/BatterySampler.h"
#include "System/StatFormat.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace orlet;

static double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    test::PulseServer server;
    if (!server.ready()) {
        std::fprintf(stderr, "pulseaudio did not start\n");
        return 1;
    }
    test::TemporaryDirectory directory;
    DefaultsStore defaults(QString::fromStdString((directory.path() / "defaults.json").string()));
    Preferences::registerDefaults(defaults);
    defaults.set("airpods.enabled", true);
    SystemClock clock;
    PulseSystemVolume volume(clock, server.address());
    AudioState audio(volume);
    BacklightBrightness brightness;
    X11MediaKeyTap tap(nullptr, {});
    UPowerNotifications notifications;
    SystemAlertSampler sampler(clock);
    BluetoothHeadphones headphones;
    BatterySampler battery;
    int shown = 0;
    HUDController hud(HUDController::Environment{
        clock, defaults, [&shown](const TransientActivity&) { ++shown; }, tap, volume, audio,
        brightness,
        std::make_unique<PowerMonitor>([&battery] { return battery.sample(); }, notifications),
        std::make_unique<AlertMonitor>(clock, sampler, &StatFormat::storage),
        std::make_unique<AirPodsMonitor>(clock, defaults, headphones)});
    hud.start();

    // Connected and settled before measuring.
    QElapsedTimer wait;
    wait.start();
    while (!volume.get() && wait.elapsed() < 5000) {
        app.processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    const double before = cpuSeconds();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double used = cpuSeconds() - before;
    std::printf("HUD idle: %.4f s CPU over %d s = %.4f %% of one core\n", used, seconds,
                100.0 * used / seconds);

    std::vector<double> delays;
    for (int i = 0; i < 30; ++i) {
        const int before = shown;
        const std::string percent = std::to_string(20 + (i % 2) * 40) + "%";
        QElapsedTimer timer;
        timer.start();
        QProcess pactl;
        QProcessEnvironment environment;
        for (const auto& [key, value] : server.environment()) {
            environment.insert(QString::fromStdString(key), QString::fromStdString(value));
        }
        pactl.setProcessEnvironment(environment);
        pactl.start("pactl", {"set-sink-volume", "orlet_test", QString::fromStdString(percent)});
        while (shown == before && timer.elapsed() < 5000) {
            app.processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        delays.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        pactl.waitForFinished();
    }
    std::sort(delays.begin(), delays.end());
    std::printf("pactl set-sink-volume to level pop-up (pactl start included): median %.2f ms, "
                "min %.2f ms, max %.2f ms over %zu changes\n",
                delays[delays.size() / 2], delays.front(), delays.back(), delays.size());
    return 0;
}
