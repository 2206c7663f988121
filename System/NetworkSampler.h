#pragma once

#include "Platform/Clock.h"
#include "System/NetworkRates.h"
#include "System/SystemSource.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace orlet {

// Throughput between consecutive samples.
class NetworkSampler {
public:
    // Kept per interface: one that goes away or comes back reset must not cancel or swamp
    // the traffic of the others.
    using Counters = std::map<std::string, InterfaceTotals>;

    explicit NetworkSampler(std::shared_ptr<const SystemSource> source = nullptr);

    // Nothing on the first call, when the read fails (the previous reading is kept then), and
    // when no time passed since the previous reading.
    std::optional<NetworkRates> sample(Clock::TimePoint now);

    // Counters lower than before count 0; interfaces present in only one reading count nothing.
    static std::optional<NetworkRates> rates(const Counters& from, const Counters& to,
                                             Clock::Duration elapsed);

private:
    struct Reading {
        Counters counters;
        Clock::TimePoint time;
    };

    std::shared_ptr<const SystemSource> source_;
    std::optional<Reading> previous_;
};

} // namespace orlet
