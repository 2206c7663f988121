#pragma once

#include <vector>

namespace orlet {

// The busy share of the processors between two readings.
struct CPULoad {
    double total = 0;              ///< 0…1, all processors together
    std::vector<double> perCore{}; ///< 0…1, one per logical processor in the kernel's order

    bool operator==(const CPULoad&) const = default;
};

} // namespace orlet
