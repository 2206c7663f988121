#pragma once

#include <QString>
#include <QVariant>
#include <functional>
#include <map>
#include <optional>

namespace orlet {

// Bluetooth devices as they connect, and the battery properties they report.
class HeadphoneSource {
public:
    struct Device {
        QString handle; ///< how the source finds the device again
        std::optional<QString> address;
        std::optional<QString> name;
        bool operator==(const Device&) const = default;
    };

    // Names of the properties a read may give.
    static inline const QString left = QStringLiteral("batteryPercentLeft");
    static inline const QString right = QStringLiteral("batteryPercentRight");
    static inline const QString caseLevel = QStringLiteral("batteryPercentCase");
    static inline const QString single = QStringLiteral("batteryPercentSingle");

    virtual ~HeadphoneSource() = default;

    // Connect notifications reach `onConnect` on the main thread from now on.
    virtual void start() = 0;
    virtual void stop() = 0;
    // The battery properties the device reports now, as it reports them; `done` runs on the
    // main thread.
    virtual void read(const Device& device,
                      std::function<void(std::map<QString, QVariant>)> done) = 0;

    std::function<void(const Device&)> onConnect;
};

} // namespace orlet
