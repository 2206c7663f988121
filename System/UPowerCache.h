#pragma once

#include "System/SystemSource.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

class QDBusMessage;

namespace orlet {

// upowerd's devices held in memory: read in full once, then kept current by UPower's own
// signals, so a reader never waits on the bus. The signals are handled on the thread this
// object lives on; sources() may be called from any thread.
class UPowerCache : public QObject {
    Q_OBJECT

public:
    static constexpr int callTimeoutMs = 500;

    explicit UPowerCache(QDBusConnection bus, QObject* parent = nullptr);

    // Subscribes to UPower's signals, then reads every device. Blocking; any thread.
    void fill();
    // On this object's thread only: the changes the bus has already sent are applied, so a
    // reader told of a change on another connection does not see the state before it.
    void catchUp();

    // Nothing while upowerd is not on the bus; an empty list when it knows of no source.
    std::optional<std::vector<PowerSource>> sources() const;

    // The internal battery and the adapter from devices' UPower.Device properties, in order.
    static std::vector<PowerSource> sourcesOf(const std::vector<QVariantMap>& devices);

private slots:
    void deviceAdded(const QDBusObjectPath& path);
    void deviceRemoved(const QDBusObjectPath& path);
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated, const QDBusMessage& message);
    void nameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);

private:
    using Devices = std::vector<std::pair<QString, QVariantMap>>;

    std::optional<Devices> readAll();
    std::optional<QVariantMap> readDevice(const QString& path);
    // Under update_: makes the devices the ones readers get.
    void publish(std::optional<Devices> devices);

    QDBusConnection bus_;
    // Serialises writers (the first fill on a worker, signals on this thread); held across
    // bus calls, never by readers.
    std::mutex update_;
    std::optional<Devices> devices_;
    mutable std::mutex read_;
    std::optional<std::vector<PowerSource>> sources_;
};

} // namespace orlet
