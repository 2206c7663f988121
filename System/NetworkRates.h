#pragma once

namespace orlet {

// Throughput over the counted interfaces, in bytes per second.
struct NetworkRates {
    double download = 0;
    double upload = 0;

    bool operator==(const NetworkRates&) const = default;
};

} // namespace orlet
