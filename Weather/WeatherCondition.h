#pragma once

#include <QString>

namespace orlet {

// A WMO weather code as Open-Meteo reports it, with its title and icon.
class WeatherCondition {
public:
    explicit WeatherCondition(int code) : code_(code) {}

    int code() const { return code_; }
    // "—" for a code outside the table.
    QString title() const;
    QString symbol(bool isDay) const;

    bool operator==(const WeatherCondition&) const = default;

private:
    int code_;
};

} // namespace orlet
