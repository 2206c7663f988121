#pragma once

#include <QDBusConnection>
#include <QObject>
#include <functional>
#include <optional>
#include <string>

namespace orlet {

// Tells when the machine wakes from sleep (logind's PrepareForSleep(false)). Delays run on the
// monotonic clock, which stands still while the machine sleeps, so whatever waits for a wall-
// clock moment must look at the clock again after a wake. Without logind nothing is told.
class WakeWatcher : public QObject {
    Q_OBJECT

public:
    // `systemBus` is the address of the bus logind is on; none: the system bus.
    explicit WakeWatcher(std::optional<std::string> systemBus = std::nullopt,
                         QObject* parent = nullptr);
    ~WakeWatcher() override;

    // Subscribes; whether the bus was reached.
    bool start();

    std::function<void()> onWake;

private slots:
    void prepareForSleep(bool sleeping);

private:
    std::optional<std::string> address_;
    QString connectionName_;
    QDBusConnection bus_{QString()};
};

} // namespace orlet
