#pragma once

#include <cstdint>
#include <optional>

namespace orlet {

// Physical memory and swap, in bytes.
struct MemoryStats {
    // The kernel's memory-pressure levels; the raw values are the levels themselves.
    enum class Pressure { normal = 1, warning = 2, critical = 4 };

    std::uint64_t total = 0;
    std::uint64_t used = 0; ///< app + wired + compressed, never above total
    std::uint64_t app = 0;
    std::uint64_t wired = 0;
    std::uint64_t compressed = 0;
    std::uint64_t cached = 0;
    std::uint64_t swapUsed = 0;
    Pressure pressure = Pressure::normal;

    bool operator==(const MemoryStats&) const = default;

    // Any other level names no pressure.
    static constexpr std::optional<Pressure> pressureFromRaw(int raw) {
        switch (raw) {
        case 1:
            return Pressure::normal;
        case 2:
            return Pressure::warning;
        case 4:
            return Pressure::critical;
        default:
            return std::nullopt;
        }
    }
};

} // namespace orlet
