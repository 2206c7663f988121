#pragma once

#include <functional>
#include <memory>

namespace orlet {

// A cancellable piece of work waiting for its time. The handle owns the wait: cancelling or
// destroying it means the work never runs, so a job kept in a field of its owner dies with the
// owner.
class DelayedJob {
public:
    // What a clock keeps per job; `fire` runs the work at most once.
    class State {
    public:
        explicit State(std::function<void()> action) : action_(std::move(action)) {}
        virtual ~State() = default;

        bool isPending() const { return static_cast<bool>(action_); }
        void fire();
        virtual void cancel() { action_ = nullptr; }

    private:
        std::function<void()> action_;
    };

    DelayedJob() = default;
    explicit DelayedJob(std::shared_ptr<State> state) : state_(std::move(state)) {}
    DelayedJob(DelayedJob&&) noexcept = default;
    DelayedJob& operator=(DelayedJob&& other) noexcept;
    DelayedJob(const DelayedJob&) = delete;
    DelayedJob& operator=(const DelayedJob&) = delete;
    ~DelayedJob() { cancel(); }

    void cancel();
    bool isPending() const { return state_ && state_->isPending(); }
    // Lets the work run even after the handle is gone; the work must guard its own target.
    void detach() { state_.reset(); }

private:
    std::shared_ptr<State> state_;
};

} // namespace orlet
