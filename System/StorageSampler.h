#pragma once

#include "Platform/Clock.h"
#include "System/StorageStats.h"
#include "System/SystemSource.h"

#include <memory>
#include <optional>

namespace orlet {

// Space on the start-up volume, read at most once every 30 seconds.
class StorageSampler {
public:
    static constexpr std::chrono::seconds cacheLifetime{30};

    explicit StorageSampler(std::shared_ptr<const SystemSource> source = nullptr);

    // The cached value while it is younger than 30 seconds; after a failed read the last good
    // value (or nothing), and the next call reads again.
    std::optional<StorageStats> sample(Clock::TimePoint now);

    const std::optional<StorageStats>& cached() const { return cached_; }

private:
    std::shared_ptr<const SystemSource> source_;
    std::optional<StorageStats> cached_;
    std::optional<Clock::TimePoint> lastRead_; ///< none: never read successfully
};

} // namespace orlet
