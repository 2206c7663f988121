#include "System/BatterySampler.h"

#include "System/LinuxSystemSource.h"

#include <algorithm>
#include <cmath>

namespace orlet {

BatterySampler::BatterySampler(std::shared_ptr<const SystemSource> source)
    : source_(source ? std::move(source) : LinuxSystemSource::shared()) {}

std::optional<BatteryStatus> BatterySampler::sample() const {
    const std::optional<std::vector<PowerSource>> sources = source_->readPowerSources();
    return sources ? status(*sources) : std::nullopt;
}

std::optional<BatteryStatus> BatterySampler::status(const std::vector<PowerSource>& sources) {
    for (const PowerSource& source : sources) {
        if (!source.isInternalBattery || !source.currentCapacity || !source.maxCapacity ||
            !(*source.maxCapacity > 0) || std::isnan(*source.currentCapacity)) {
            continue;
        }
        BatteryStatus status;
        status.level = std::clamp(*source.currentCapacity / *source.maxCapacity, 0.0, 1.0);
        status.isCharging = source.isCharging;
        status.isPluggedIn = source.isOnACPower;
        const std::optional<int> minutes =
            source.isCharging ? source.minutesToFull : source.minutesToEmpty;
        // Plugged in but held (a charge limit): neither filling nor emptying.
        if (minutes && *minutes >= 1 && !(source.isOnACPower && !source.isCharging)) {
            status.minutesRemaining = minutes;
        }
        return status;
    }
    return std::nullopt;
}

} // namespace orlet
