#include "Platform/ManualClock.h"

#include <algorithm>

namespace orlet {

// Far from zero, so "the distant past" is really before every instant a test sees.
ManualClock::ManualClock() : now_(TimePoint{} + std::chrono::hours(24 * 365)), start_(now_) {}

DelayedJob ManualClock::schedule(Duration delay, std::function<void()> action) {
    auto state = std::make_shared<DelayedJob::State>(std::move(action));
    entries_.push_back(Entry{now_ + std::max(delay, Duration::zero()), nextOrder_++, state});
    return DelayedJob(std::move(state));
}

void ManualClock::advance(Duration duration) {
    const TimePoint target = now_ + duration;
    for (;;) {
        std::erase_if(entries_, [](const Entry& entry) { return !entry.state->isPending(); });
        const auto next =
            std::min_element(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
                return a.due != b.due ? a.due < b.due : a.order < b.order;
            });
        if (next == entries_.end() || next->due > target) {
            break;
        }
        now_ = std::max(now_, next->due);
        const std::shared_ptr<DelayedJob::State> state = next->state;
        entries_.erase(next);
        state->fire();
    }
    now_ = target;
}

std::size_t ManualClock::pendingCount() const {
    return static_cast<std::size_t>(std::count_if(
        entries_.begin(), entries_.end(), [](const Entry& e) { return e.state->isPending(); }));
}

} // namespace orlet
