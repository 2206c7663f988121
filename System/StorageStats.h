#pragma once

#include <cstdint>

namespace orlet {

// Space on the start-up volume, in bytes.
struct StorageStats {
    std::uint64_t total = 0;
    std::uint64_t available = 0; ///< what an ordinary user may still write

    bool operator==(const StorageStats&) const = default;
};

} // namespace orlet
