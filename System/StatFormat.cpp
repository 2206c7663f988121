#include "System/StatFormat.h"

#include <cmath>
#include <cstdio>

namespace orlet {
namespace {

// Printed rather than converted to an integer, so no value is out of range; adding 0 turns
// the -0 of a tiny negative value into 0.
QString whole(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", std::round(value) + 0.0);
    return QString::fromLatin1(text);
}

} // namespace

QString StatFormat::percent(double fraction) {
    return whole(fraction * 100) + QLatin1Char('%');
}

QString StatFormat::decimal(double value) {
    if (value >= 100) {
        return whole(value);
    }
    // C's "%.1f", which rounds the binary value; Qt's own formatter rounds 15.25 up.
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", value);
    return QString::fromLatin1(text);
}

QString StatFormat::storage(std::uint64_t bytes) {
    const double gigabytes = static_cast<double>(bytes) / 1e9;
    if (gigabytes >= 1000) {
        return decimal(gigabytes / 1000) + QStringLiteral(" TB");
    }
    return whole(gigabytes) + QStringLiteral(" GB");
}

QString StatFormat::rate(double bytesPerSecond) {
    const double kilobytes = bytesPerSecond / 1000;
    if (kilobytes < 1000) {
        return whole(kilobytes) + QStringLiteral(" KB/s");
    }
    const double megabytes = kilobytes / 1000;
    if (megabytes < 1000) {
        return decimal(megabytes) + QStringLiteral(" MB/s");
    }
    return decimal(megabytes / 1000) + QStringLiteral(" GB/s");
}

QString StatFormat::duration(int minutes) {
    if (minutes < 60) {
        return QString::number(minutes) + QLatin1Char('m');
    }
    return QStringLiteral("%1h %2m").arg(minutes / 60).arg(minutes % 60);
}

} // namespace orlet
