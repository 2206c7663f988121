#pragma once

#include "HUD/PowerNotifications.h"

#include <QDBusConnection>
#include <QObject>

namespace orlet {

// Property changes of UPower's devices (the battery, the adapter, the summary device).
class UPowerNotifications : public QObject, public PowerNotifications {
    Q_OBJECT

public:
    explicit UPowerNotifications(QDBusConnection bus = QDBusConnection::systemBus(),
                                 QObject* parent = nullptr);

    void start(std::function<void()> changed) override;

private slots:
    void propertiesChanged();

private:
    QDBusConnection bus_;
    std::function<void()> changed_;
    bool started_ = false;
};

} // namespace orlet
