#pragma once

#include "System/SystemSource.h"

#include <QDBusConnection>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orlet {

// The power sources that upowerd knows, read over the system bus with short blocking calls.
// Safe from any thread: QtDBus connections are.
class UPowerClient {
public:
    static constexpr int callTimeoutMs = 500;

    // `busAddress`: a bus other than the system bus, for tests.
    explicit UPowerClient(std::optional<std::string> busAddress = std::nullopt);
    ~UPowerClient();
    UPowerClient(const UPowerClient&) = delete;
    UPowerClient& operator=(const UPowerClient&) = delete;

    // Nothing when upowerd cannot be asked; an empty list when it knows of no source.
    std::optional<std::vector<PowerSource>> powerSources();

private:
    QDBusConnection& connection();

    std::optional<std::string> busAddress_;
    std::once_flag connected_;
    std::optional<QDBusConnection> connection_;
    QString connectionName_;
};

} // namespace orlet
