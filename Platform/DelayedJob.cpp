#include "Platform/DelayedJob.h"

namespace orlet {

void DelayedJob::State::fire() {
    if (!action_) {
        return;
    }
    // Cleared first: the work may replace the very job that holds this state.
    const std::function<void()> action = std::move(action_);
    action_ = nullptr;
    action();
}

DelayedJob& DelayedJob::operator=(DelayedJob&& other) noexcept {
    if (this != &other) {
        cancel();
        state_ = std::move(other.state_);
    }
    return *this;
}

void DelayedJob::cancel() {
    if (state_) {
        state_->cancel();
        state_.reset();
    }
}

} // namespace orlet
