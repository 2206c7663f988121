#include "Weather/WeatherCondition.h"

#include <algorithm>
#include <array>

namespace orlet {

namespace {

struct Row {
    std::array<int, 3> codes;
    std::size_t count;
    QStringView title;
    QStringView day;
    QStringView night;
};

const std::array<Row, 20> rows{{
    {{0, 0, 0}, 1, u"Clear", u"sun.max.fill", u"moon.stars.fill"},
    {{1, 0, 0}, 1, u"Mostly clear", u"cloud.sun.fill", u"cloud.moon.fill"},
    {{2, 0, 0}, 1, u"Partly cloudy", u"cloud.sun.fill", u"cloud.moon.fill"},
    {{3, 0, 0}, 1, u"Overcast", u"cloud.fill", u"cloud.fill"},
    {{45, 48, 0}, 2, u"Fog", u"cloud.fog.fill", u"cloud.fog.fill"},
    {{51, 53, 55}, 3, u"Drizzle", u"cloud.drizzle.fill", u"cloud.drizzle.fill"},
    {{56, 57, 0}, 2, u"Freezing drizzle", u"cloud.drizzle.fill", u"cloud.drizzle.fill"},
    {{61, 0, 0}, 1, u"Light rain", u"cloud.rain.fill", u"cloud.rain.fill"},
    {{63, 0, 0}, 1, u"Rain", u"cloud.rain.fill", u"cloud.rain.fill"},
    {{65, 0, 0}, 1, u"Heavy rain", u"cloud.heavyrain.fill", u"cloud.heavyrain.fill"},
    {{66, 67, 0}, 2, u"Freezing rain", u"cloud.rain.fill", u"cloud.rain.fill"},
    {{71, 0, 0}, 1, u"Light snow", u"cloud.snow.fill", u"cloud.snow.fill"},
    {{73, 0, 0}, 1, u"Snow", u"cloud.snow.fill", u"cloud.snow.fill"},
    {{75, 0, 0}, 1, u"Heavy snow", u"cloud.snow.fill", u"cloud.snow.fill"},
    {{77, 0, 0}, 1, u"Snow grains", u"cloud.snow.fill", u"cloud.snow.fill"},
    {{80, 81, 0}, 2, u"Showers", u"cloud.sun.rain.fill", u"cloud.rain.fill"},
    {{82, 0, 0}, 1, u"Heavy showers", u"cloud.heavyrain.fill", u"cloud.heavyrain.fill"},
    {{85, 86, 0}, 2, u"Snow showers", u"cloud.snow.fill", u"cloud.snow.fill"},
    {{95, 0, 0}, 1, u"Thunderstorm", u"cloud.bolt.rain.fill", u"cloud.bolt.rain.fill"},
    {{96, 99, 0}, 2, u"Thunderstorm, hail", u"cloud.bolt.rain.fill", u"cloud.bolt.rain.fill"},
}};

const Row* rowOf(int code) {
    for (const Row& row : rows) {
        const auto end = row.codes.begin() + row.count;
        if (std::find(row.codes.begin(), end, code) != end) {
            return &row;
        }
    }
    return nullptr;
}

} // namespace

QString WeatherCondition::title() const {
    const Row* row = rowOf(code_);
    return row ? row->title.toString() : QStringLiteral("—");
}

QString WeatherCondition::symbol(bool isDay) const {
    const Row* row = rowOf(code_);
    if (!row) {
        return QStringLiteral("questionmark");
    }
    return (isDay ? row->day : row->night).toString();
}

} // namespace orlet
