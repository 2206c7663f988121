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
    // Starts at 2026-01-01 00:00:00 UTC and moves with now().
    Date date() const override { return date_ + (now_ - start_); }
    void setDate(Date date) { date_ = date - (now_ - start_); }
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
    TimePoint start_;
    Date date_{std::chrono::seconds(1767225600)};
    std::uint64_t nextOrder_ = 0;
    std::vector<Entry> entries_;
};

} // namespace orlet
