#include "System/UPowerCache.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QThread>

namespace orlet {
namespace {

const QString service = QStringLiteral("org.freedesktop.UPower");
const QString managerPath = QStringLiteral("/org/freedesktop/UPower");
const QString deviceInterface = QStringLiteral("org.freedesktop.UPower.Device");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString busService = QStringLiteral("org.freedesktop.DBus");
const QString busPath = QStringLiteral("/org/freedesktop/DBus");

// upowerd's device kinds and battery states.
constexpr uint linePower = 1;
constexpr uint battery = 2;
constexpr uint charging = 1;
constexpr uint fullyCharged = 4;
constexpr uint pendingCharge = 5;

std::optional<QDBusMessage> call(QDBusConnection& bus, const QDBusMessage& message) {
    QDBusMessage reply = bus.call(message, QDBus::Block, UPowerCache::callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    return reply;
}

} // namespace

UPowerCache::UPowerCache(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {}

void UPowerCache::fill() {
    // Subscribed before reading: a change made while the devices are read is replayed after.
    bus_.connect(busService, busPath, busService, QStringLiteral("NameOwnerChanged"), {service},
                 QString(), this, SLOT(nameOwnerChanged(QString, QString, QString)));
    bus_.connect(service, managerPath, service, QStringLiteral("DeviceAdded"), this,
                 SLOT(deviceAdded(QDBusObjectPath)));
    bus_.connect(service, managerPath, service, QStringLiteral("DeviceRemoved"), this,
                 SLOT(deviceRemoved(QDBusObjectPath)));
    bus_.connect(service, QString(), propertiesInterface, QStringLiteral("PropertiesChanged"), this,
                 SLOT(propertiesChanged(QString, QVariantMap, QStringList, QDBusMessage)));
    const std::lock_guard lock(update_);
    publish(readAll());
}

void UPowerCache::catchUp() {
    // The bus answers after everything it sent before, so once the answer is in, every
    // earlier signal waits among this thread's events.
    call(bus_, QDBusMessage::createMethodCall(busService, busPath,
                                              QStringLiteral("org.freedesktop.DBus.Peer"),
                                              QStringLiteral("Ping")));
    QCoreApplication::sendPostedEvents(this);
}

std::optional<std::vector<PowerSource>> UPowerCache::sources() const {
    const std::lock_guard lock(read_);
    return sources_;
}

std::optional<UPowerCache::Devices> UPowerCache::readAll() {
    const std::optional<QDBusMessage> listed = call(
        bus_, QDBusMessage::createMethodCall(service, managerPath, service, "EnumerateDevices"));
    if (!listed) {
        return std::nullopt;
    }
    Devices devices;
    for (const QDBusObjectPath& path :
         qdbus_cast<QList<QDBusObjectPath>>(listed->arguments().constFirst())) {
        if (std::optional<QVariantMap> properties = readDevice(path.path())) {
            devices.emplace_back(path.path(), std::move(*properties));
        }
    }
    return devices;
}

std::optional<QVariantMap> UPowerCache::readDevice(const QString& path) {
    QDBusMessage get = QDBusMessage::createMethodCall(service, path, propertiesInterface,
                                                      QStringLiteral("GetAll"));
    get << deviceInterface;
    const std::optional<QDBusMessage> reply = call(bus_, get);
    if (!reply) {
        return std::nullopt;
    }
    return qdbus_cast<QVariantMap>(reply->arguments().constFirst());
}

void UPowerCache::publish(std::optional<Devices> devices) {
    devices_ = std::move(devices);
    std::optional<std::vector<PowerSource>> sources;
    if (devices_) {
        std::vector<QVariantMap> properties;
        for (const auto& [path, values] : *devices_) {
            properties.push_back(values);
        }
        sources = sourcesOf(properties);
    }
    const std::lock_guard lock(read_);
    sources_ = std::move(sources);
}

void UPowerCache::deviceAdded(const QDBusObjectPath& path) {
    const std::lock_guard lock(update_);
    if (!devices_) {
        return;
    }
    std::optional<QVariantMap> properties = readDevice(path.path());
    if (!properties) {
        return;
    }
    Devices devices = std::move(*devices_);
    const auto known = std::find_if(devices.begin(), devices.end(), [&path](const auto& device) {
        return device.first == path.path();
    });
    if (known != devices.end()) {
        known->second = std::move(*properties);
    } else {
        devices.emplace_back(path.path(), std::move(*properties));
    }
    publish(std::move(devices));
}

void UPowerCache::deviceRemoved(const QDBusObjectPath& path) {
    const std::lock_guard lock(update_);
    if (!devices_) {
        return;
    }
    Devices devices = std::move(*devices_);
    std::erase_if(devices, [&path](const auto& device) { return device.first == path.path(); });
    publish(std::move(devices));
}

void UPowerCache::propertiesChanged(const QString& interface, const QVariantMap& changed,
                                    const QStringList& invalidated, const QDBusMessage& message) {
    if (interface != deviceInterface) {
        return;
    }
    const std::lock_guard lock(update_);
    if (!devices_) {
        return;
    }
    Devices devices = std::move(*devices_);
    const auto device = std::find_if(devices.begin(), devices.end(), [&message](const auto& entry) {
        return entry.first == message.path();
    });
    if (device != devices.end()) {
        // upowerd sends new values; a property only said to be stale is read again.
        std::optional<QVariantMap> reread;
        if (!invalidated.isEmpty()) {
            reread = readDevice(device->first);
        }
        if (reread) {
            device->second = std::move(*reread);
        } else {
            for (auto value = changed.begin(); value != changed.end(); ++value) {
                device->second.insert(value.key(), value.value());
            }
        }
    }
    publish(std::move(devices));
}

void UPowerCache::nameOwnerChanged(const QString&, const QString&, const QString& newOwner) {
    // A restarted upowerd numbers its devices afresh: nothing of the old one is kept.
    const std::lock_guard lock(update_);
    publish(newOwner.isEmpty() ? std::nullopt : readAll());
}

// A device counts as the internal battery when it is a battery that powers the machine
// (PowerSupply; headsets and mice do not) and is present. Its percentage is the capacity over
// a maximum of 100. Power comes in when a line-power device is online, or, with none to ask,
// when the battery charges, is full or waits to charge. upowerd's times are in seconds, 0
// while it estimates.
std::vector<PowerSource> UPowerCache::sourcesOf(const std::vector<QVariantMap>& devices) {
    std::vector<PowerSource> sources;
    std::optional<bool> lineOnline;
    std::vector<uint> states;
    for (const QVariantMap& properties : devices) {
        const uint type = properties.value(QStringLiteral("Type")).toUInt();
        if (type == linePower) {
            lineOnline =
                lineOnline.value_or(false) || properties.value(QStringLiteral("Online")).toBool();
            continue;
        }
        if (type != battery) {
            continue;
        }
        PowerSource source;
        source.isInternalBattery = properties.value(QStringLiteral("PowerSupply")).toBool() &&
                                   properties.value(QStringLiteral("IsPresent"), true).toBool();
        bool ok = false;
        const double percentage = properties.value(QStringLiteral("Percentage")).toDouble(&ok);
        if (ok) {
            source.currentCapacity = percentage;
            source.maxCapacity = 100;
        }
        const uint state = properties.value(QStringLiteral("State")).toUInt();
        source.isCharging = state == charging;
        const QVariant toFull = properties.value(QStringLiteral("TimeToFull"));
        const QVariant toEmpty = properties.value(QStringLiteral("TimeToEmpty"));
        if (toFull.isValid()) {
            source.minutesToFull = static_cast<int>(toFull.toLongLong() / 60);
        }
        if (toEmpty.isValid()) {
            source.minutesToEmpty = static_cast<int>(toEmpty.toLongLong() / 60);
        }
        sources.push_back(source);
        states.push_back(state);
    }
    for (std::size_t i = 0; i < sources.size(); ++i) {
        sources[i].isOnACPower = lineOnline.value_or(
            states[i] == charging || states[i] == fullyCharged || states[i] == pendingCharge);
    }
    return sources;
}

} // namespace orlet
