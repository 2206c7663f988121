#pragma once

#include "HUD/TransientActivity.h"
#include "System/BatteryStatus.h"

#include <functional>
#include <optional>

namespace orlet {

class PowerNotifications;

// Announces that charging started and that the battery, on its own power, fell to 20 % or
// 10 %. Machines without a battery are not watched at all.
class PowerMonitor {
public:
    using Sampler = std::function<std::optional<BatteryStatus>()>;

    PowerMonitor(Sampler sampler, PowerNotifications& notifications);
    PowerMonitor(const PowerMonitor&) = delete;
    PowerMonitor& operator=(const PowerMonitor&) = delete;

    void start();
    // After each power-source notification.
    void update();

    // What the step from `from` to `to` announces, if anything.
    static std::optional<TransientActivity> event(const std::optional<BatteryStatus>& from,
                                                  const std::optional<BatteryStatus>& to);

    const std::optional<BatteryStatus>& last() const { return last_; }

    std::function<void(const TransientActivity&)> onEvent;

private:
    Sampler sampler_;
    PowerNotifications& notifications_;
    std::optional<BatteryStatus> last_;
};

} // namespace orlet
