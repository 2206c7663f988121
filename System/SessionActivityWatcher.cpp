#include "System/SessionActivityWatcher.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <unistd.h>

namespace orlet {
namespace {

const QString login1 = QStringLiteral("org.freedesktop.login1");
constexpr int callTimeoutMs = 250;

QDBusConnection connectBus(const std::optional<std::string>& address, QDBusConnection::BusType type,
                           QString& name) {
    if (!address) {
        return type == QDBusConnection::SystemBus ? QDBusConnection::systemBus()
                                                  : QDBusConnection::sessionBus();
    }
    static int serial = 0;
    name = QStringLiteral("orlet-session-watch-%1").arg(serial++);
    return QDBusConnection::connectToBus(QString::fromStdString(*address), name);
}

} // namespace

SessionActivityWatcher::SessionActivityWatcher() : SessionActivityWatcher(Buses{}) {}

SessionActivityWatcher::SessionActivityWatcher(Buses buses, QObject* parent)
    : QObject(parent), buses_(std::move(buses)) {}

SessionActivityWatcher::~SessionActivityWatcher() {
    system_ = QDBusConnection(QString());
    session_ = QDBusConnection(QString());
    if (!systemName_.isEmpty()) {
        QDBusConnection::disconnectFromBus(systemName_);
    }
    if (!sessionName_.isEmpty()) {
        QDBusConnection::disconnectFromBus(sessionName_);
    }
}

void SessionActivityWatcher::start(std::optional<QString> sessionId) {
    system_ = connectBus(buses_.system, QDBusConnection::SystemBus, systemName_);
    session_ = connectBus(buses_.session, QDBusConnection::SessionBus, sessionName_);
    if (system_.isConnected()) {
        const QString manager = QStringLiteral("org.freedesktop.login1.Manager");
        system_.connect(login1, QStringLiteral("/org/freedesktop/login1"), manager,
                        QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
        QDBusMessage find =
            sessionId
                ? QDBusMessage::createMethodCall(login1, QStringLiteral("/org/freedesktop/login1"),
                                                 manager, QStringLiteral("GetSession"))
                : QDBusMessage::createMethodCall(login1, QStringLiteral("/org/freedesktop/login1"),
                                                 manager, QStringLiteral("GetSessionByPID"));
        if (sessionId) {
            find << *sessionId;
        } else {
            find << static_cast<uint>(::getpid());
        }
        // Once, at start: a process outside any session (a service, a container) has none.
        const QDBusMessage reply = system_.call(find, QDBus::Block, callTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            const QString path = reply.arguments().constFirst().value<QDBusObjectPath>().path();
            system_.connect(login1, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                            QStringLiteral("PropertiesChanged"), this,
                            SLOT(sessionPropertiesChanged(QString, QVariantMap, QStringList)));
        }
    }
    if (session_.isConnected()) {
        // The freedesktop name and GNOME's own; whoever runs the screen saver says so.
        for (const QString& interface : {QStringLiteral("org.freedesktop.ScreenSaver"),
                                         QStringLiteral("org.gnome.ScreenSaver")}) {
            session_.connect(QString(), QString(), interface, QStringLiteral("ActiveChanged"), this,
                             SLOT(screenSaverActiveChanged(bool)));
        }
    }
}

void SessionActivityWatcher::prepareForSleep(bool sleeping) {
    update(sleeping_, sleeping);
}

void SessionActivityWatcher::sessionPropertiesChanged(const QString& interface,
                                                      const QVariantMap& changed,
                                                      const QStringList&) {
    const auto active = changed.find(QStringLiteral("Active"));
    if (interface == QStringLiteral("org.freedesktop.login1.Session") && active != changed.end()) {
        update(inactive_, !active->toBool());
    }
}

void SessionActivityWatcher::screenSaverActiveChanged(bool active) {
    update(screenSaverOn_, active);
}

void SessionActivityWatcher::update(bool& flag, bool value) {
    const bool before = isSuspended();
    flag = value;
    if (isSuspended() != before && onChange) {
        onChange(isSuspended());
    }
}

} // namespace orlet
