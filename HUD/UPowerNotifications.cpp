#include "HUD/UPowerNotifications.h"

namespace orlet {

UPowerNotifications::UPowerNotifications(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {}

void UPowerNotifications::start(std::function<void()> changed) {
    changed_ = std::move(changed);
    if (started_) {
        return;
    }
    started_ = true;
    // Every device path: the adapter and the batteries each report their own changes.
    bus_.connect(QStringLiteral("org.freedesktop.UPower"), QString(),
                 QStringLiteral("org.freedesktop.DBus.Properties"),
                 QStringLiteral("PropertiesChanged"), this, SLOT(propertiesChanged()));
}

void UPowerNotifications::propertiesChanged() {
    if (changed_) {
        changed_();
    }
}

} // namespace orlet
