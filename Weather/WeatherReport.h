#pragma once

#include "HUD/WeatherAlert.h"

#include <QDateTime>
#include <optional>
#include <vector>

namespace orlet {

// What the weather tab shows: the conditions now, today's range and the next hours.
struct WeatherReport {
    // One coming hour, identified by its start.
    struct Hour {
        QDateTime time;
        double temperature = 0;
        int code = 0;
        bool isDay = true;
        // Percent.
        std::optional<int> precipitationChance;
        bool operator==(const Hour&) const = default;
    };

    // Temperatures in the unit of `fahrenheit`.
    double temperature = 0;
    double feelsLike = 0;
    int code = 0;
    bool isDay = true;
    double high = 0;
    double low = 0;
    // Percent.
    std::optional<int> humidity;
    // km/h, or mph when `fahrenheit`.
    std::optional<double> windSpeed;
    std::optional<QDateTime> sunrise;
    std::optional<QDateTime> sunset;
    // Oldest first.
    std::vector<Hour> hours;
    bool fahrenheit = false;
    // The most severe hazard ahead.
    std::optional<WeatherAlert> alert;

    bool operator==(const WeatherReport&) const = default;
};

} // namespace orlet
