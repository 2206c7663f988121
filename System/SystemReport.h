#pragma once

#include "Platform/Clock.h"
#include "System/SystemSnapshot.h"

#include <string>

namespace orlet {

class SamplerHub;

// The diagnostic snapshot behind `Orlet --sample-system`, for users and bug reports.
class SystemReport {
public:
    // Primes, waits `interval` and samples once, as the monitor's first pass does.
    static SystemSnapshot sampleTwice(SamplerHub& hub, Clock::Duration interval);

    // Pretty-printed with sorted keys; an absent value is null.
    static std::string json(const SystemSnapshot& snapshot);

    // Samples the machine one sampling interval apart and prints the JSON on standard
    // output; the exit status.
    static int run();
};

} // namespace orlet
