#pragma once

#include "Weather/WeatherAlerts.h"
#include "Weather/WeatherReport.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

namespace orlet {

// A forecast answer as the service sends it, before it becomes a report.
struct ForecastResponse {
    enum class TemperatureUnit { celsius, fahrenheit };
    enum class SpeedUnit { kmh, mph, metresPerSecond, knots };
    enum class LengthUnit { millimetres, centimetres, inches };

    struct Current {
        double temperature = 0;
        std::optional<double> apparentTemperature;
        int weatherCode = 0;
        std::optional<int> isDay;
        std::optional<int> relativeHumidity;
        std::optional<double> windSpeed;
        bool operator==(const Current&) const = default;
    };
    struct Hourly {
        std::vector<QDateTime> time;
        std::vector<std::optional<double>> temperature;
        std::vector<std::optional<int>> weatherCode;
        std::optional<std::vector<std::optional<int>>> isDay;
        std::optional<std::vector<std::optional<int>>> precipitationProbability;
        std::optional<std::vector<std::optional<double>>> precipitation;
        std::optional<std::vector<std::optional<double>>> snowfall;
        std::optional<std::vector<std::optional<double>>> windGusts;
        bool operator==(const Hourly&) const = default;
    };
    struct Daily {
        std::vector<std::optional<double>> temperatureMax;
        std::vector<std::optional<double>> temperatureMin;
        std::optional<std::vector<std::optional<QDateTime>>> sunrise;
        std::optional<std::vector<std::optional<QDateTime>>> sunset;
        bool operator==(const Daily&) const = default;
    };
    // The units the answer declares; absent where it declares none or one not known here, and
    // then the unit that was asked for applies.
    struct Units {
        std::optional<TemperatureUnit> currentTemperature;
        std::optional<SpeedUnit> currentWind;
        std::optional<TemperatureUnit> hourlyTemperature;
        std::optional<SpeedUnit> hourlyGusts;
        std::optional<LengthUnit> precipitation;
        std::optional<LengthUnit> snowfall;
        std::optional<TemperatureUnit> dailyTemperature;
        bool operator==(const Units&) const = default;
    };

    Current current;
    Hourly hourly;
    Daily daily;
    Units units;

    bool operator==(const ForecastResponse&) const = default;

    // Times are Unix seconds, or local times without a zone ("2026-03-02T14:00") placed with
    // "utc_offset_seconds". Anything else that does not fit says why in `error`.
    static std::optional<ForecastResponse> decode(const QByteArray& body, QString* error = nullptr);

    // `hourCount` coming hours that start after `now`, the conditions now and the worst hazard.
    WeatherReport report(bool fahrenheit, const QDateTime& now, int hourCount = 6) const;
    // Every hour with a temperature and a code, in Celsius and km/h.
    std::vector<WeatherAlerts::Hour> alertHours(bool fahrenheit) const;
};

} // namespace orlet
