#pragma once

#include "HUD/DisplayBrightness.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <memory>

class QSocketNotifier;

namespace orlet {

// The display backlight of the kernel's backlight class: read from its files, written through
// logind's Session.SetBrightness (no privileges needed), watched through the kernel's change
// notification on "actual_brightness". The device is the first of firmware, platform and raw
// type, by name within each. While a write is on its way, reads answer the level asked for.
class BacklightBrightness : public QObject, public DisplayBrightness {
    Q_OBJECT

public:
    explicit BacklightBrightness(QString root = QStringLiteral("/sys/class/backlight"),
                                 QDBusConnection bus = QDBusConnection::systemBus(),
                                 QObject* parent = nullptr);
    ~BacklightBrightness() override;

    bool isAvailable() const override { return !device_.isEmpty(); }
    std::optional<double> get() const override;
    void set(double value) override;

    // The device's folder name, empty without one.
    QString deviceName() const { return device_; }

private:
    std::optional<long> readNumber(const QString& file) const;
    void watch();
    void changed();

    QString root_;
    QDBusConnection bus_;
    QString device_;
    long maximum_ = 0;
    std::optional<double> requested_;
    int writesInFlight_ = 0;
    int watchFD_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace orlet
