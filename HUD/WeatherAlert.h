#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>
#include <array>
#include <optional>

namespace orlet {

// A severe-weather hazard ahead, raised by the weather service and shown as a transient.
struct WeatherAlert {
    // Declared most severe first: the declaration order is the priority order.
    enum class Kind { hail, thunderstorm, freezingRain, wind, heavySnow, heavyRain, heat, cold };

    Kind kind = Kind::hail;
    // When the hazard applies from; never before it was detected.
    QDateTime start;
    // The amount that triggered the alert, ready for display.
    std::optional<QString> measure;
    std::optional<QString> place;

    bool operator==(const WeatherAlert&) const = default;

    // Most severe first.
    static constexpr std::array<Kind, 8> allKinds{
        Kind::hail,      Kind::thunderstorm, Kind::freezingRain, Kind::wind,
        Kind::heavySnow, Kind::heavyRain,    Kind::heat,         Kind::cold};

    // The key under which delivered alerts are remembered; equal to the case name.
    static QString rawValue(Kind kind);
    // Exact and case-sensitive: remembered keys must map back to the same kind or to nothing.
    static std::optional<Kind> kindFromRaw(QStringView raw);
    static QString title(Kind kind);
    static QString advice(Kind kind);
    static QString symbol(Kind kind);
};

} // namespace orlet
