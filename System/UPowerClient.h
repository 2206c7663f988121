#pragma once

#include "System/SystemSource.h"

#include <QDBusConnection>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orlet {

class UPowerCache;

// The power sources that upowerd knows. Read over the system bus once, at first use, and
// kept current by upowerd's signals on the application's thread; asking costs a lock and a
// copy. Safe from any thread.
class UPowerClient {
public:
    // `busAddress`: a bus other than the system bus, for tests.
    explicit UPowerClient(std::optional<std::string> busAddress = std::nullopt);
    ~UPowerClient();
    UPowerClient(const UPowerClient&) = delete;
    UPowerClient& operator=(const UPowerClient&) = delete;

    // Nothing when upowerd cannot be asked; an empty list when it knows of no source.
    std::optional<std::vector<PowerSource>> powerSources();

private:
    void start();

    std::optional<std::string> busAddress_;
    std::once_flag started_;
    std::optional<QDBusConnection> connection_;
    QString connectionName_;
    std::unique_ptr<UPowerCache> cache_;
};

} // namespace orlet
