#pragma once

#include "HUD/TransientActivity.h"
#include "Platform/Clock.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace orlet {

class AlertSampler;

// Counts consecutive samples at or above a load; one sustained episode counts up once.
struct SustainedLoadRule {
    double threshold = 0.85;
    int required = 3;
    int streak = 0;

    // True on the sample that makes the streak reach `required`.
    bool add(double load);
};

// Watches for sustained high processor load and for little free disk space, sampling every
// 10 seconds (storage every 10 minutes), with a 15-minute quiet time per alert.
class AlertMonitor {
public:
    static constexpr std::chrono::seconds interval{10};
    static constexpr int storageEvery = 60;
    static constexpr std::chrono::seconds coolDown{900};
    static constexpr std::uint64_t lowDiskBytes = 10'000'000'000;

    // `storage` formats a byte count for the disk alert.
    AlertMonitor(Clock& clock, AlertSampler& sampler,
                 std::function<QString(std::uint64_t)> storage);
    AlertMonitor(const AlertMonitor&) = delete;
    AlertMonitor& operator=(const AlertMonitor&) = delete;

    // Nothing when the loop runs already.
    void start();
    // Ends the loop; the streak and the quiet times stay.
    void cancel();
    bool isRunning() const { return running_; }

    // Shows `activity` unless the alert `key` fired less than the quiet time ago.
    void fire(const QString& key, const TransientActivity& activity);

    const SustainedLoadRule& cpuRule() const { return cpuRule_; }

    std::function<void(const TransientActivity&)> onEvent;

private:
    void wait();
    void sample();
    void apply(bool withStorage, std::optional<double> load,
               std::optional<std::uint64_t> available);

    Clock& clock_;
    AlertSampler& sampler_;
    std::function<QString(std::uint64_t)> storage_;
    SustainedLoadRule cpuRule_;
    std::map<QString, Clock::TimePoint> lastFired_;
    bool running_ = false;
    bool reading_ = false;
    int round_ = 0;
    DelayedJob loop_;
    // Answers of the sampler find out whether the monitor still exists.
    std::shared_ptr<AlertMonitor*> self_ = std::make_shared<AlertMonitor*>(this);
};

} // namespace orlet
