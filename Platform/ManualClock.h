#pragma once

#include "Platform/Clock.h"

#include <cstdint>
#include <vector>

namespace orlet {

// A clock that moves only when told to: jobs run, in order of their due time, while advance()
// passes it.
class ManualClock : public Clock {
public:
    ManualClock();

    TimePoint now() const override { return now_; }
    DelayedJob schedule(Duration delay, std::function<void()> action) override;

    void advance(Duration duration);
    // Jobs that are still waiting.
    std::size_t pendingCount() const;

private:
    struct Entry {
        TimePoint due;
        std::uint64_t order;
        std::shared_ptr<DelayedJob::State> state; // kept until it runs, so detached jobs run
    };

    TimePoint now_;
    std::uint64_t nextOrder_ = 0;
    std::vector<Entry> entries_;
};

} // namespace orlet
