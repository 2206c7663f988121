#pragma once

#include "System/StorageStats.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orlet {

// One logical processor's time counters, in the kernel's ticks. Kept 32 bits wide: the load
// is computed from wrapping differences, so a counter that passes 2^32 still gives its step.
struct CPUTicks {
    std::uint32_t user = 0;
    std::uint32_t system = 0;
    std::uint32_t idle = 0;
    std::uint32_t nice = 0;

    bool operator==(const CPUTicks&) const = default;
};

// Memory as the samplers count it, in bytes. How each is formed from the kernel's counters
// is written down at the one reader that fills it.
struct VMCounters {
    std::uint64_t total = 0;      ///< physical memory
    std::uint64_t internal = 0;   ///< held by programs
    std::uint64_t purgeable = 0;  ///< program memory the kernel may drop without asking
    std::uint64_t wired = 0;      ///< can be neither reclaimed nor swapped
    std::uint64_t compressed = 0; ///< taken by the compressed swap cache
    std::uint64_t external = 0;   ///< file-backed, dropped when memory is needed
    std::uint64_t swapUsed = 0;

    bool operator==(const VMCounters&) const = default;
};

// Byte totals since an interface came up.
struct InterfaceTotals {
    std::uint64_t received = 0;
    std::uint64_t sent = 0;

    bool operator==(const InterfaceTotals&) const = default;
};

// One power source as the system describes it.
struct PowerSource {
    bool isInternalBattery = false; ///< not a mouse, headset or UPS
    std::optional<double> currentCapacity{};
    std::optional<double> maxCapacity{};
    bool isCharging = false;
    bool isOnACPower = false;
    // As reported: 0 or less while the system still estimates.
    std::optional<int> minutesToFull{};
    std::optional<int> minutesToEmpty{};

    bool operator==(const PowerSource&) const = default;
};

// The raw counters of the machine. Every read is safe from any one thread at a time and gives
// nothing when the counter cannot be had.
class SystemSource {
public:
    virtual ~SystemSource() = default;

    // Per logical processor, in the kernel's order.
    virtual std::optional<std::vector<CPUTicks>> readTicks() const = 0;
    // Utilisation percentages of every accelerator that reports one.
    virtual std::vector<double> readAcceleratorPercents() const = 0;
    virtual std::optional<VMCounters> readMemory() const = 0;
    // 1, 2 or 4 as the kernel's pressure levels.
    virtual std::optional<int> readPressureLevel() const = 0;
    virtual std::optional<StorageStats> readVolume() const = 0;
    // By interface name; loopback not included.
    virtual std::optional<std::map<std::string, InterfaceTotals>> readInterfaces() const = 0;
    virtual std::optional<std::vector<PowerSource>> readPowerSources() const = 0;
};

} // namespace orlet
