#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace orlet {

// One worker that runs tasks in order, alive only between start() and stop(): while stopped
// no thread exists to wake. Tasks never run on two threads at once, across restarts too.
class SamplingThread {
public:
    SamplingThread() = default;
    ~SamplingThread();
    SamplingThread(const SamplingThread&) = delete;
    SamplingThread& operator=(const SamplingThread&) = delete;

    void start();
    // Drops the tasks not yet begun; the one running finishes on its own, without blocking
    // the caller.
    void stop();
    // Ignored while stopped.
    void post(std::function<void()> task);

    bool isAlive() const;

private:
    void run();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopRequested_ = false;
    bool alive_ = false;
    std::thread thread_;
};

} // namespace orlet
