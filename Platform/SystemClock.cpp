#include "Platform/SystemClock.h"

#include <QTimer>
#include <limits>

namespace orlet {
namespace {

class TimerState : public DelayedJob::State {
public:
    using State::State;

    void start(std::chrono::milliseconds delay, const std::shared_ptr<TimerState>& self) {
        timer_ = std::make_unique<QTimer>();
        timer_->setSingleShot(true);
        timer_->setTimerType(Qt::PreciseTimer);
        // The connection keeps the state alive, so a detached job still runs; cancelling
        // deletes the timer and with it this reference.
        QObject::connect(timer_.get(), &QTimer::timeout, [state = self] {
            // The timer may not be deleted from inside its own signal.
            if (QTimer* timer = state->timer_.release()) {
                timer->deleteLater();
            }
            state->fire();
        });
        timer_->start(delay);
    }

    void cancel() override {
        State::cancel();
        timer_.reset();
    }

private:
    std::unique_ptr<QTimer> timer_;
};

} // namespace

DelayedJob SystemClock::schedule(Duration delay, std::function<void()> action) {
    auto state = std::make_shared<TimerState>(std::move(action));
    // Round up: a job must never run before its time. Qt timers count in int milliseconds.
    const auto limit = std::chrono::milliseconds(std::numeric_limits<int>::max());
    state->start(
        std::min(std::chrono::ceil<std::chrono::milliseconds>(std::max(delay, Duration::zero())),
                 limit),
        state);
    return DelayedJob(state);
}

} // namespace orlet
