#include "Weather/WeatherCondition.h"

#include "QtTestSupport.h"

#include <gtest/gtest.h>

namespace orlet {
namespace {

struct Row {
    std::vector<int> codes;
    const char* title;
    const char* day;
    const char* night;
};

const std::vector<Row> table{
    {{0}, "Clear", "sun.max.fill", "moon.stars.fill"},
    {{1}, "Mostly clear", "cloud.sun.fill", "cloud.moon.fill"},
    {{2}, "Partly cloudy", "cloud.sun.fill", "cloud.moon.fill"},
    {{3}, "Overcast", "cloud.fill", "cloud.fill"},
    {{45, 48}, "Fog", "cloud.fog.fill", "cloud.fog.fill"},
    {{51, 53, 55}, "Drizzle", "cloud.drizzle.fill", "cloud.drizzle.fill"},
    {{56, 57}, "Freezing drizzle", "cloud.drizzle.fill", "cloud.drizzle.fill"},
    {{61}, "Light rain", "cloud.rain.fill", "cloud.rain.fill"},
    {{63}, "Rain", "cloud.rain.fill", "cloud.rain.fill"},
    {{65}, "Heavy rain", "cloud.heavyrain.fill", "cloud.heavyrain.fill"},
    {{66, 67}, "Freezing rain", "cloud.rain.fill", "cloud.rain.fill"},
    {{71}, "Light snow", "cloud.snow.fill", "cloud.snow.fill"},
    {{73}, "Snow", "cloud.snow.fill", "cloud.snow.fill"},
    {{75}, "Heavy snow", "cloud.snow.fill", "cloud.snow.fill"},
    {{77}, "Snow grains", "cloud.snow.fill", "cloud.snow.fill"},
    {{80, 81}, "Showers", "cloud.sun.rain.fill", "cloud.rain.fill"},
    {{82}, "Heavy showers", "cloud.heavyrain.fill", "cloud.heavyrain.fill"},
    {{85, 86}, "Snow showers", "cloud.snow.fill", "cloud.snow.fill"},
    {{95}, "Thunderstorm", "cloud.bolt.rain.fill", "cloud.bolt.rain.fill"},
    {{96, 99}, "Thunderstorm, hail", "cloud.bolt.rain.fill", "cloud.bolt.rain.fill"},
};

TEST(WeatherCondition, EveryWmoCodeHasItsTitleAndItsDayAndNightSymbol) {
    for (const Row& row : table) {
        for (const int code : row.codes) {
            const WeatherCondition condition(code);
            EXPECT_EQ(condition.title(), QString::fromUtf8(row.title)) << code;
            EXPECT_EQ(condition.symbol(true), QString::fromUtf8(row.day)) << code;
            EXPECT_EQ(condition.symbol(false), QString::fromUtf8(row.night)) << code;
        }
    }
}

TEST(WeatherCondition, CodesOutsideTheTableAreUnknownByDayAndNight) {
    // Neighbours of real codes, the padding value of short rows, and nonsense.
    for (const int code : {-1, 4,  44, 46, 50, 52, 58, 60, 62, 64,  68,  70,
                           76, 78, 79, 83, 84, 87, 94, 97, 98, 100, 1000}) {
        const WeatherCondition condition(code);
        EXPECT_EQ(condition.title(), QStringLiteral("—")) << code;
        EXPECT_EQ(condition.symbol(true), QStringLiteral("questionmark")) << code;
        EXPECT_EQ(condition.symbol(false), QStringLiteral("questionmark")) << code;
    }
}

} // namespace
} // namespace orlet
