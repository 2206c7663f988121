#pragma once

#include "HUD/HeadphoneSource.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

namespace orlet {

// Headphones from the system bus: UPower devices of the headset and headphones kinds as they
// are added, and BlueZ devices as they connect (their level from org.bluez.Battery1). The same
// headphones seen by both carry the same address.
class BluetoothHeadphones : public QObject, public HeadphoneSource {
    Q_OBJECT

public:
    // UPower's kinds of device worn on the head.
    static constexpr uint headsetKind = 17;
    static constexpr uint headphonesKind = 19;

    explicit BluetoothHeadphones(QDBusConnection bus = QDBusConnection::systemBus(),
                                 QObject* parent = nullptr);
    ~BluetoothHeadphones() override;

    void start() override;
    void stop() override;
    void read(const Device& device, std::function<void(std::map<QString, QVariant>)> done) override;

    // "AA:BB:CC:DD:EE:FF" from a UPower serial or a BlueZ object path; nothing otherwise.
    static std::optional<QString> addressIn(const QString& text);

private slots:
    void upowerDeviceAdded(const QDBusMessage& message);
    void bluezPropertiesChanged(const QDBusMessage& message);

private:
    void getAll(const QString& service, const QString& path, const QString& interface,
                std::function<void(const QVariantMap&)> done);

    QDBusConnection bus_;
    bool started_ = false;
};

} // namespace orlet
