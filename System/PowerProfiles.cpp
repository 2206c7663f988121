#include "System/PowerProfiles.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <array>
#include <atomic>

namespace orlet {

PowerProfiles::PowerProfiles(std::optional<std::string> busAddress)
    : busAddress_(std::move(busAddress)) {}

PowerProfiles::~PowerProfiles() {
    if (connection_ && !connectionName_.isEmpty()) {
        connection_.reset();
        QDBusConnection::disconnectFromBus(connectionName_);
    }
}

bool PowerProfiles::isLowPowerModeEnabled() {
    std::call_once(connected_, [this] {
        if (busAddress_) {
            static std::atomic<int> serial = 0;
            connectionName_ = QStringLiteral("orlet-power-profiles-%1").arg(serial++);
            connection_ = QDBusConnection::connectToBus(QString::fromStdString(*busAddress_),
                                                        connectionName_);
        } else {
            connection_ = QDBusConnection::systemBus();
        }
    });
    if (!connection_->isConnected()) {
        return false;
    }
    // The daemon's newer name first, then the name it had until version 0.20.
    struct Name {
        const char* service;
        const char* path;
    };
    static constexpr std::array names{
        Name{"org.freedesktop.UPower.PowerProfiles", "/org/freedesktop/UPower/PowerProfiles"},
        Name{"net.hadess.PowerProfiles", "/net/hadess/PowerProfiles"}};
    for (const Name& name : names) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            QString::fromLatin1(name.service), QString::fromLatin1(name.path),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << QString::fromLatin1(name.service) << QStringLiteral("ActiveProfile");
        const QDBusMessage reply = connection_->call(get, QDBus::Block, callTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            return reply.arguments().constFirst().value<QDBusVariant>().variant().toString() ==
                   QStringLiteral("power-saver");
        }
    }
    return false;
}

} // namespace orlet
