#pragma once

#include "System/SystemSource.h"

#include <atomic>
#include <functional>
#include <mutex>

namespace orlet::test {

// Counters set by the test; every read is counted. Safe to change between passes of a worker.
class FakeSystemSource : public SystemSource {
public:
    struct Values {
        std::optional<std::vector<CPUTicks>> ticks{};
        std::vector<double> acceleratorPercents{};
        std::optional<VMCounters> memory{};
        std::optional<int> pressureLevel{};
        std::optional<StorageStats> volume{};
        std::optional<std::map<std::string, InterfaceTotals>> interfaces{};
        std::optional<std::vector<PowerSource>> powerSources{};
    };

    void set(Values values) {
        std::lock_guard lock(mutex_);
        values_ = std::move(values);
    }
    template <typename Change> void change(Change change) {
        std::lock_guard lock(mutex_);
        change(values_);
    }

    std::optional<std::vector<CPUTicks>> readTicks() const override {
        ++tickReads;
        std::lock_guard lock(mutex_);
        return values_.ticks;
    }
    std::vector<double> readAcceleratorPercents() const override {
        std::lock_guard lock(mutex_);
        return values_.acceleratorPercents;
    }
    std::optional<VMCounters> readMemory() const override {
        std::lock_guard lock(mutex_);
        return values_.memory;
    }
    std::optional<int> readPressureLevel() const override {
        std::lock_guard lock(mutex_);
        return values_.pressureLevel;
    }
    std::optional<StorageStats> readVolume() const override {
        ++volumeReads;
        std::lock_guard lock(mutex_);
        return values_.volume;
    }
    std::optional<std::map<std::string, InterfaceTotals>> readInterfaces() const override {
        ++interfaceReads;
        std::lock_guard lock(mutex_);
        return values_.interfaces;
    }
    // The last read of a pass; `duringPowerRead` may hold the pass there.
    std::optional<std::vector<PowerSource>> readPowerSources() const override {
        ++powerReads;
        if (duringPowerRead) {
            duringPowerRead();
        }
        std::lock_guard lock(mutex_);
        ++powerReadsDone;
        return values_.powerSources;
    }

    mutable std::atomic<int> tickReads = 0;
    mutable std::atomic<int> volumeReads = 0;
    mutable std::atomic<int> interfaceReads = 0;
    mutable std::atomic<int> powerReads = 0;
    mutable std::atomic<int> powerReadsDone = 0;
    std::function<void()> duringPowerRead; ///< set before the worker starts

private:
    mutable std::mutex mutex_;
    Values values_;
};

} // namespace orlet::test
