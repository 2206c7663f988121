#include "Weather/WeatherAlerts.h"

#include <algorithm>
#include <cmath>

namespace orlet {

namespace {

using Kind = WeatherAlert::Kind;

constexpr qint64 windowLead = 3600; // the hour in progress still counts
constexpr std::size_t windowHours = 4;
constexpr qint64 nowSlack = 1200; // a hazard this close is already here

// Halves away from zero, as std::round does; the cast is safe for any weather figure.
long long rounded(double value) {
    return std::llround(value);
}

QString degrees(double celsius, bool fahrenheit) {
    const double shown = fahrenheit ? celsius * 9 / 5 + 32 : celsius;
    return QString::number(rounded(shown)) + QStringLiteral("°");
}

bool contains(const std::vector<WeatherAlerts::Hazard>& found, Kind kind) {
    return std::any_of(found.begin(), found.end(),
                       [kind](const WeatherAlerts::Hazard& hazard) { return hazard.kind == kind; });
}

std::optional<Kind> kindOfCode(int code) {
    switch (code) {
    case 96:
    case 99:
        return Kind::hail;
    case 95:
        return Kind::thunderstorm;
    case 56:
    case 57:
    case 66:
    case 67:
        return Kind::freezingRain;
    case 75:
    case 86:
        return Kind::heavySnow;
    case 65:
    case 82:
        return Kind::heavyRain;
    default:
        return std::nullopt;
    }
}

} // namespace

std::vector<WeatherAlerts::Hazard> WeatherAlerts::kinds(const Hour& hour, bool fahrenheit) {
    std::vector<Hazard> found;
    if (const std::optional<Kind> kind = kindOfCode(hour.code)) {
        found.push_back({*kind, std::nullopt});
    }
    if (hour.gustKmh && *hour.gustKmh >= 70) {
        const QString speed = fahrenheit ? QString::number(rounded(*hour.gustKmh / 1.609)) + " mph"
                                         : QString::number(rounded(*hour.gustKmh)) + " km/h";
        found.push_back({Kind::wind, QStringLiteral("Gusts up to ") + speed});
    }
    if (hour.precipitationMm && *hour.precipitationMm >= 10 && !contains(found, Kind::heavyRain)) {
        const QString amount =
            fahrenheit ? QString::asprintf("%.1f in in an hour", *hour.precipitationMm / 25.4)
                       : QString::number(rounded(*hour.precipitationMm)) + " mm in an hour";
        found.push_back({Kind::heavyRain, amount});
    }
    if (hour.snowfallCm && *hour.snowfallCm >= 2.5 && !contains(found, Kind::heavySnow)) {
        const QString amount = fahrenheit
                                   ? QString::asprintf("%.1f in an hour", *hour.snowfallCm / 2.54)
                                   : QString::asprintf("%.0f cm in an hour", *hour.snowfallCm);
        found.push_back({Kind::heavySnow, amount});
    }
    if (hour.temperatureC >= 38) {
        found.push_back({Kind::heat, degrees(hour.temperatureC, fahrenheit)});
    }
    if (hour.temperatureC <= -15) {
        found.push_back({Kind::cold, degrees(hour.temperatureC, fahrenheit)});
    }
    return found;
}

std::optional<WeatherAlert> WeatherAlerts::detect(const std::vector<Hour>& hours,
                                                  const QDateTime& now, bool fahrenheit) {
    const QDateTime earliest = now.addSecs(-windowLead);
    std::optional<WeatherAlert> best;
    std::size_t kept = 0;
    for (const Hour& hour : hours) {
        if (kept == windowHours) {
            break;
        }
        if (!(hour.time > earliest)) {
            continue;
        }
        ++kept;
        for (const Hazard& hazard : kinds(hour, fahrenheit)) {
            const QDateTime start = std::max(now, hour.time);
            // Declaration order is severity order: a smaller kind is more severe.
            if (!best || hazard.kind < best->kind ||
                (hazard.kind == best->kind && start < best->start)) {
                best = WeatherAlert{hazard.kind, start, hazard.measure, std::nullopt};
            }
        }
    }
    return best;
}

QString WeatherAlerts::when(const WeatherAlert& alert, const QDateTime& now, const QLocale& locale,
                            const QTimeZone& zone) {
    if (alert.start.toSecsSinceEpoch() - now.toSecsSinceEpoch() <= nowSlack) {
        return QStringLiteral("Now");
    }
    const QDateTime start = alert.start.toTimeZone(zone);
    const QString time = locale.toString(start.time(), QLocale::ShortFormat);
    if (start.date() == now.toTimeZone(zone).date()) {
        return QStringLiteral("Around ") + time;
    }
    return QStringLiteral("Around ") + time + QStringLiteral(" tomorrow");
}

} // namespace orlet
