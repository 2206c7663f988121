#include "System/StorageSampler.h"

#include "System/LinuxSystemSource.h"

namespace orlet {

StorageSampler::StorageSampler(std::shared_ptr<const SystemSource> source)
    : source_(source ? std::move(source) : LinuxSystemSource::shared()) {}

std::optional<StorageStats> StorageSampler::sample(Clock::TimePoint now) {
    if (cached_ && lastRead_ && now - *lastRead_ < cacheLifetime) {
        return cached_;
    }
    const std::optional<StorageStats> read = source_->readVolume();
    if (!read) {
        return cached_;
    }
    cached_ = read;
    lastRead_ = now;
    return cached_;
}

} // namespace orlet
