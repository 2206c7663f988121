#include "HUD/AirPodsMonitor.h"

#include "Platform/DefaultsStore.h"

#include <QUuid>
#include <array>
#include <cmath>

namespace orlet {
namespace {

// Waits before each read, from the connection on.
constexpr std::array<std::chrono::seconds, 3> waits{
    std::chrono::seconds(2), std::chrono::seconds(4), std::chrono::seconds(8)};

} // namespace

AirPodsMonitor::AirPodsMonitor(Clock& clock, DefaultsStore& defaults, HeadphoneSource& source)
    : clock_(clock), defaults_(defaults), source_(source) {}

AirPodsMonitor::~AirPodsMonitor() {
    stop();
}

void AirPodsMonitor::start() {
    if (registered_ || !defaults_.boolValue(QStringLiteral("airpods.enabled")).value_or(false)) {
        return;
    }
    registered_ = true;
    source_.onConnect = [this](const HeadphoneSource::Device& device) { handleConnect(device); };
    source_.start();
}

void AirPodsMonitor::stop() {
    if (registered_) {
        source_.stop();
        source_.onConnect = nullptr;
        registered_ = false;
    }
    pending_.clear();
}

void AirPodsMonitor::handleConnect(const HeadphoneSource::Device& device) {
    const QString key = device.address && !device.address->isEmpty()
                            ? *device.address
                            : QUuid::createUuid().toString(QUuid::WithoutBraces);
    // Replacing the task cancels its wait; a read in flight finds its id gone.
    Task& task = pending_[key];
    task = Task{device, 0, DelayedJob(), ++nextID_};
    schedule(key);
}

void AirPodsMonitor::schedule(const QString& key) {
    Task& task = pending_.at(key);
    task.wait = clock_.schedule(waits[static_cast<std::size_t>(task.attempt)],
                                [this, key] { readNow(key); });
}

void AirPodsMonitor::readNow(const QString& key) {
    const Task& task = pending_.at(key);
    const std::uint64_t id = task.id;
    std::weak_ptr<AirPodsMonitor*> alive = self_;
    source_.read(task.device, [alive, key, id](std::map<QString, QVariant> properties) {
        const auto self = alive.lock();
        if (!self) {
            return;
        }
        AirPodsMonitor& monitor = **self;
        const auto found = monitor.pending_.find(key);
        if (found == monitor.pending_.end() || found->second.id != id) {
            return; // cancelled or replaced meanwhile
        }
        if (const auto battery = AirPodsMonitor::battery(found->second.device, properties)) {
            monitor.pending_.erase(found);
            if (monitor.onBattery) {
                monitor.onBattery(*battery);
            }
            return;
        }
        if (++found->second.attempt >= static_cast<int>(waits.size())) {
            monitor.pending_.erase(found);
            return;
        }
        monitor.schedule(key);
    });
}

std::optional<HeadphoneBattery>
AirPodsMonitor::battery(const HeadphoneSource::Device& device,
                        const std::map<QString, QVariant>& properties) {
    auto levelOf = [&properties](const QString& name) -> std::optional<int> {
        const auto found = properties.find(name);
        return found == properties.end() ? std::nullopt : level(found->second);
    };
    HeadphoneBattery battery{device.name && !device.name->isEmpty() ? *device.name
                                                                    : QStringLiteral("Headphones"),
                             levelOf(HeadphoneSource::left), levelOf(HeadphoneSource::right),
                             levelOf(HeadphoneSource::caseLevel), levelOf(HeadphoneSource::single)};
    if (!battery.left && !battery.right && !battery.caseLevel && !battery.single) {
        return std::nullopt;
    }
    return battery;
}

std::optional<int> AirPodsMonitor::level(const QVariant& value) {
    // Only numbers: a text "50" is not a level.
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::SChar:
    case QMetaType::Double:
    case QMetaType::Float:
        break;
    default:
        return std::nullopt;
    }
    const double number = value.toDouble();
    if (!std::isfinite(number)) {
        return std::nullopt;
    }
    const double whole = std::trunc(number);
    if (whole < 1 || whole > 100) {
        return std::nullopt;
    }
    return static_cast<int>(whole);
}

} // namespace orlet
