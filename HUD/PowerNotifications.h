#pragma once

#include <functional>

namespace orlet {

// Tells when anything about the power sources changed (adapter, charge, estimates).
class PowerNotifications {
public:
    virtual ~PowerNotifications() = default;

    // `changed` runs on the main thread, possibly several times for one change.
    virtual void start(std::function<void()> changed) = 0;
};

} // namespace orlet
