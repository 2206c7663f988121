#include "HUD/BluetoothHeadphones.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QRegularExpression>

namespace orlet {
namespace {

const QString upowerService = QStringLiteral("org.freedesktop.UPower");
const QString upowerPath = QStringLiteral("/org/freedesktop/UPower");
const QString upowerDevice = QStringLiteral("org.freedesktop.UPower.Device");
const QString bluezService = QStringLiteral("org.bluez");
const QString bluezDevice = QStringLiteral("org.bluez.Device1");
const QString bluezBattery = QStringLiteral("org.bluez.Battery1");
const QString properties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString upowerPrefix = QStringLiteral("upower:");
const QString bluezPrefix = QStringLiteral("bluez:");

std::optional<QString> text(const QVariantMap& map, const QString& key) {
    const QString value = map.value(key).toString();
    return value.isEmpty() ? std::nullopt : std::optional<QString>(value);
}

} // namespace

BluetoothHeadphones::BluetoothHeadphones(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {}

BluetoothHeadphones::~BluetoothHeadphones() {
    stop();
}

void BluetoothHeadphones::start() {
    if (started_) {
        return;
    }
    started_ = true;
    bus_.connect(upowerService, upowerPath, upowerService, QStringLiteral("DeviceAdded"), this,
                 SLOT(upowerDeviceAdded(QDBusMessage)));
    bus_.connect(bluezService, QString(), properties, QStringLiteral("PropertiesChanged"), this,
                 SLOT(bluezPropertiesChanged(QDBusMessage)));
}

void BluetoothHeadphones::stop() {
    if (!started_) {
        return;
    }
    started_ = false;
    bus_.disconnect(upowerService, upowerPath, upowerService, QStringLiteral("DeviceAdded"), this,
                    SLOT(upowerDeviceAdded(QDBusMessage)));
    bus_.disconnect(bluezService, QString(), properties, QStringLiteral("PropertiesChanged"), this,
                    SLOT(bluezPropertiesChanged(QDBusMessage)));
}

std::optional<QString> BluetoothHeadphones::addressIn(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("([0-9A-Fa-f]{2})[:_]([0-9A-Fa-f]{2})[:_]([0-9A-Fa-f]{2})[:_]"
                       "([0-9A-Fa-f]{2})[:_]([0-9A-Fa-f]{2})[:_]([0-9A-Fa-f]{2})"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    QStringList parts;
    for (int i = 1; i <= 6; ++i) {
        parts << match.captured(i).toUpper();
    }
    return parts.join(':');
}

void BluetoothHeadphones::upowerDeviceAdded(const QDBusMessage& message) {
    if (message.arguments().isEmpty()) {
        return;
    }
    const QString path = message.arguments().first().value<QDBusObjectPath>().path();
    getAll(upowerService, path, upowerDevice, [this, path](const QVariantMap& device) {
        const uint kind = device.value(QStringLiteral("Type")).toUInt();
        if (!started_ || (kind != headsetKind && kind != headphonesKind) || !onConnect) {
            return;
        }
        std::optional<QString> address =
            addressIn(device.value(QStringLiteral("Serial")).toString());
        if (!address) {
            address = addressIn(device.value(QStringLiteral("NativePath")).toString());
        }
        onConnect(Device{upowerPrefix + path, address, text(device, QStringLiteral("Model"))});
    });
}

void BluetoothHeadphones::bluezPropertiesChanged(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || arguments.at(0).toString() != bluezDevice) {
        return;
    }
    const QVariantMap changed = qdbus_cast<QVariantMap>(arguments.at(1));
    const auto connected = changed.find(QStringLiteral("Connected"));
    if (connected == changed.end() || !connected->toBool()) {
        return;
    }
    const QString path = message.path();
    getAll(bluezService, path, bluezDevice, [this, path](const QVariantMap& device) {
        if (!started_ || !onConnect) {
            return;
        }
        std::optional<QString> name = text(device, QStringLiteral("Alias"));
        if (!name) {
            name = text(device, QStringLiteral("Name"));
        }
        std::optional<QString> address = text(device, QStringLiteral("Address"));
        if (!address) {
            address = addressIn(path);
        }
        onConnect(Device{bluezPrefix + path, address, name});
    });
}

void BluetoothHeadphones::read(const Device& device,
                               std::function<void(std::map<QString, QVariant>)> done) {
    const bool upower = device.handle.startsWith(upowerPrefix);
    const QString path = device.handle.mid(upower ? upowerPrefix.size() : bluezPrefix.size());
    getAll(upower ? upowerService : bluezService, path, upower ? upowerDevice : bluezBattery,
           [done = std::move(done)](const QVariantMap& values) {
               std::map<QString, QVariant> levels;
               // Both report one level for the whole device.
               if (const auto percentage = values.find(QStringLiteral("Percentage"));
                   percentage != values.end()) {
                   levels.emplace(HeadphoneSource::single, *percentage);
               }
               done(std::move(levels));
           });
}

void BluetoothHeadphones::getAll(const QString& service, const QString& path,
                                 const QString& interface,
                                 std::function<void(const QVariantMap&)> done) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, properties, QStringLiteral("GetAll"));
    call << interface;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [done = std::move(done)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                QDBusPendingReply<QVariantMap> reply = *finished;
                // A device that went away or lacks the interface reports nothing.
                done(reply.isError() ? QVariantMap() : reply.value());
            });
}

} // namespace orlet
