#pragma once

#include <QString>
#include <cstdint>

namespace orlet {

// The short number texts of the system tab, the CPU wing, the alerts and the activity views.
// Whole numbers are rounded half away from zero.
class StatFormat {
public:
    // 0.42 gives "42%"; no clamping.
    static QString percent(double fraction);
    // From 100 on a whole number, below it one decimal.
    static QString decimal(double value);
    // Decimal units: "250 GB", "1.5 TB".
    static QString storage(std::uint64_t bytes);
    // Bytes per second: "1 KB/s", "2.5 MB/s", "1.2 GB/s".
    static QString rate(double bytesPerSecond);
    // "59m", "1h 0m", "2h 5m".
    static QString duration(int minutes);
};

} // namespace orlet
