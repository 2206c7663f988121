#include "Today/WakeWatcher.h"

#include "Platform/Log.h"

namespace orlet {

WakeWatcher::WakeWatcher(std::optional<std::string> systemBus, QObject* parent)
    : QObject(parent), address_(std::move(systemBus)) {}

WakeWatcher::~WakeWatcher() {
    bus_ = QDBusConnection(QString());
    if (!connectionName_.isEmpty()) {
        QDBusConnection::disconnectFromBus(connectionName_);
    }
}

bool WakeWatcher::start() {
    if (address_) {
        static int serial = 0;
        connectionName_ = QStringLiteral("orlet-wake-watch-%1").arg(serial++);
        bus_ = QDBusConnection::connectToBus(QString::fromStdString(*address_), connectionName_);
    } else {
        bus_ = QDBusConnection::systemBus();
    }
    if (!bus_.isConnected()) {
        qCDebug(logApp()) << "No system bus: wake-ups from sleep go unnoticed";
        return false;
    }
    return bus_.connect(QStringLiteral("org.freedesktop.login1"),
                        QStringLiteral("/org/freedesktop/login1"),
                        QStringLiteral("org.freedesktop.login1.Manager"),
                        QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
}

void WakeWatcher::prepareForSleep(bool sleeping) {
    if (!sleeping && onWake) {
        onWake();
    }
}

} // namespace orlet
