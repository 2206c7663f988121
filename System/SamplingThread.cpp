#include "System/SamplingThread.h"

namespace orlet {

SamplingThread::~SamplingThread() {
    stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void SamplingThread::start() {
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = false;
        // Still finishing its last task: it simply goes on.
        if (alive_) {
            return;
        }
        alive_ = true;
    }
    // The old thread has left its loop; joining returns at once.
    if (thread_.joinable()) {
        thread_.join();
    }
    thread_ = std::thread([this] { run(); });
}

void SamplingThread::stop() {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
    tasks_.clear();
    wake_.notify_all();
}

void SamplingThread::post(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    if (!alive_ || stopRequested_) {
        return;
    }
    tasks_.push_back(std::move(task));
    wake_.notify_all();
}

bool SamplingThread::isAlive() const {
    std::lock_guard lock(mutex_);
    return alive_;
}

void SamplingThread::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopRequested_ || !tasks_.empty(); });
        if (stopRequested_) {
            alive_ = false;
            return;
        }
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
        lock.lock();
    }
}

} // namespace orlet
