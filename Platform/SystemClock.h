#pragma once

#include "Platform/Clock.h"

namespace orlet {

// The monotonic clock, with delays on precise Qt timers of the calling (main) thread. A job
// that is cancelled stops its timer, so nothing wakes the process for work that will not run.
class SystemClock : public Clock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    Date date() const override { return std::chrono::system_clock::now(); }
    DelayedJob schedule(Duration delay, std::function<void()> action) override;
};

} // namespace orlet
