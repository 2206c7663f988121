#pragma once

#include <functional>

namespace orlet {

// The machine's own position, one fix at a time, and whether the user lets the program have it.
class LocationSource {
public:
    enum class Authorization { notDetermined, restricted, denied, authorized };

    virtual ~LocationSource() = default;

    virtual Authorization authorization() const = 0;
    // Asks the user (through the desktop's location agent) when that is possible.
    virtual void requestAuthorization() = 0;
    // One fix; answers through onLocation or onFailure.
    virtual void requestLocation() = 0;

    // Set by the owner before the first request; called on the main thread.
    std::function<void(double latitude, double longitude)> onLocation;
    std::function<void()> onFailure;
    std::function<void()> onAuthorizationChange;
};

} // namespace orlet
