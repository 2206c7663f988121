#pragma once

#include "System/MemoryStats.h"
#include "System/SystemSource.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace orlet {

// Memory use and pressure.
class MemorySampler {
public:
    // Reads the size of physical memory once.
    explicit MemorySampler(std::shared_ptr<const SystemSource> source = nullptr);

    std::optional<MemoryStats> sample() const;

    // `total` is physical memory; a failed pressure read is normal pressure.
    static MemoryStats stats(const VMCounters& counters, std::uint64_t total,
                             std::optional<int> pressureLevel);

    std::uint64_t total() const { return total_; }

private:
    std::shared_ptr<const SystemSource> source_;
    std::uint64_t total_ = 0;
};

} // namespace orlet
