#include "System/SystemMonitor.h"

#include "Settings/AppSettings.h"
#include "System/PowerProfiles.h"
#include "System/SamplerHub.h"
#include "System/SessionActivityWatcher.h"

#include <QMetaObject>
#include <cmath>

namespace orlet {

SystemMonitor::SystemMonitor(Clock& clock, std::unique_ptr<SamplerHub> hub,
                             std::function<double()> sampleInterval,
                             std::function<bool()> lowPowerMode, QObject* parent)
    : QObject(parent), clock_(clock), hub_(std::move(hub)),
      sampleInterval_(std::move(sampleInterval)), lowPowerMode_(std::move(lowPowerMode)) {}

// The worker may still be inside a pass; it must be gone before the hub it uses.
SystemMonitor::~SystemMonitor() {
    wait_.cancel();
    worker_.stop();
}

SystemMonitor& SystemMonitor::shared() {
    static SystemMonitor monitor(
        Clock::shared(), std::make_unique<SamplerHub>(),
        [] { return AppSettings::shared().sampleInterval(); },
        [profiles = std::make_shared<PowerProfiles>()] {
            return profiles->isLowPowerModeEnabled();
        });
    // Watched for the whole process, from the monitor's making on.
    static SessionActivityWatcher watcher;
    static const bool watching = [] {
        watcher.onChange = [](bool suspended) { monitor.setSuspended(suspended); };
        const QByteArray session = qgetenv("XDG_SESSION_ID");
        watcher.start(session.isEmpty() ? std::nullopt
                                        : std::optional<QString>(QString::fromUtf8(session)));
        return true;
    }();
    (void)watching;
    return monitor;
}

void SystemMonitor::acquire() {
    const bool wasUnwatched = demand_ == 0;
    ++demand_;
    // The slow loop of the pinned wing would make the panel wait out its 5 seconds: a new
    // loop primes afresh and samples at the viewing interval.
    if (wasUnwatched && loop_) {
        stopLoop();
    }
    updateLoop();
}

void SystemMonitor::release() {
    demand_ = std::max(demand_ - 1, 0);
    updateLoop();
}

void SystemMonitor::setPinnedDemand(bool pinned) {
    pinnedDemand_ = pinned;
    updateLoop();
}

void SystemMonitor::setSuspended(bool suspended) {
    isSuspended_ = suspended;
    updateLoop();
}

Clock::Duration SystemMonitor::interval() const {
    if (demand_ < 1) {
        return pinnedInterval;
    }
    return viewingInterval(sampleInterval_ ? sampleInterval_() : 1.0, lowPower_);
}

Clock::Duration SystemMonitor::viewingInterval(double seconds, bool lowPowerMode) {
    // A zero, negative or broken setting would sample without pause.
    if (!std::isfinite(seconds) || seconds <= 0) {
        seconds = 1.0;
    }
    seconds = std::min(seconds, 86400.0) * (lowPowerMode ? 2 : 1);
    return std::chrono::milliseconds(static_cast<std::int64_t>(seconds * 1000));
}

void SystemMonitor::updateLoop() {
    if ((demand_ < 1 && !pinnedDemand_) || isSuspended_) {
        if (loop_) {
            stopLoop();
        }
        setRunning(false);
        return;
    }
    if (!loop_) {
        setRunning(true);
        startLoop();
    }
}

void SystemMonitor::startLoop() {
    const std::uint64_t loop = ++loopCount_;
    loop_ = loop;
    worker_.start();
    SamplerHub* hub = hub_.get();
    Clock* clock = &clock_;
    worker_.post([this, hub, clock, loop] {
        hub->prime(clock->now());
        QMetaObject::invokeMethod(
            this,
            [this, loop] {
                if (loop_ != loop) {
                    return;
                }
                wait_ = clock_.schedule(primingGap, [this, loop] { sampleNext(loop); });
            },
            Qt::QueuedConnection);
    });
}

void SystemMonitor::stopLoop() {
    loop_.reset();
    wait_.cancel();
    worker_.stop();
}

void SystemMonitor::sampleNext(std::uint64_t loop) {
    if (loop_ != loop) {
        return;
    }
    SamplerHub* hub = hub_.get();
    Clock* clock = &clock_;
    worker_.post([this, hub, clock, loop, lowPowerMode = lowPowerMode_] {
        Pass pass;
        pass.snapshot = hub->sample([clock] { return clock->now(); });
        pass.lowPowerMode = lowPowerMode && lowPowerMode();
        QMetaObject::invokeMethod(
            this, [this, loop, pass = std::move(pass)] { finishPass(loop, pass); },
            Qt::QueuedConnection);
    });
}

void SystemMonitor::finishPass(std::uint64_t loop, const Pass& pass) {
    // A loop cancelled while its pass ran never writes a snapshot.
    if (loop_ != loop) {
        return;
    }
    lowPower_ = pass.lowPowerMode;
    apply(pass.snapshot);
    wait_ = clock_.schedule(interval(), [this, loop] { sampleNext(loop); });
}

void SystemMonitor::apply(const SystemSnapshot& snapshot) {
    if (snapshot.cpu) {
        cpuHistory_.append(snapshot.cpu->total);
        emit cpuHistoryChanged();
    }
    if (snapshot.gpu) {
        gpuHistory_.append(*snapshot.gpu);
        emit gpuHistoryChanged();
    }
    if (snapshot != snapshot_) {
        snapshot_ = snapshot;
        emit snapshotChanged();
    }
}

void SystemMonitor::setRunning(bool running) {
    if (isRunning_ != running) {
        isRunning_ = running;
        emit isRunningChanged();
    }
}

} // namespace orlet
