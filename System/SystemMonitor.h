#pragma once

#include "Platform/Clock.h"
#include "System/RingBuffer.h"
#include "System/SamplingThread.h"
#include "System/SystemSnapshot.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace orlet {

class SamplerHub;

// Samples the machine while somebody looks: an open notch (any tab) or the closed notch's CPU
// wing. The samplers run on a worker of their own that exists only while sampling; the
// results and all state here belong to the main thread.
class SystemMonitor : public QObject {
    Q_OBJECT

public:
    static constexpr std::size_t historyCapacity = 60;
    static constexpr std::chrono::milliseconds primingGap{250};
    static constexpr std::chrono::seconds pinnedInterval{5};

    // `sampleInterval` (seconds) is asked on the main thread once per pass; `lowPowerMode` on
    // the sampling worker, once per pass, since asking the system may block.
    SystemMonitor(Clock& clock, std::unique_ptr<SamplerHub> hub,
                  std::function<double()> sampleInterval, std::function<bool()> lowPowerMode,
                  QObject* parent = nullptr);
    ~SystemMonitor() override;

    // The machine's monitor: the shared clock, the user's interval, the desktop's power
    // profile.
    static SystemMonitor& shared();

    // A viewer appears or goes; more releases than acquires are ignored.
    void acquire();
    void release();
    // The closed notch shows the CPU wing.
    void setPinnedDemand(bool pinned);
    // Screens asleep or the session switched away: nothing is sampled until it ends.
    void setSuspended(bool suspended);

    const SystemSnapshot& snapshot() const { return snapshot_; }
    const RingBuffer<double>& cpuHistory() const { return cpuHistory_; }
    const RingBuffer<double>& gpuHistory() const { return gpuHistory_; }
    bool isRunning() const { return isRunning_; }
    int demand() const { return demand_; }
    bool pinnedDemand() const { return pinnedDemand_; }
    bool isSuspended() const { return isSuspended_; }

    // The wait after the current pass.
    Clock::Duration interval() const;
    // The wait between passes while somebody views the numbers.
    static Clock::Duration viewingInterval(double sampleInterval, bool lowPowerMode);

signals:
    void snapshotChanged();
    void cpuHistoryChanged();
    void gpuHistoryChanged();
    void isRunningChanged();

private:
    struct Pass {
        SystemSnapshot snapshot;
        bool lowPowerMode = false;
    };

    void updateLoop();
    void startLoop();
    void stopLoop();
    void sampleNext(std::uint64_t loop);
    void finishPass(std::uint64_t loop, const Pass& pass);
    void apply(const SystemSnapshot& snapshot);
    void setRunning(bool running);

    Clock& clock_;
    std::unique_ptr<SamplerHub> hub_;
    std::function<double()> sampleInterval_;
    std::function<bool()> lowPowerMode_;
    SystemSnapshot snapshot_;
    RingBuffer<double> cpuHistory_{historyCapacity};
    RingBuffer<double> gpuHistory_{historyCapacity};
    bool isRunning_ = false;
    int demand_ = 0;
    bool pinnedDemand_ = false;
    bool isSuspended_ = false;
    bool lowPower_ = false;
    std::optional<std::uint64_t> loop_; ///< the running loop's number
    std::uint64_t loopCount_ = 0;
    DelayedJob wait_;
    SamplingThread worker_;
};

} // namespace orlet
