#include "System/UPowerClient.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QVariantMap>
#include <atomic>

namespace orlet {
namespace {

const QString service = QStringLiteral("org.freedesktop.UPower");
const QString deviceInterface = QStringLiteral("org.freedesktop.UPower.Device");

// upowerd's device kinds and battery states.
constexpr uint linePower = 1;
constexpr uint battery = 2;
constexpr uint charging = 1;
constexpr uint fullyCharged = 4;
constexpr uint pendingCharge = 5;

std::optional<QDBusMessage> call(QDBusConnection& connection, const QDBusMessage& message) {
    QDBusMessage reply = connection.call(message, QDBus::Block, UPowerClient::callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    return reply;
}

} // namespace

UPowerClient::UPowerClient(std::optional<std::string> busAddress)
    : busAddress_(std::move(busAddress)) {}

UPowerClient::~UPowerClient() {
    if (connection_ && !connectionName_.isEmpty()) {
        connection_.reset();
        QDBusConnection::disconnectFromBus(connectionName_);
    }
}

QDBusConnection& UPowerClient::connection() {
    std::call_once(connected_, [this] {
        if (busAddress_) {
            static std::atomic<int> serial = 0;
            connectionName_ = QStringLiteral("orlet-upower-%1").arg(serial++);
            connection_ = QDBusConnection::connectToBus(QString::fromStdString(*busAddress_),
                                                        connectionName_);
        } else {
            connection_ = QDBusConnection::systemBus();
        }
    });
    return *connection_;
}

// A device counts as the internal battery when it is a battery that powers the machine
// (PowerSupply; headsets and mice do not) and is present. Its percentage is the capacity over
// a maximum of 100. Power comes in when a line-power device is online, or, with none to ask,
// when the battery charges, is full or waits to charge. upowerd's times are in seconds, 0
// while it estimates.
std::optional<std::vector<PowerSource>> UPowerClient::powerSources() {
    QDBusConnection& bus = connection();
    if (!bus.isConnected()) {
        return std::nullopt;
    }
    const std::optional<QDBusMessage> listed =
        call(bus, QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/UPower"),
                                                 service, QStringLiteral("EnumerateDevices")));
    if (!listed) {
        return std::nullopt;
    }
    const auto paths = qdbus_cast<QList<QDBusObjectPath>>(listed->arguments().constFirst());
    std::vector<PowerSource> sources;
    std::optional<bool> lineOnline;
    std::vector<uint> states;
    for (const QDBusObjectPath& path : paths) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            service, path.path(), QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("GetAll"));
        get << deviceInterface;
        const std::optional<QDBusMessage> reply = call(bus, get);
        if (!reply) {
            continue;
        }
        const auto properties = qdbus_cast<QVariantMap>(reply->arguments().constFirst());
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
