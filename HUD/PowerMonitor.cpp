#include "HUD/PowerMonitor.h"

#include "HUD/PowerNotifications.h"

#include <cmath>

namespace orlet {
namespace {

TransientActivity batteryAlert(double level, TransientActivity::Severity severity) {
    return TransientActivity::alert(QStringLiteral("battery.25percent"),
                                    QString::number(std::lround(level * 100)) + '%', severity);
}

} // namespace

PowerMonitor::PowerMonitor(Sampler sampler, PowerNotifications& notifications)
    : sampler_(std::move(sampler)), notifications_(notifications) {}

void PowerMonitor::start() {
    last_ = sampler_();
    if (!last_) {
        return;
    }
    notifications_.start([this] { update(); });
}

void PowerMonitor::update() {
    std::optional<BatteryStatus> next = sampler_();
    if (const std::optional<TransientActivity> activity = event(last_, next); activity && onEvent) {
        onEvent(*activity);
    }
    last_ = std::move(next);
}

std::optional<TransientActivity> PowerMonitor::event(const std::optional<BatteryStatus>& from,
                                                     const std::optional<BatteryStatus>& to) {
    if (!to) {
        return std::nullopt;
    }
    if (to->isPluggedIn) {
        if (from && !from->isPluggedIn) {
            return TransientActivity::charging(to->level, to->minutesRemaining);
        }
        return std::nullopt;
    }
    if (!from) {
        return std::nullopt;
    }
    if (from->level > 0.1 && to->level <= 0.1) {
        return batteryAlert(to->level, TransientActivity::Severity::critical);
    }
    if (from->level > 0.2 && to->level <= 0.2) {
        return batteryAlert(to->level, TransientActivity::Severity::warning);
    }
    return std::nullopt;
}

} // namespace orlet
