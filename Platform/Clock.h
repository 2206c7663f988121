#pragma once

#include "Platform/DelayedJob.h"

#include <chrono>
#include <functional>

namespace orlet {

// The one source of "now" and of delays. Production runs on the monotonic clock and the Qt
// event loop; tests use ManualClock and advance time by hand.
class Clock {
public:
    using Duration = std::chrono::nanoseconds;
    using TimePoint = std::chrono::steady_clock::time_point;
    using Date = std::chrono::system_clock::time_point;

    virtual ~Clock() = default;

    virtual TimePoint now() const = 0;
    // Wall-clock time, for dates that leave the process (timestamps of other programs,
    // calendars, forecasts). Delays never use it: it jumps when the user sets the clock.
    virtual Date date() const = 0;

    // Runs `action` on the main thread once `delay` has passed, unless the returned job is
    // cancelled or destroyed first.
    [[nodiscard]] virtual DelayedJob schedule(Duration delay, std::function<void()> action) = 0;

    // The process's clock: the system clock unless a test installed another.
    static Clock& shared();
    static void setShared(Clock* clock);
};

} // namespace orlet
