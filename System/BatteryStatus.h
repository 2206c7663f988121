#pragma once

#include <optional>

namespace orlet {

// The internal battery.
struct BatteryStatus {
    double level = 0; ///< 0…1
    bool isCharging = false;
    bool isPluggedIn = false;
    // To full while charging, to empty while on battery; none while the system still estimates.
    std::optional<int> minutesRemaining{};

    bool operator==(const BatteryStatus&) const = default;
};

} // namespace orlet
