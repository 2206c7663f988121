#pragma once

#include "System/BatteryStatus.h"
#include "System/SystemSource.h"

#include <memory>
#include <optional>
#include <vector>

namespace orlet {

// The internal battery; nothing on a machine without one.
class BatterySampler {
public:
    explicit BatterySampler(std::shared_ptr<const SystemSource> source = nullptr);

    std::optional<BatteryStatus> sample() const;

    // The first internal battery with a current and a positive maximum capacity.
    static std::optional<BatteryStatus> status(const std::vector<PowerSource>& sources);

private:
    std::shared_ptr<const SystemSource> source_;
};

} // namespace orlet
