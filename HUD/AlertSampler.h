#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace orlet {

// Reads the processor load and the free space of the system volume for the load alerts, one
// read at a time, away from the main thread.
class AlertSampler {
public:
    struct Reading {
        // Since the previous read; absent on the first read and when a read fails.
        std::optional<double> load;
        // Bytes an ordinary user may still write; absent when not asked for or unreadable.
        std::optional<std::uint64_t> available;
        bool operator==(const Reading&) const = default;
    };

    virtual ~AlertSampler() = default;

    // `done` runs on the main thread, unless the sampler is destroyed first.
    virtual void read(bool withStorage, std::function<void(Reading)> done) = 0;
};

} // namespace orlet
