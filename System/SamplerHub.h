#pragma once

#include "Platform/Clock.h"
#include "System/BatterySampler.h"
#include "System/CPUSampler.h"
#include "System/GPUSampler.h"
#include "System/MemorySampler.h"
#include "System/NetworkSampler.h"
#include "System/StorageSampler.h"
#include "System/SystemSnapshot.h"

#include <memory>

namespace orlet {

// One sampler of each kind. Not thread-safe: its owner runs it on one thread at a time.
class SamplerHub {
public:
    explicit SamplerHub(std::shared_ptr<const SystemSource> source = nullptr);

    // The first processor and network readings, whose results mean nothing yet.
    void prime(Clock::TimePoint now);
    // `now` is asked again before the network read: the storage read may take a while.
    SystemSnapshot sample(const std::function<Clock::TimePoint()>& now);

private:
    CPUSampler cpu_;
    GPUSampler gpu_;
    MemorySampler memory_;
    StorageSampler storage_;
    NetworkSampler network_;
    BatterySampler battery_;
};

} // namespace orlet
