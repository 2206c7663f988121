#include "HUD/AlertMonitor.h"

#include "HUD/AlertSampler.h"

#include <cmath>

namespace orlet {

bool SustainedLoadRule::add(double load) {
    streak = load >= threshold ? streak + 1 : 0;
    return streak == required;
}

AlertMonitor::AlertMonitor(Clock& clock, AlertSampler& sampler,
                           std::function<QString(std::uint64_t)> storage)
    : clock_(clock), sampler_(sampler), storage_(std::move(storage)) {}

void AlertMonitor::start() {
    if (running_) {
        return;
    }
    running_ = true;
    round_ = 0;
    // A read still on its way from before a cancel continues the loop when it lands.
    if (!reading_) {
        wait();
    }
}

void AlertMonitor::cancel() {
    running_ = false;
    loop_.cancel();
}

void AlertMonitor::wait() {
    loop_ = clock_.schedule(interval, [this] { sample(); });
}

void AlertMonitor::sample() {
    const bool withStorage = round_ % storageEvery == 0;
    reading_ = true;
    std::weak_ptr<AlertMonitor*> alive = self_;
    sampler_.read(withStorage, [alive, withStorage](AlertSampler::Reading reading) {
        if (const auto self = alive.lock()) {
            (*self)->apply(withStorage, reading.load, reading.available);
        }
    });
}

void AlertMonitor::apply(bool withStorage, std::optional<double> load,
                         std::optional<std::uint64_t> available) {
    reading_ = false;
    if (load && cpuRule_.add(*load)) {
        fire(QStringLiteral("cpu"),
             TransientActivity::alert(QStringLiteral("flame.fill"),
                                      QStringLiteral("CPU %1%").arg(std::lround(*load * 100)),
                                      TransientActivity::Severity::warning));
    }
    if (withStorage && available && *available < lowDiskBytes) {
        fire(QStringLiteral("disk"),
             TransientActivity::alert(QStringLiteral("internaldrive.fill"),
                                      storage_(*available) + QStringLiteral(" free"),
                                      TransientActivity::Severity::critical));
    }
    ++round_;
    if (running_) {
        wait();
    }
}

void AlertMonitor::fire(const QString& key, const TransientActivity& activity) {
    const Clock::TimePoint now = clock_.now();
    if (const auto last = lastFired_.find(key);
        last != lastFired_.end() && now - last->second < coolDown) {
        return;
    }
    lastFired_[key] = now;
    if (onEvent) {
        onEvent(activity);
    }
}

} // namespace orlet
