#pragma once

#include "System/BatteryStatus.h"
#include "System/CPULoad.h"
#include "System/MemoryStats.h"
#include "System/NetworkRates.h"
#include "System/StorageStats.h"

#include <optional>

namespace orlet {

// One sampling pass. An absent field is not known yet or not available on this machine.
struct SystemSnapshot {
    std::optional<CPULoad> cpu{};
    std::optional<double> gpu{}; ///< 0…1
    std::optional<MemoryStats> memory{};
    std::optional<StorageStats> storage{};
    std::optional<NetworkRates> network{};
    std::optional<BatteryStatus> battery{};

    bool operator==(const SystemSnapshot&) const = default;
};

} // namespace orlet
