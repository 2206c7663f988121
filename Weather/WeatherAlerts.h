#pragma once

#include "HUD/WeatherAlert.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>
#include <optional>
#include <vector>

namespace orlet {

// Finds the most severe hazard in the hour in progress and the three after it.
class WeatherAlerts {
public:
    WeatherAlerts() = delete;

    // One forecast hour, always metric whatever unit the report is shown in.
    struct Hour {
        QDateTime time;
        int code = 0;
        double temperatureC = 0;
        std::optional<double> gustKmh;
        std::optional<double> precipitationMm;
        std::optional<double> snowfallCm;
        bool operator==(const Hour&) const = default;
    };

    struct Hazard {
        WeatherAlert::Kind kind = WeatherAlert::Kind::hail;
        std::optional<QString> measure;
        bool operator==(const Hazard&) const = default;
    };

    // The hazards of one hour in the order they are looked for; measures in the display unit.
    static std::vector<Hazard> kinds(const Hour& hour, bool fahrenheit);
    static std::optional<WeatherAlert> detect(const std::vector<Hour>& hours, const QDateTime& now,
                                              bool fahrenheit);
    // "Now", "Around 3:00 PM" or "Around 2:00 AM tomorrow", in `zone`'s calendar.
    static QString when(const WeatherAlert& alert, const QDateTime& now, const QLocale& locale,
                        const QTimeZone& zone);
};

} // namespace orlet
