#include "Weather/ForecastResponse.h"

#include "QtTestSupport.h"
#include "TestNames.h"
#include "WeatherFixtures.h"

#include <gtest/gtest.h>

namespace orlet {
namespace {

using test::bytes;
using test::editBlock;
using test::fixture;
using test::fixtureObject;
using test::setHourly;
using Kind = WeatherAlert::Kind;

// The first hour of the Berlin answers: 2026-03-02 00:00 in Berlin.
const QDateTime firstHour = QDateTime::fromSecsSinceEpoch(1772406000, QTimeZone::utc());

QDateTime hourAt(int index) {
    return firstHour.addSecs(3600 * static_cast<qint64>(index));
}

ForecastResponse decoded(const QByteArray& body) {
    QString why;
    const std::optional<ForecastResponse> response = ForecastResponse::decode(body, &why);
    if (!response) {
        ADD_FAILURE() << "does not decode: " << why.toStdString();
        return {};
    }
    return *response;
}

TEST(ForecastResponse, DecodesTheRecordedAnswerInTheShapeTheProgramAsksFor) {
    const ForecastResponse response = decoded(fixture("forecast-berlin.json"));
    EXPECT_EQ(response.current, (ForecastResponse::Current{12.7, 9.1, 2, 1, 53, 14.3}));
    ASSERT_EQ(response.hourly.time.size(), 48u);
    EXPECT_EQ(response.hourly.time[0], firstHour);
    EXPECT_EQ(response.hourly.time[47], hourAt(47));
    EXPECT_EQ(response.hourly.temperature[3], 1.0);
    EXPECT_EQ(response.hourly.weatherCode[3], 45);
    EXPECT_EQ(response.hourly.windGusts->at(14), 23.8);
    EXPECT_EQ(response.daily.temperatureMax[0], 13.1);
    EXPECT_EQ(response.daily.temperatureMin[0], -0.7);
    EXPECT_EQ(response.units.hourlyGusts, ForecastResponse::SpeedUnit::kmh);
}

TEST(ForecastResponse, LocalTimeStringsArePlacedWithTheAnswersOffsetFromUtc) {
    const ForecastResponse local = decoded(fixture("forecast-berlin-local-times.json"));
    const ForecastResponse unix = decoded(fixture("forecast-berlin.json"));
    // "2026-03-02T00:00" in a zone one hour ahead of UTC is 23:00 UTC the day before.
    EXPECT_EQ(local.hourly.time.front(),
              QDateTime(QDate(2026, 3, 1), QTime(23, 0), QTimeZone::utc()));
    EXPECT_EQ(local.hourly, unix.hourly);
    EXPECT_EQ(local.daily, unix.daily);
}

TEST(ForecastResponse, TheFahrenheitAnswerWithItsMphUnitNameGivesMetricAlertHours) {
    QJsonObject answer = fixtureObject("forecast-berlin-fahrenheit.json");
    EXPECT_EQ(answer["hourly_units"].toObject()["wind_gusts_10m"].toString(), "mp/h");
    setHourly(answer, "wind_gusts_10m", 14, 50);
    setHourly(answer, "temperature_2m", 15, 100.4);
    const std::vector<WeatherAlerts::Hour> hours = decoded(bytes(answer)).alertHours(true);
    EXPECT_NEAR(*hours[14].gustKmh, 80.45, 1e-9);
    EXPECT_NEAR(hours[15].temperatureC, 38.0, 1e-9);
}

TEST(ForecastResponse, UnitsTheAnswerDeclaresWinOverTheUnitsAskedFor) {
    // A mirror that ignores the unit parameters still gives the right alerts and figures.
    const ForecastResponse metric = decoded(fixture("forecast-berlin.json"));
    const WeatherReport asFahrenheit = metric.report(true, hourAt(14));
    EXPECT_NEAR(asFahrenheit.temperature, 12.7 * 9 / 5 + 32, 1e-9);
    EXPECT_NEAR(*asFahrenheit.windSpeed, 14.3 / 1.609, 1e-9);
    EXPECT_NEAR(metric.alertHours(true)[14].gustKmh.value(), 23.8, 1e-9);
    EXPECT_NEAR(metric.alertHours(true)[14].temperatureC, 12.7, 1e-9);
}

TEST(ForecastResponse, TheReportTakesTheNextSixWholeHoursAfterNowAndSkipsHoursWithoutValues) {
    QJsonObject answer = fixtureObject("forecast-berlin.json");
    setHourly(answer, "temperature_2m", 16, QJsonValue::Null);
    setHourly(answer, "weather_code", 18, QJsonValue::Null);
    setHourly(answer, "is_day", 17, QJsonValue::Null);
    setHourly(answer, "precipitation_probability", 19, 40);
    const QDateTime at1420 = hourAt(14).addSecs(20 * 60);
    const WeatherReport report = decoded(bytes(answer)).report(false, at1420);

    std::vector<QDateTime> times;
    for (const WeatherReport::Hour& hour : report.hours) {
        times.push_back(hour.time);
    }
    EXPECT_EQ(times, (std::vector<QDateTime>{hourAt(15), hourAt(17), hourAt(19), hourAt(20),
                                             hourAt(21), hourAt(22)}));
    EXPECT_EQ(report.hours[0], (WeatherReport::Hour{hourAt(15), 13.0, 1, true, 0}));
    EXPECT_TRUE(report.hours[1].isDay) << "a null is_day counts as day";
    EXPECT_FALSE(report.hours[2].isDay);
    EXPECT_EQ(report.hours[2].precipitationChance, 40);

    EXPECT_EQ(report.temperature, 12.7);
    EXPECT_EQ(report.feelsLike, 9.1);
    EXPECT_EQ(report.code, 2);
    EXPECT_TRUE(report.isDay);
    EXPECT_EQ(report.high, 13.1);
    EXPECT_EQ(report.low, -0.7);
    EXPECT_EQ(report.humidity, 53);
    EXPECT_EQ(report.windSpeed, 14.3);
    EXPECT_EQ(report.sunrise, hourAt(6).addSecs(52 * 60));
    EXPECT_EQ(report.sunset, hourAt(18).addSecs(60));
    EXPECT_FALSE(report.fahrenheit);
    EXPECT_EQ(report.alert, std::nullopt);
}

TEST(ForecastResponse, AnHourThatHasBegunIsNotShownButAnHourStartingAfterNowIs) {
    const ForecastResponse response = decoded(fixture("forecast-berlin.json"));
    EXPECT_EQ(response.report(false, hourAt(14)).hours.front().time, hourAt(15));
    EXPECT_EQ(response.report(false, hourAt(14).addSecs(-1)).hours.front().time, hourAt(14));
    EXPECT_EQ(response.report(false, hourAt(45)).hours.size(), 2u) << "the answer runs out";
}

TEST(ForecastResponse, MissingOptionalValuesFallBackAsTheServiceLeavesThemOut) {
    QJsonObject answer = fixtureObject("forecast-berlin.json");
    editBlock(answer, "current", [](QJsonObject& current) {
        current.remove("is_day");
        current.remove("apparent_temperature");
        current.remove("relative_humidity_2m");
        current["wind_speed_10m"] = QJsonValue::Null;
    });
    editBlock(answer, "daily", [](QJsonObject& daily) {
        daily["temperature_2m_max"] = QJsonArray{QJsonValue::Null};
        daily["temperature_2m_min"] = QJsonArray{};
        daily.remove("sunrise");
        daily["sunset"] = QJsonArray{QJsonValue::Null};
    });
    editBlock(answer, "hourly", [](QJsonObject& hourly) {
        for (const char* key : {"is_day", "precipitation_probability", "precipitation", "snowfall",
                                "wind_gusts_10m"}) {
            hourly.remove(key);
        }
    });
    const WeatherReport report = decoded(bytes(answer)).report(false, hourAt(14));
    EXPECT_TRUE(report.isDay);
    EXPECT_EQ(report.feelsLike, 12.7);
    EXPECT_EQ(report.high, 12.7);
    EXPECT_EQ(report.low, 12.7);
    EXPECT_EQ(report.humidity, std::nullopt);
    EXPECT_EQ(report.windSpeed, std::nullopt);
    EXPECT_EQ(report.sunrise, std::nullopt);
    EXPECT_EQ(report.sunset, std::nullopt);
    ASSERT_EQ(report.hours.size(), 6u);
    EXPECT_TRUE(report.hours[0].isDay);
    EXPECT_EQ(report.hours[0].precipitationChance, std::nullopt);
}

TEST(ForecastResponse, ArraysShorterOrLongerThanTheTimesGiveFewerHoursAndNeverReadPastTheirEnd) {
    QJsonObject answer = fixtureObject("forecast-berlin.json");
    editBlock(answer, "hourly", [](QJsonObject& hourly) {
        QJsonArray temperatures = hourly["temperature_2m"].toArray();
        while (temperatures.size() > 17) {
            temperatures.removeLast();
        }
        hourly["temperature_2m"] = temperatures;
        QJsonArray gusts = hourly["wind_gusts_10m"].toArray();
        gusts.removeLast();
        hourly["wind_gusts_10m"] = gusts;
        QJsonArray codes = hourly["weather_code"].toArray();
        codes.append(95); // an extra value with no time: ignored
        hourly["weather_code"] = codes;
    });
    const ForecastResponse response = decoded(bytes(answer));
    const WeatherReport report = response.report(false, hourAt(14));
    ASSERT_EQ(report.hours.size(), 2u);
    EXPECT_EQ(report.hours[1].time, hourAt(16));
    EXPECT_EQ(response.alertHours(false).size(), 17u);
    EXPECT_EQ(report.alert, std::nullopt);
}

// Recorded answers with one hour made stormy, as the service writes such hours.
struct AlertCase {
    const char* sentence;
    std::vector<std::pair<const char*, QJsonValue>> hour15; // values of 15:00 in Berlin
    bool fahrenheit;
    std::optional<WeatherAlert> expected;
};

class AlertsOnRecordedAnswers : public testing::TestWithParam<AlertCase> {};

TEST_P(AlertsOnRecordedAnswers, AreDetectedFromTheHoursAhead) {
    const AlertCase& c = GetParam();
    QJsonObject answer =
        fixtureObject(c.fahrenheit ? "forecast-berlin-fahrenheit.json" : "forecast-berlin.json");
    for (const auto& [key, value] : c.hour15) {
        setHourly(answer, key, 15, value);
    }
    const QDateTime now = hourAt(14).addSecs(10 * 60);
    EXPECT_EQ(decoded(bytes(answer)).report(c.fahrenheit, now).alert, c.expected);
}

WeatherAlert at15(Kind kind, std::optional<QString> measure = std::nullopt) {
    return {kind, hourAt(15), std::move(measure), std::nullopt};
}

INSTANTIATE_TEST_SUITE_P(
    ForecastResponse, AlertsOnRecordedAnswers,
    testing::ValuesIn(std::vector<AlertCase>{
        {"a calm day raises nothing", {}, false, std::nullopt},
        {"a thunderstorm with hail",
         {{"weather_code", 99}, {"wind_gusts_10m", 85.0}},
         false,
         at15(Kind::hail)},
        {"freezing rain",
         {{"weather_code", 67}, {"temperature_2m", -0.4}},
         false,
         at15(Kind::freezingRain)},
        {"wind gusts", {{"wind_gusts_10m", 74.5}}, false, at15(Kind::wind, "Gusts up to 75 km/h")},
        {"wind gusts in mph",
         {{"wind_gusts_10m", 47.2}},
         true,
         at15(Kind::wind, "Gusts up to 47 mph")},
        {"heavy snow by amount",
         {{"weather_code", 73}, {"snowfall", 3.15}},
         false,
         at15(Kind::heavySnow, "3 cm in an hour")},
        {"heat", {{"temperature_2m", 39.6}}, false, at15(Kind::heat, "40°")},
        {"heat in Fahrenheit", {{"temperature_2m", 103.3}}, true, at15(Kind::heat, "103°")},
        {"cold", {{"temperature_2m", -18.2}}, false, at15(Kind::cold, "-18°")},
        {"heavy rain by amount",
         {{"precipitation", 14.6}},
         false,
         at15(Kind::heavyRain, "15 mm in an hour")},
    }),
    test::SentenceName());

struct BadCase {
    const char* sentence;
    std::function<QByteArray()> body;
};

class UndecodableAnswers : public testing::TestWithParam<BadCase> {};

TEST_P(UndecodableAnswers, AreRefusedWithAReason) {
    QString why;
    EXPECT_EQ(ForecastResponse::decode(GetParam().body(), &why), std::nullopt);
    EXPECT_FALSE(why.isEmpty());
}

QByteArray edited(const char* name, const std::function<void(QJsonObject&)>& edit) {
    QJsonObject answer = fixtureObject(name);
    edit(answer);
    return bytes(answer);
}

INSTANTIATE_TEST_SUITE_P(
    ForecastResponse, UndecodableAnswers,
    testing::ValuesIn(std::vector<BadCase>{
        {"an HTML error page",
         [] { return QByteArray("<html><body>502 Bad Gateway</body></html>"); }},
        {"an empty body", [] { return QByteArray(); }},
        {"a JSON list", [] { return QByteArray("[1,2]"); }},
        {"the error body of a bad request", [] { return fixture("error-400.json"); }},
        {"the recorded answer without current conditions",
         [] { return fixture("forecast-hourly-berlin.json"); }},
        {"local times without the offset from UTC",
         [] {
             return edited("forecast-berlin-local-times.json",
                           [](QJsonObject& a) { a.remove("utc_offset_seconds"); });
         }},
        {"a null time",
         [] {
             return edited("forecast-berlin.json",
                           [](QJsonObject& a) { setHourly(a, "time", 3, QJsonValue::Null); });
         }},
        {"a time that is no date",
         [] {
             return edited("forecast-berlin-local-times.json",
                           [](QJsonObject& a) { setHourly(a, "time", 3, "tomorrow"); });
         }},
        {"a weather code with a fraction",
         [] {
             return edited("forecast-berlin.json",
                           [](QJsonObject& a) { setHourly(a, "weather_code", 3, 45.5); });
         }},
        {"a temperature as text",
         [] {
             return edited("forecast-berlin.json",
                           [](QJsonObject& a) { setHourly(a, "temperature_2m", 3, "3.2"); });
         }},
        {"a current temperature of null",
         [] {
             return edited("forecast-berlin.json", [](QJsonObject& a) {
                 editBlock(a, "current",
                           [](QJsonObject& c) { c["temperature_2m"] = QJsonValue::Null; });
             });
         }},
        {"hourly values that are no list",
         [] {
             return edited("forecast-berlin.json", [](QJsonObject& a) {
                 editBlock(a, "hourly", [](QJsonObject& h) { h["snowfall"] = 0; });
             });
         }},
        {"no daily block",
         [] { return edited("forecast-berlin.json", [](QJsonObject& a) { a.remove("daily"); }); }},
    }),
    test::SentenceName());

} // namespace
} // namespace orlet
