#include "System/MemorySampler.h"

#include "System/LinuxSystemSource.h"

#include <algorithm>

namespace orlet {

MemorySampler::MemorySampler(std::shared_ptr<const SystemSource> source)
    : source_(source ? std::move(source) : LinuxSystemSource::shared()) {
    if (const std::optional<VMCounters> counters = source_->readMemory()) {
        total_ = counters->total;
    }
}

std::optional<MemoryStats> MemorySampler::sample() const {
    const std::optional<VMCounters> counters = source_->readMemory();
    if (!counters) {
        return std::nullopt;
    }
    // Made while the read failed: a size of 0 would make every figure meaningless.
    const std::uint64_t total = total_ != 0 ? total_ : counters->total;
    return stats(*counters, total, source_->readPressureLevel());
}

MemoryStats MemorySampler::stats(const VMCounters& counters, std::uint64_t total,
                                 std::optional<int> pressureLevel) {
    MemoryStats stats;
    stats.total = total;
    stats.app =
        counters.purgeable >= counters.internal ? 0 : counters.internal - counters.purgeable;
    stats.wired = counters.wired;
    stats.compressed = counters.compressed;
    stats.cached = counters.external + counters.purgeable;
    stats.used = std::min(stats.app + stats.wired + stats.compressed, total);
    stats.swapUsed = counters.swapUsed;
    switch (pressureLevel.value_or(1)) {
    case 2:
        stats.pressure = MemoryStats::Pressure::warning;
        break;
    case 4:
        stats.pressure = MemoryStats::Pressure::critical;
        break;
    default:
        stats.pressure = MemoryStats::Pressure::normal;
        break;
    }
    return stats;
}

} // namespace orlet
