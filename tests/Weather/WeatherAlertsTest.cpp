#include "Weather/WeatherAlerts.h"

#include "QtTestSupport.h"
#include "TestNames.h"

#include <gtest/gtest.h>

namespace orlet {

// Readable hazards in failure messages; found by argument-dependent lookup.
void PrintTo(const WeatherAlerts::Hazard& found, std::ostream* out) {
    *out << WeatherAlert::rawValue(found.kind).toStdString() << " ("
         << found.measure.value_or(QStringLiteral("-")).toStdString() << ")";
}

namespace {

using Kind = WeatherAlert::Kind;
using Hazard = WeatherAlerts::Hazard;
using Hour = WeatherAlerts::Hour;

const QDateTime noon(QDate(2026, 3, 2), QTime(12, 0), QTimeZone::utc());

Hour hour(int code, double celsius = 10, std::optional<double> gust = std::nullopt,
          std::optional<double> rain = std::nullopt, std::optional<double> snow = std::nullopt) {
    return {noon, code, celsius, gust, rain, snow};
}

Hazard hazard(Kind kind, std::optional<QString> measure = std::nullopt) {
    return {kind, std::move(measure)};
}

struct KindsCase {
    const char* sentence;
    Hour hour;
    bool fahrenheit;
    std::vector<Hazard> expected;
};

class HazardsOfOneHour : public testing::TestWithParam<KindsCase> {};

TEST_P(HazardsOfOneHour, AreFoundInOrderWithTheirMeasures) {
    const KindsCase& c = GetParam();
    EXPECT_EQ(WeatherAlerts::kinds(c.hour, c.fahrenheit), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    WeatherAlerts, HazardsOfOneHour,
    testing::ValuesIn(std::vector<KindsCase>{
        {"codes 96 and 99 are hail", hour(99), false, {hazard(Kind::hail)}},
        {"code 95 is a thunderstorm", hour(95), false, {hazard(Kind::thunderstorm)}},
        {"freezing drizzle is freezing rain", hour(57), false, {hazard(Kind::freezingRain)}},
        {"code 67 is freezing rain", hour(67), false, {hazard(Kind::freezingRain)}},
        {"snow showers 86 are heavy snow", hour(86), false, {hazard(Kind::heavySnow)}},
        {"heavy showers 82 are heavy rain", hour(82), false, {hazard(Kind::heavyRain)}},
        {"plain rain is nothing", hour(63, 10, 20, 3, 0), false, {}},
        {"a gust just under 70 is nothing", hour(3, 10, 69.9), false, {}},
        {"a gust of 70 is wind",
         hour(3, 10, 70),
         false,
         {hazard(Kind::wind, "Gusts up to 70 km/h")}},
        {"a gust of 70 reads in mph in Fahrenheit mode",
         hour(3, 10, 70),
         true,
         {hazard(Kind::wind, "Gusts up to 44 mph")}},
        {"code 65 with 12 mm is one heavy rain without a measure",
         hour(65, 10, {}, 12),
         false,
         {hazard(Kind::heavyRain)}},
        {"12 mm under an overcast sky is heavy rain by amount",
         hour(3, 10, {}, 12),
         false,
         {hazard(Kind::heavyRain, "12 mm in an hour")}},
        {"rain amounts read in inches in Fahrenheit mode",
         hour(3, 10, {}, 12),
         true,
         {hazard(Kind::heavyRain, "0.5 in in an hour")}},
        {"9.9 mm is not heavy rain", hour(3, 10, {}, 9.9), false, {}},
        {"code 75 with 4 cm is one heavy snow",
         hour(75, -2, {}, {}, 4),
         false,
         {hazard(Kind::heavySnow)}},
        {"3 cm of snow is heavy snow by amount",
         hour(71, -2, {}, {}, 3),
         false,
         {hazard(Kind::heavySnow, "3 cm in an hour")}},
        {"snow amounts read in inches in Fahrenheit mode",
         hour(71, -2, {}, {}, 3),
         true,
         {hazard(Kind::heavySnow, "1.2 in an hour")}},
        {"2.4 cm of snow is nothing", hour(71, -2, {}, {}, 2.4), false, {}},
        {"38.4 degrees is heat", hour(0, 38.4), false, {hazard(Kind::heat, "38°")}},
        {"38.4 degrees reads 101 in Fahrenheit mode",
         hour(0, 38.4),
         true,
         {hazard(Kind::heat, "101°")}},
        {"37.9 degrees is no heat", hour(0, 37.9), false, {}},
        {"minus 15 exactly is cold", hour(0, -15), false, {hazard(Kind::cold, "-15°")}},
        {"minus 15 reads 5 in Fahrenheit mode", hour(0, -15), true, {hazard(Kind::cold, "5°")}},
        {"minus 14.9 is not cold", hour(0, -14.9), false, {}},
        {"halves round away from zero", hour(0, -15.5), false, {hazard(Kind::cold, "-16°")}},
        {"one stormy hour gives every hazard in list order",
         hour(96, 40, 90.4, 30, 5),
         false,
         {hazard(Kind::hail), hazard(Kind::wind, "Gusts up to 90 km/h"),
          hazard(Kind::heavyRain, "30 mm in an hour"), hazard(Kind::heavySnow, "5 cm in an hour"),
          hazard(Kind::heat, "40°")}},
    }),
    test::SentenceName());

// Hours on the full hour from 12:00 with the window taken at 13:40.
std::vector<Hour> hoursFromNoon(const std::vector<int>& codes) {
    std::vector<Hour> hours;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        hours.push_back({noon.addSecs(3600 * static_cast<qint64>(i)), codes[i], 10, {}, {}, {}});
    }
    return hours;
}

const QDateTime at1340 = noon.addSecs(100 * 60);

struct DetectCase {
    const char* sentence;
    std::vector<int> codes; // 12:00, 13:00, …
    std::optional<Kind> kind;
    QDateTime start;
};

class Detection : public testing::TestWithParam<DetectCase> {};

TEST_P(Detection, KeepsTheMostSevereHazardOfTheCurrentAndNextThreeHours) {
    const DetectCase& c = GetParam();
    const std::optional<WeatherAlert> alert =
        WeatherAlerts::detect(hoursFromNoon(c.codes), at1340, false);
    ASSERT_EQ(alert.has_value(), c.kind.has_value());
    if (alert) {
        EXPECT_EQ(alert->kind, *c.kind);
        EXPECT_EQ(alert->start, c.start);
        EXPECT_EQ(alert->place, std::nullopt);
    }
}

INSTANTIATE_TEST_SUITE_P(
    WeatherAlerts, Detection,
    testing::ValuesIn(std::vector<DetectCase>{
        {"an hour that ended before the one in progress is left out",
         {95, 0, 0, 0, 0, 0},
         std::nullopt,
         {}},
        {"a storm five hours ahead is beyond the window", {0, 0, 0, 0, 0, 95}, std::nullopt, {}},
        {"the last hour of the window counts",
         {0, 0, 0, 0, 95, 0},
         Kind::thunderstorm,
         noon.addSecs(4 * 3600)},
        {"a hazard of the hour in progress starts now",
         {0, 95, 0, 0, 0, 0},
         Kind::thunderstorm,
         at1340},
        {"hail later beats a thunderstorm sooner",
         {0, 0, 0, 95, 96, 0},
         Kind::hail,
         noon.addSecs(4 * 3600)},
        {"among equal kinds the first found wins",
         {0, 0, 95, 95, 95},
         Kind::thunderstorm,
         noon.addSecs(2 * 3600)},
        {"freezing rain beats heavy snow",
         {0, 75, 66, 0},
         Kind::freezingRain,
         noon.addSecs(2 * 3600)},
        {"a calm forecast has no alert", {0, 1, 2, 3, 45, 61}, std::nullopt, {}},
    }),
    test::SentenceName());

TEST(WeatherAlerts, TheWindowCountsHoursFromTheForecastNotFromTheClock) {
    // A forecast with holes: the window is the first four hours that remain, however far.
    std::vector<Hour> hours = hoursFromNoon({0, 0, 0, 0, 0, 0, 0, 95});
    hours.erase(hours.begin() + 2, hours.begin() + 6); // 12, 13, 18, 19
    const auto alert = WeatherAlerts::detect(hours, at1340, false);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->start, noon.addSecs(7 * 3600));
}

TEST(WeatherAlerts, MeasuresFollowTheUnitOfTheReport) {
    std::vector<Hour> hours = hoursFromNoon({0, 0});
    hours[1].gustKmh = 80.45; // 50 mph
    EXPECT_EQ(WeatherAlerts::detect(hours, at1340, true)->measure,
              QStringLiteral("Gusts up to 50 mph"));
    EXPECT_EQ(WeatherAlerts::detect(hours, at1340, false)->measure,
              QStringLiteral("Gusts up to 80 km/h"));
}

struct WhenCase {
    const char* sentence;
    QDateTime now;
    QDateTime start;
    const char* expected;
};

class WhenText : public testing::TestWithParam<WhenCase> {};

TEST_P(WhenText, SaysNowOrAroundWhatTime) {
    const WhenCase& c = GetParam();
    const WeatherAlert alert{Kind::wind, c.start, std::nullopt, std::nullopt};
    EXPECT_EQ(WeatherAlerts::when(alert, c.now, QLocale(QLocale::English, QLocale::UnitedStates),
                                  QTimeZone("Europe/Berlin")),
              QString::fromUtf8(c.expected));
}

// Berlin is UTC+1 in March.
QDateTime berlin(int day, int hour, int minute = 0) {
    return QDateTime(QDate(2026, 3, day), QTime(hour, minute), QTimeZone("Europe/Berlin"));
}

INSTANTIATE_TEST_SUITE_P(
    WeatherAlerts, WhenText,
    testing::ValuesIn(std::vector<WhenCase>{
        {"fifteen minutes ahead is now", berlin(2, 14), berlin(2, 14, 15), "Now"},
        {"exactly twenty minutes ahead is still now", berlin(2, 14), berlin(2, 14, 20), "Now"},
        {"later today is around that time", berlin(2, 14), berlin(2, 15), "Around 3:00 PM"},
        {"after midnight is tomorrow", berlin(2, 23), berlin(3, 2), "Around 2:00 AM tomorrow"},
        {"the calendar day is the local one, not UTC's", berlin(2, 0, 30), berlin(2, 3),
         "Around 3:00 AM"},
    }),
    test::SentenceName());

} // namespace
} // namespace orlet
