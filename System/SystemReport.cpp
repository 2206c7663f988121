#include "System/SystemReport.h"

#include "Settings/AppSettings.h"
#include "System/PowerProfiles.h"
#include "System/SamplerHub.h"
#include "System/SystemMonitor.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <thread>

namespace orlet {
namespace {

template <typename Value, typename Convert>
nlohmann::json orNull(const std::optional<Value>& value, Convert convert) {
    return value ? convert(*value) : nlohmann::json(nullptr);
}

const char* pressureName(MemoryStats::Pressure pressure) {
    switch (pressure) {
    case MemoryStats::Pressure::normal:
        return "normal";
    case MemoryStats::Pressure::warning:
        return "warning";
    case MemoryStats::Pressure::critical:
        return "critical";
    }
    return "normal";
}

} // namespace

SystemSnapshot SystemReport::sampleTwice(SamplerHub& hub, Clock::Duration interval) {
    hub.prime(std::chrono::steady_clock::now());
    std::this_thread::sleep_for(interval);
    return hub.sample([] { return std::chrono::steady_clock::now(); });
}

std::string SystemReport::json(const SystemSnapshot& snapshot) {
    nlohmann::json report;
    report["cpu"] = orNull(snapshot.cpu, [](const CPULoad& cpu) {
        return nlohmann::json{{"total", cpu.total}, {"perCore", cpu.perCore}};
    });
    report["gpu"] = orNull(snapshot.gpu, [](double gpu) { return nlohmann::json(gpu); });
    report["memory"] = orNull(snapshot.memory, [](const MemoryStats& memory) {
        return nlohmann::json{{"total", memory.total},
                              {"used", memory.used},
                              {"app", memory.app},
                              {"wired", memory.wired},
                              {"compressed", memory.compressed},
                              {"cached", memory.cached},
                              {"swapUsed", memory.swapUsed},
                              {"pressure", pressureName(memory.pressure)}};
    });
    report["storage"] = orNull(snapshot.storage, [](const StorageStats& storage) {
        return nlohmann::json{{"total", storage.total}, {"available", storage.available}};
    });
    report["network"] = orNull(snapshot.network, [](const NetworkRates& network) {
        return nlohmann::json{{"download", network.download}, {"upload", network.upload}};
    });
    report["battery"] = orNull(snapshot.battery, [](const BatteryStatus& battery) {
        return nlohmann::json{
            {"level", battery.level},
            {"isCharging", battery.isCharging},
            {"isPluggedIn", battery.isPluggedIn},
            {"minutesRemaining", orNull(battery.minutesRemaining,
                                        [](int minutes) { return nlohmann::json(minutes); })}};
    });
    return report.dump(2) + "\n";
}

int SystemReport::run() {
    SamplerHub hub;
    PowerProfiles profiles;
    const Clock::Duration interval = SystemMonitor::viewingInterval(
        AppSettings::shared().sampleInterval(), profiles.isLowPowerModeEnabled());
    const std::string text = json(sampleTwice(hub, interval));
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
                   std::fflush(stdout) == 0
               ? 0
               : 1;
}

} // namespace orlet
