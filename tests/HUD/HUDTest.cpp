#include "HUD/HeadphoneBattery.h"
#include "HUD/TransientActivity.h"
#include "HUD/WeatherAlert.h"
#include "TestNames.h"

#include <QTimeZone>
#include <gtest/gtest.h>
#include <ostream>

// Readable failure messages for Qt strings.
static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace orlet {
namespace {

using namespace std::chrono_literals;
using Kind = WeatherAlert::Kind;
using T = TransientActivity;

constexpr std::optional<int> none = std::nullopt;

HeadphoneBattery battery(std::optional<int> left, std::optional<int> right,
                         std::optional<int> caseLevel, std::optional<int> single) {
    return HeadphoneBattery{QStringLiteral("Buds"), left, right, caseLevel, single};
}

QDateTime at(int hour) {
    return QDateTime(QDate(2024, 7, 1), QTime(hour, 0), QTimeZone::utc());
}

WeatherAlert weatherAlert(Kind kind, int hour = 14) {
    return WeatherAlert{kind, at(hour), QStringLiteral("40 mm"), QStringLiteral("Lyon")};
}

// ---- HeadphoneBattery

struct BatteryCase {
    const char* sentence;
    HeadphoneBattery battery;
    QString summary;
    std::optional<int> lowest;
};

class HeadphoneBatteryDerived : public testing::TestWithParam<BatteryCase> {};

TEST_P(HeadphoneBatteryDerived, SummarisesAndFindsTheLowestLevel) {
    EXPECT_EQ(GetParam().battery.summary(), GetParam().summary);
    EXPECT_EQ(GetParam().battery.lowest(), GetParam().lowest);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeadphoneBatteryDerived,
    testing::Values(BatteryCase{"different earbuds show both left first",
                                battery(80, 75, none, none), QStringLiteral("80% \u00B7 75%"), 75},
                    BatteryCase{"a higher right earbud still comes second", battery(75, 80, 90, 10),
                                QStringLiteral("75% \u00B7 80%"), 10},
                    BatteryCase{"a left earbud alone shows its level", battery(60, none, 90, 30),
                                QStringLiteral("60%"), 30},
                    BatteryCase{"equal earbuds show one level", battery(80, 80, none, none),
                                QStringLiteral("80%"), 80},
                    BatteryCase{"a right earbud alone shows its level", battery(none, 45, 90, 70),
                                QStringLiteral("45%"), 45},
                    BatteryCase{"a one piece headset shows its level before the case",
                                battery(none, none, 20, 55), QStringLiteral("55%"), 55},
                    BatteryCase{"only a case level shows it but is not the lowest",
                                battery(none, none, 50, none), QStringLiteral("50%"), none},
                    BatteryCase{"a case level of ten alone has no lowest level",
                                battery(none, none, 10, none), QStringLiteral("10%"), none},
                    BatteryCase{"nothing known shows a dash", battery(none, none, none, none),
                                QStringLiteral("\u2014"), none},
                    BatteryCase{"an earbud lower than its case is the lowest",
                                battery(15, none, 90, none), QStringLiteral("15%"), 15},
                    BatteryCase{"an empty earbud counts as known", battery(0, none, none, none),
                                QStringLiteral("0%"), 0},
                    BatteryCase{"empty earbuds that differ show both", battery(0, 100, 0, none),
                                QStringLiteral("0% \u00B7 100%"), 0}),
    test::SentenceName());

// ---- WeatherAlert

struct KindCase {
    const char* sentence;
    Kind kind;
    const char* raw;
    const char* title;
    const char* advice;
    const char* symbol;
};

class WeatherAlertKindTexts : public testing::TestWithParam<KindCase> {};

TEST_P(WeatherAlertKindTexts, ShowsTheKindsOwnTextsAndRoundTripsItsRawValue) {
    const KindCase& c = GetParam();
    EXPECT_EQ(WeatherAlert::rawValue(c.kind), QString::fromUtf8(c.raw));
    EXPECT_EQ(WeatherAlert::kindFromRaw(QString::fromUtf8(c.raw)), c.kind);
    EXPECT_EQ(WeatherAlert::title(c.kind), QString::fromUtf8(c.title));
    EXPECT_EQ(WeatherAlert::advice(c.kind), QString::fromUtf8(c.advice));
    EXPECT_EQ(WeatherAlert::symbol(c.kind), QString::fromUtf8(c.symbol));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WeatherAlertKindTexts,
    testing::Values(KindCase{"hail", Kind::hail, "hail", "Thunderstorm with hail",
                             "Stay indoors and away from windows", "cloud.hail.fill"},
                    KindCase{"thunderstorm", Kind::thunderstorm, "thunderstorm", "Thunderstorm",
                             "Stay indoors and away from windows", "cloud.bolt.rain.fill"},
                    KindCase{"freezing rain", Kind::freezingRain, "freezingRain", "Freezing rain",
                             "Roads and paths may be icy", "cloud.sleet.fill"},
                    KindCase{"wind", Kind::wind, "wind", "Damaging winds",
                             "Secure loose objects outside", "wind"},
                    KindCase{"heavy snow", Kind::heavySnow, "heavySnow", "Heavy snow",
                             "Travel may be difficult", "cloud.snow.fill"},
                    KindCase{"heavy rain", Kind::heavyRain, "heavyRain", "Heavy rain",
                             "Watch out for flooding", "cloud.heavyrain.fill"},
                    KindCase{"heat", Kind::heat, "heat", "Extreme heat",
                             "Drink water, avoid the midday sun",
                             "sun.max.trianglebadge.exclamationmark.fill"},
                    KindCase{"cold", Kind::cold, "cold", "Extreme cold",
                             "Dress warmly, limit time outside", "thermometer.snowflake"}),
    test::SentenceName());

TEST(WeatherAlertKind, ListsEveryKindOnceMostSevereFirst) {
    const std::array expected{Kind::hail,      Kind::thunderstorm, Kind::freezingRain, Kind::wind,
                              Kind::heavySnow, Kind::heavyRain,    Kind::heat,         Kind::cold};
    EXPECT_EQ(WeatherAlert::allKinds, expected);
}

struct RawCase {
    const char* sentence;
    const char* raw;
    std::optional<Kind> kind;
};

class WeatherAlertKindFromRaw : public testing::TestWithParam<RawCase> {};

TEST_P(WeatherAlertKindFromRaw, AcceptsOnlyExactRawValues) {
    EXPECT_EQ(WeatherAlert::kindFromRaw(QString::fromUtf8(GetParam().raw)), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WeatherAlertKindFromRaw,
    testing::Values(RawCase{"the camel case name is heavy snow", "heavySnow", Kind::heavySnow},
                    RawCase{"a capitalised name is nothing", "Hail", std::nullopt},
                    RawCase{"an all lower case name is nothing", "freezingrain", std::nullopt},
                    RawCase{"a title is nothing", "Heavy snow", std::nullopt},
                    RawCase{"surrounding blanks are not trimmed", " wind", std::nullopt},
                    RawCase{"a prefix of a name is nothing", "thunder", std::nullopt},
                    RawCase{"an empty string is nothing", "", std::nullopt}),
    test::SentenceName());

// ---- TransientActivity

// One transient of each case, in case order.
std::vector<TransientActivity> oneOfEachCase() {
    return {
        T::level(T::LevelKind::volume, 0.5, false),
        T::charging(0.4, 90),
        T::alert(QStringLiteral("battery.25"), QStringLiteral("Battery low"), T::Severity::warning),
        T::headphones(battery(80, 75, 90, none)),
        T::app(QStringLiteral("build"), QStringLiteral("hammer"), QStringLiteral("Done"),
               T::Tone::success),
        T::weather(weatherAlert(Kind::wind))};
}

TEST(TransientActivityCase, EachConstructorMakesItsOwnCaseInOrder) {
    const std::vector<TransientActivity> all = oneOfEachCase();
    const std::array expected{T::Case::level,      T::Case::charging, T::Case::alert,
                              T::Case::headphones, T::Case::app,      T::Case::weather};
    ASSERT_EQ(all.size(), expected.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        const TransientActivity& t = all[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(t.kind(), expected[i]);
        EXPECT_EQ(t.isLevel(), expected[i] == T::Case::level);
        EXPECT_EQ(t.isWeather(), expected[i] == T::Case::weather);
        const int present = (t.asLevel() != nullptr) + (t.asCharging() != nullptr) +
                            (t.asAlert() != nullptr) + (t.asHeadphones() != nullptr) +
                            (t.asApp() != nullptr) + (t.asWeather() != nullptr);
        EXPECT_EQ(present, 1);
    }
    EXPECT_EQ(all[0].asLevel()->value, 0.5);
    EXPECT_EQ(all[1].asCharging()->minutes, 90);
    EXPECT_EQ(all[2].asAlert()->text, QStringLiteral("Battery low"));
    EXPECT_EQ(all[3].asHeadphones()->battery.caseLevel, 90);
    EXPECT_EQ(all[4].asApp()->appID, QStringLiteral("build"));
    EXPECT_EQ(all[5].asWeather()->alert.kind, Kind::wind);
}

TEST(TransientActivityIsSameKind, NeverMatchesNoneOrAnotherCase) {
    const std::vector<TransientActivity> all = oneOfEachCase();
    for (std::size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(all[i].isSameKind(std::nullopt));
        for (std::size_t j = 0; j < all.size(); ++j) {
            EXPECT_EQ(all[i].isSameKind(all[j]), i == j) << "against " << j;
        }
    }
}

struct SameKindCase {
    const char* sentence;
    TransientActivity shown;
    TransientActivity incoming;
    bool sameKind;
};

class TransientActivityIsSameKindWithin : public testing::TestWithParam<SameKindCase> {};

TEST_P(TransientActivityIsSameKindWithin, DecidesFromTheCasesOwnFields) {
    const SameKindCase& c = GetParam();
    EXPECT_EQ(c.incoming.isSameKind(c.shown), c.sameKind);
    EXPECT_EQ(c.shown.isSameKind(c.incoming), c.sameKind) << "the answer is symmetric";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransientActivityIsSameKindWithin,
    testing::Values(
        SameKindCase{"a volume change replaces a volume level",
                     T::level(T::LevelKind::volume, 0.2, false),
                     T::level(T::LevelKind::volume, 0.9, true), true},
        SameKindCase{"a brightness change replaces a brightness level",
                     T::level(T::LevelKind::brightness, 0.2, false),
                     T::level(T::LevelKind::brightness, 0.3, false), true},
        SameKindCase{"brightness does not replace volume",
                     T::level(T::LevelKind::volume, 0.5, false),
                     T::level(T::LevelKind::brightness, 0.5, false), false},
        SameKindCase{"charging always replaces charging", T::charging(0.1, none),
                     T::charging(0.8, 30), true},
        SameKindCase{
            "alerts with one symbol but other texts match",
            T::alert(QStringLiteral("cpu"), QStringLiteral("CPU at 95%"), T::Severity::warning),
            T::alert(QStringLiteral("cpu"), QStringLiteral("CPU at 99%"), T::Severity::critical),
            true},
        SameKindCase{
            "alerts with one text but other symbols differ",
            T::alert(QStringLiteral("cpu"), QStringLiteral("High load"), T::Severity::warning),
            T::alert(QStringLiteral("memorychip"), QStringLiteral("High load"),
                     T::Severity::warning),
            false},
        SameKindCase{
            "any headphones replace headphones", T::headphones(battery(80, 80, none, none)),
            T::headphones(HeadphoneBattery{QStringLiteral("Headset"), none, none, none, 40}), true},
        SameKindCase{"one app with one symbol matches whatever the text and tone",
                     T::app(QStringLiteral("build"), QStringLiteral("hammer"),
                            QStringLiteral("Started"), T::Tone::info),
                     T::app(QStringLiteral("build"), QStringLiteral("hammer"),
                            QStringLiteral("Failed"), T::Tone::failure),
                     true},
        SameKindCase{"one app with different symbols differs",
                     T::app(QStringLiteral("build"), QStringLiteral("hammer"),
                            QStringLiteral("Done"), T::Tone::success),
                     T::app(QStringLiteral("build"), QStringLiteral("xmark"),
                            QStringLiteral("Done"), T::Tone::success),
                     false},
        SameKindCase{"different apps with one symbol differ",
                     T::app(QStringLiteral("build"), QStringLiteral("hammer"),
                            QStringLiteral("Done"), T::Tone::success),
                     T::app(QStringLiteral("deploy"), QStringLiteral("hammer"),
                            QStringLiteral("Done"), T::Tone::success),
                     false},
        SameKindCase{"weather of one kind at different starts matches",
                     T::weather(weatherAlert(Kind::heat, 12)),
                     T::weather(WeatherAlert{Kind::heat, at(18), std::nullopt, std::nullopt}),
                     true},
        SameKindCase{"weather of different kinds at one start differs",
                     T::weather(weatherAlert(Kind::heavyRain, 12)),
                     T::weather(weatherAlert(Kind::heavySnow, 12)), false}),
    test::SentenceName());

struct DurationCase {
    const char* sentence;
    TransientActivity transient;
    std::chrono::milliseconds duration;
};

class TransientActivityDuration : public testing::TestWithParam<DurationCase> {};

TEST_P(TransientActivityDuration, StaysForItsCasesTime) {
    EXPECT_EQ(GetParam().transient.duration(), GetParam().duration);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransientActivityDuration,
    testing::Values(DurationCase{"a level", T::level(T::LevelKind::brightness, 1, false), 1500ms},
                    DurationCase{"charging", T::charging(0.5, none), 3500ms},
                    DurationCase{"a critical alert", T::alert({}, {}, T::Severity::critical), 5s},
                    DurationCase{"headphones", T::headphones({}), 4s},
                    DurationCase{"a successful app", T::app({}, {}, {}, T::Tone::success), 4s},
                    DurationCase{"an app asking for attention",
                                 T::app({}, {}, {}, T::Tone::attention), 6s},
                    DurationCase{"a failed app", T::app({}, {}, {}, T::Tone::failure), 4s},
                    DurationCase{"an informing app", T::app({}, {}, {}, T::Tone::info), 4s},
                    DurationCase{"weather", T::weather(weatherAlert(Kind::cold)), 12s}),
    test::SentenceName());

struct EqualityCase {
    const char* sentence;
    TransientActivity a;
    TransientActivity b;
};

class TransientActivityEquality : public testing::TestWithParam<EqualityCase> {};

// Equality is stricter than sameness: the view redraws on any change within the same kind.
TEST_P(TransientActivityEquality, DiffersInAnySingleField) {
    EXPECT_NE(GetParam().a, GetParam().b);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransientActivityEquality,
    testing::Values(
        EqualityCase{"a level's value", T::level(T::LevelKind::volume, 0.5, false),
                     T::level(T::LevelKind::volume, 0.6, false)},
        EqualityCase{"a level's mute", T::level(T::LevelKind::volume, 0.5, false),
                     T::level(T::LevelKind::volume, 0.5, true)},
        EqualityCase{"known and unknown charging minutes", T::charging(0.5, 0),
                     T::charging(0.5, none)},
        EqualityCase{"an alert's severity",
                     T::alert(QStringLiteral("cpu"), QStringLiteral("x"), T::Severity::warning),
                     T::alert(QStringLiteral("cpu"), QStringLiteral("x"), T::Severity::critical)},
        EqualityCase{"a headphone name", T::headphones(battery(80, 75, none, none)),
                     T::headphones(HeadphoneBattery{QStringLiteral("Other"), 80, 75, none, none})},
        EqualityCase{"a headphone case level", T::headphones(battery(80, 75, none, none)),
                     T::headphones(battery(80, 75, 10, none))},
        EqualityCase{
            "an app's tone",
            T::app(QStringLiteral("a"), QStringLiteral("s"), QStringLiteral("t"), T::Tone::info),
            T::app(QStringLiteral("a"), QStringLiteral("s"), QStringLiteral("t"),
                   T::Tone::attention)},
        EqualityCase{"a weather alert's start", T::weather(weatherAlert(Kind::wind, 10)),
                     T::weather(weatherAlert(Kind::wind, 11))},
        EqualityCase{
            "a weather alert's place", T::weather(weatherAlert(Kind::wind)),
            T::weather(WeatherAlert{Kind::wind, at(14), QStringLiteral("40 mm"), std::nullopt})},
        EqualityCase{"a weather alert's measure", T::weather(weatherAlert(Kind::wind)),
                     T::weather(WeatherAlert{Kind::wind, at(14), QStringLiteral("41 mm"),
                                             QStringLiteral("Lyon")})}),
    test::SentenceName());

} // namespace
} // namespace orlet
