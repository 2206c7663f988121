#pragma once

#include <QDBusConnection>
#include <mutex>
#include <optional>
#include <string>

namespace orlet {

// Whether power-profiles-daemon runs the "power-saver" profile: the desktop's low power mode.
// Blocking calls with a short timeout; safe from any thread.
class PowerProfiles {
public:
    static constexpr int callTimeoutMs = 250;

    // `busAddress`: a bus other than the system bus, for tests.
    explicit PowerProfiles(std::optional<std::string> busAddress = std::nullopt);
    ~PowerProfiles();
    PowerProfiles(const PowerProfiles&) = delete;
    PowerProfiles& operator=(const PowerProfiles&) = delete;

    // False when no daemon answers.
    bool isLowPowerModeEnabled();

private:
    std::optional<std::string> busAddress_;
    std::once_flag connected_;
    std::optional<QDBusConnection> connection_;
    QString connectionName_;
};

} // namespace orlet
