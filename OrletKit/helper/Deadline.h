#pragma once

#include <chrono>

namespace orlet {

// A point in time after which the helper gives up waiting, so it never hangs the tool that
// runs it.
class Deadline {
public:
    using Clock = std::chrono::steady_clock;

    explicit Deadline(std::chrono::milliseconds budget) : end_(Clock::now() + budget) {}

    bool passed() const { return Clock::now() >= end_; }
    // Milliseconds left for poll(2), never negative.
    int remainingMilliseconds() const;

private:
    Clock::time_point end_;
};

} // namespace orlet
