#pragma once

#include "HUD/HeadphoneBattery.h"
#include "HUD/HeadphoneSource.h"
#include "Platform/Clock.h"

#include <map>
#include <memory>

namespace orlet {

class DefaultsStore;

// Shows the battery of headphones that just connected: reads 2, 6 and 14 seconds after the
// connection until one gives a level, then gives up. A second connection of the same device
// starts its reads afresh.
class AirPodsMonitor {
public:
    AirPodsMonitor(Clock& clock, DefaultsStore& defaults, HeadphoneSource& source);
    ~AirPodsMonitor();
    AirPodsMonitor(const AirPodsMonitor&) = delete;
    AirPodsMonitor& operator=(const AirPodsMonitor&) = delete;

    // Nothing when running already or "airpods.enabled" is off.
    void start();
    // Cancels the reads in progress.
    void stop();
    bool isRunning() const { return registered_; }

    void handleConnect(const HeadphoneSource::Device& device);
    // Nothing when no level is known.
    static std::optional<HeadphoneBattery> battery(const HeadphoneSource::Device& device,
                                                   const std::map<QString, QVariant>& properties);
    // A number whose whole part is 1...100.
    static std::optional<int> level(const QVariant& value);

    std::size_t pendingCount() const { return pending_.size(); }

    std::function<void(const HeadphoneBattery&)> onBattery;

private:
    struct Task {
        HeadphoneSource::Device device;
        int attempt = 0;
        DelayedJob wait;
        std::uint64_t id = 0;
    };

    void schedule(const QString& key);
    void readNow(const QString& key);

    Clock& clock_;
    DefaultsStore& defaults_;
    HeadphoneSource& source_;
    bool registered_ = false;
    std::map<QString, Task> pending_;
    std::uint64_t nextID_ = 0;
    std::shared_ptr<AirPodsMonitor*> self_ = std::make_shared<AirPodsMonitor*>(this);
};

} // namespace orlet
