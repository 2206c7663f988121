#include "Weather/WeatherService.h"

#include "Platform/DefaultsStore.h"
#include "Platform/ManualClock.h"
#include "QtTestSupport.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"
#include "WeatherFakes.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace orlet {
namespace {

using namespace std::chrono_literals;
using Status = WeatherService::Status;
using Case = WeatherService::Status::Case;
using Authorization = LocationSource::Authorization;
using Failure = WeatherSource::Failure;
using Kind = WeatherAlert::Kind;

// 2026-03-02 10:00 UTC.
const Clock::Date tenOClock{std::chrono::seconds(1772445600)};

WeatherReport reportWith(std::optional<Kind> kind, double temperature = 12) {
    WeatherReport report;
    report.temperature = temperature;
    if (kind) {
        report.alert =
            WeatherAlert{*kind, QDateTime::fromSecsSinceEpoch(1772445600, QTimeZone::utc()),
                         std::nullopt, std::nullopt};
    }
    return report;
}

// A service over fakes on a manual clock, its defaults in a file that outlives the service.
class Weather : public testing::Test {
protected:
    Weather() {
        clock_.setDate(tenOClock);
        weather_.reportFor = [] { return WeatherSource::ReportResult(reportWith(std::nullopt)); };
        restart();
    }

    // A new store over the same file and a new service: what a restart of the program does.
    void restart() {
        service_.reset();
        store_ = std::make_unique<DefaultsStore>(
            QString::fromStdString((directory_.path() / "defaults.json").string()));
        service_ = std::make_unique<WeatherService>(WeatherService::Environment{
            clock_, *store_, weather_, location_,
            [this](const TransientActivity& activity) { transients_.push_back(activity); },
            [this] { return localeFahrenheit_; }});
    }

    WeatherService& service() { return *service_; }
    void turn() { clock_.advance(0ms); }

    std::vector<Kind> raised() const {
        std::vector<Kind> kinds;
        for (const TransientActivity& activity : transients_) {
            kinds.push_back(activity.asWeather()->alert.kind);
        }
        return kinds;
    }

    test::TemporaryDirectory directory_;
    ManualClock clock_;
    test::FakeWeather weather_{clock_};
    test::FakeLocation location_;
    bool localeFahrenheit_ = false;
    std::unique_ptr<DefaultsStore> store_;
    std::unique_ptr<WeatherService> service_;
    std::vector<TransientActivity> transients_;
};

TEST_F(Weather, ATypedCityIsTrimmedStoredAndFetchedAtOnce) {
    weather_.placeFor = [](const QString&) {
        return WeatherSource::PlaceResult(WeatherSource::Place{"Porto Alegre", -30.0328, -51.2302});
    };
    weather_.reportFor = [] { return WeatherSource::ReportResult(reportWith(std::nullopt, 24)); };
    service().setCity("  Porto Alegre \n");
    EXPECT_EQ(store_->string("weather.city"), QStringLiteral("Porto Alegre"));
    EXPECT_EQ(service().status().state, Case::loading);
    turn();
    turn();
    EXPECT_EQ(weather_.calls,
              (std::vector<QString>{"search Porto Alegre", "forecast -30.033 -51.230 C"}));
    EXPECT_EQ(service().status(), Status{});
    EXPECT_EQ(service().report(), reportWith(std::nullopt, 24));
    EXPECT_EQ(service().placeName(), QStringLiteral("Porto Alegre"));
    EXPECT_EQ(location_.locationRequests, 0);
}

struct PlaceCase {
    const char* sentence;
    Authorization authorization;
    Case status;
    int locationRequests;
};

class WithoutACity : public Weather, public testing::WithParamInterface<PlaceCase> {};

TEST_P(WithoutACity, TheMachinesPositionIsUsedOnlyWhenAllowedAndNobodyIsAsked) {
    store_->set("weather.city", QStringLiteral("Lisbon"));
    location_.state = GetParam().authorization;
    service().setCity("   ");
    EXPECT_EQ(store_->string("weather.city"), QString());
    EXPECT_EQ(service().status().state, GetParam().status);
    EXPECT_EQ(location_.locationRequests, GetParam().locationRequests);
    EXPECT_EQ(location_.authorizationRequests, 0);
    turn();
    EXPECT_TRUE(weather_.calls.empty()) << "the city that was cleared is not fetched";
}

INSTANTIATE_TEST_SUITE_P(
    Weather, WithoutACity,
    testing::ValuesIn(std::vector<PlaceCase>{
        {"not asked yet needs the location", Authorization::notDetermined, Case::needsLocation, 0},
        {"denied", Authorization::denied, Case::locationDenied, 0},
        {"restricted is shown as denied", Authorization::restricted, Case::locationDenied, 0},
        {"allowed asks for one fix", Authorization::authorized, Case::loading, 1},
    }),
    test::SentenceName());

TEST_F(Weather, AFixIsFetchedAsTheCurrentLocation) {
    location_.state = Authorization::authorized;
    service().reload(false);
    location_.onLocation(38.7223, -9.1393);
    turn();
    EXPECT_EQ(weather_.calls, (std::vector<QString>{"forecast 38.722 -9.139 C"}));
    EXPECT_EQ(service().placeName(), QStringLiteral("Current location"));
    EXPECT_EQ(service().status(), Status{});
}

TEST_F(Weather, AFailedFixFailsOnlyWhenThereIsNoReportToKeep) {
    location_.state = Authorization::authorized;
    service().reload(false);
    location_.onFailure();
    EXPECT_EQ(service().status(), Status::failed("Couldn't find your location"));

    service().reload(true);
    location_.onLocation(38.7, -9.1);
    turn();
    ASSERT_TRUE(service().report());
    service().reload(true);
    location_.onFailure();
    EXPECT_EQ(service().status(), Status{});
    EXPECT_TRUE(service().report());
}

TEST_F(Weather, AnAnswerToTheLocationQuestionReloadsWhileTheTabWaitsForIt) {
    service().reload(false);
    ASSERT_EQ(service().status().state, Case::needsLocation);
    location_.change(Authorization::denied);
    EXPECT_EQ(service().status().state, Case::locationDenied);
    location_.change(Authorization::authorized);
    EXPECT_EQ(service().status().state, Case::loading);
    EXPECT_EQ(location_.locationRequests, 1);
}

TEST_F(Weather, AnUnforcedReloadWaitsForTheFetchInFlightAndAForcedOneReplacesIt) {
    store_->set("weather.city", QStringLiteral("Oslo"));
    weather_.answerOnNextTurn = false;
    service().reload(false);
    service().reload(false);
    EXPECT_EQ(weather_.calls.size(), 1u);

    weather_.reportFor = [] { return WeatherSource::ReportResult(reportWith(std::nullopt, -3)); };
    service().reload(true);
    EXPECT_EQ(weather_.cancelled, 1);
    weather_.answerAll();
    weather_.answerAll();
    EXPECT_EQ(weather_.calls,
              (std::vector<QString>{"search Oslo", "search Oslo", "forecast 51.509 -0.126 C"}));
    EXPECT_EQ(service().report()->temperature, -3);
}

TEST_F(Weather, TheTabFetchesAgainOnlyOnceTheReportIsFifteenMinutesOld) {
    store_->set("weather.city", QStringLiteral("Oslo"));
    service().reloadIfStale();
    turn();
    turn();
    ASSERT_EQ(weather_.forecasts(), 1u);
    clock_.advance(10min);
    service().reloadIfStale();
    turn();
    turn();
    EXPECT_EQ(weather_.forecasts(), 1u);
    clock_.advance(5min - 1s);
    service().reloadIfStale();
    turn();
    EXPECT_EQ(weather_.forecasts(), 1u);
    clock_.advance(1s);
    service().reloadIfStale();
    turn();
    turn();
    EXPECT_EQ(weather_.forecasts(), 2u);
}

struct FailureCase {
    const char* sentence;
    Failure failure;
    const char* shown;
};

class FailedFetch : public Weather, public testing::WithParamInterface<FailureCase> {};

TEST_P(FailedFetch, ShowsItsTextAndKeepsTheLastGoodReport) {
    store_->set("weather.city", QStringLiteral("Oslo"));
    service().reload(true);
    turn();
    turn();
    ASSERT_EQ(service().report(), reportWith(std::nullopt));

    const Failure failure = GetParam().failure;
    weather_.reportFor = [failure] { return WeatherSource::ReportResult(failure); };
    test::LogCapture log;
    service().reload(true);
    turn();
    turn();
    EXPECT_EQ(service().status(), Status::failed(GetParam().shown));
    EXPECT_EQ(service().report(), reportWith(std::nullopt));
    EXPECT_EQ(service().placeName(), QStringLiteral("Oslo"));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].type, QtCriticalMsg);
    EXPECT_EQ(log.lines()[0].message, "Weather: " + failure.message);
}

INSTANTIATE_TEST_SUITE_P(Weather, FailedFetch,
                         testing::ValuesIn(std::vector<FailureCase>{
                             {"the service refuses",
                              {Failure::Reason::service, "Weather service unavailable"},
                              "Weather service unavailable"},
                             {"offline",
                              {Failure::Reason::offline, "Host api.open-meteo.com not found"},
                              "You're offline"},
                             {"timed out",
                              {Failure::Reason::timedOut, "Operation canceled"},
                              "Couldn't load the weather"},
                             {"refused connection",
                              {Failure::Reason::network, "Connection refused"},
                              "Couldn't load the weather"},
                             {"undecodable",
                              {Failure::Reason::decoding, "current is missing"},
                              "Couldn't load the weather"},
                         }),
                         test::SentenceName());

TEST_F(Weather, AnUnknownCityFailsWithItsName) {
    weather_.placeFor = [](const QString& name) {
        return WeatherSource::PlaceResult(
            Failure{Failure::Reason::service, "No place called “" + name + "”"});
    };
    service().setCity("Atlantis");
    turn();
    EXPECT_EQ(service().status(), Status::failed("No place called “Atlantis”"));
    EXPECT_EQ(weather_.forecasts(), 0u);
}

TEST_F(Weather, TheUnitIsTheStoredChoiceElseTheLocales) {
    store_->set("weather.city", QStringLiteral("Oslo"));
    for (const auto& [stored, locale, expected] :
         std::vector<std::tuple<std::optional<bool>, bool, const char*>>{{std::nullopt, false, "C"},
                                                                         {std::nullopt, true, "F"},
                                                                         {false, true, "C"},
                                                                         {true, false, "F"}}) {
        if (stored) {
            store_->set("weather.fahrenheit", *stored);
        } else {
            store_->remove("weather.fahrenheit");
        }
        localeFahrenheit_ = locale;
        weather_.calls.clear();
        service().reload(true);
        turn();
        turn();
        ASSERT_FALSE(weather_.calls.empty());
        EXPECT_TRUE(weather_.calls.back().endsWith(expected))
            << weather_.calls.back().toStdString();
    }
}

// The background check: 8 seconds after start, then every half hour.
TEST_F(Weather, BackgroundChecksStartAfterEightSecondsAndRepeatEveryHalfHour) {
    store_->set("weather.city", QStringLiteral("Oslo"));
    service().startAlerts();
    clock_.advance(8s - 1ms);
    EXPECT_TRUE(weather_.calls.empty());
    clock_.advance(1ms);
    EXPECT_EQ(weather_.forecasts(), 1u);
    clock_.advance(30min - 8s - 1ms);
    EXPECT_EQ(weather_.forecasts(), 1u);
    clock_.advance(1ms);
    EXPECT_EQ(weather_.forecasts(), 2u);
}

TEST_F(Weather, ADayOfBackgroundChecksSearchesTheCityOnceAndFetchesOncePerHalfHour) {
    store_->set("weather.city", QStringLiteral("Oslo"));
    service().startAlerts();
    clock_.advance(24h);
    // The first check at 8 s and 48 more on the half hours.
    EXPECT_EQ(weather_.forecasts(), 49u);
    EXPECT_EQ(weather_.calls.size(), 50u);
    EXPECT_EQ(weather_.calls[0], "search Oslo");
}

TEST_F(Weather, ATabVisitBetweenChecksPushesTheNextBackgroundFetchBack) {
    store_->set("weather.city", QStringLiteral("Oslo"));
    service().startAlerts();
    clock_.advance(8s);
    clock_.advance(25min);
    service().reloadIfStale(); // the report is 25 minutes old
    clock_.advance(0s);
    EXPECT_EQ(weather_.forecasts(), 2u);
    clock_.advance(5min); // the half-hour check finds a report 5 minutes old
    EXPECT_EQ(weather_.forecasts(), 2u);
}

TEST_F(Weather, NoBackgroundCheckWithoutAPlaceOrWithAlertsOff) {
    service().startAlerts();
    clock_.advance(2h);
    EXPECT_TRUE(weather_.calls.empty()) << "no city and no permission: nothing, nobody asked";
    EXPECT_EQ(location_.authorizationRequests, 0);
    EXPECT_EQ(location_.locationRequests, 0);

    store_->set("weather.city", QStringLiteral("Oslo"));
    service().setAlertsEnabled(false);
    EXPECT_EQ(store_->boolValue("weather.alerts"), false);
    clock_.advance(2h);
    EXPECT_TRUE(weather_.calls.empty());

    service().setAlertsEnabled(true);
    clock_.advance(8s);
    EXPECT_EQ(weather_.forecasts(), 1u);
}

TEST_F(Weather, AnAlertIsRaisedWithThePlaceName) {
    weather_.reportFor = [] { return WeatherSource::ReportResult(reportWith(Kind::wind)); };
    service().setCity("Wellington");
    clock_.advance(0s);
    ASSERT_EQ(transients_.size(), 1u);
    WeatherAlert expected = *reportWith(Kind::wind).alert;
    expected.place = QStringLiteral("Wellington");
    EXPECT_EQ(transients_[0], TransientActivity::weather(expected));
    EXPECT_EQ(service().report()->alert->place, std::nullopt) << "the report keeps its alert";
}

TEST_F(Weather, AlertsSwitchedOffRaiseNothing) {
    store_->set("weather.alerts", false);
    restart();
    weather_.reportFor = [] { return WeatherSource::ReportResult(reportWith(Kind::hail)); };
    service().setCity("Oslo");
    clock_.advance(0s);
    EXPECT_TRUE(transients_.empty());
    EXPECT_EQ(store_->bytes("weather.alerted"), std::nullopt);
}

struct RepeatCase {
    const char* sentence;
    Kind second;
    std::chrono::seconds later;
    bool raised;
};

class SixHourRule : public Weather, public testing::WithParamInterface<RepeatCase> {};

TEST_P(SixHourRule, HoldsAcrossARestart) {
    weather_.reportFor = [] { return WeatherSource::ReportResult(reportWith(Kind::thunderstorm)); };
    service().setCity("Oslo");
    clock_.advance(0s);
    ASSERT_EQ(raised(), std::vector<Kind>{Kind::thunderstorm});

    restart();
    clock_.advance(GetParam().later);
    const Kind second = GetParam().second;
    weather_.reportFor = [second] { return WeatherSource::ReportResult(reportWith(second)); };
    service().reload(true);
    clock_.advance(0s);
    EXPECT_EQ(raised().size(), GetParam().raised ? 2u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Weather, SixHourRule,
    testing::ValuesIn(std::vector<RepeatCase>{
        {"the same kind half an hour later is not raised", Kind::thunderstorm, 30min, false},
        {"the same kind at 15 59 is not raised", Kind::thunderstorm, 5h + 59min, false},
        {"the same kind a second short of six hours is not raised", Kind::thunderstorm, 6h - 1s,
         false},
        {"the same kind at 16 00 is raised", Kind::thunderstorm, 6h, true},
        {"the same kind the next day is raised", Kind::thunderstorm, 26h, true},
        {"another kind half an hour later is raised", Kind::hail, 30min, true},
    }),
    test::SentenceName());

TEST_F(Weather, TheRememberedAlertsDropOldEntriesAndSurviveGarbage) {
    const double now = 1772445600;
    store_->set("weather.alerted", QJsonDocument(QJsonObject{{"hail", now - 21600},
                                                             {"wind", now - 3600},
                                                             {"heat", "yesterday"},
                                                             {"cold", now + 40000}})
                                       .toJson(QJsonDocument::Compact));
    weather_.reportFor = [] { return WeatherSource::ReportResult(reportWith(Kind::cold)); };
    service().setCity("Oslo");
    clock_.advance(0s);
    EXPECT_EQ(raised(), std::vector<Kind>{Kind::cold})
        << "an entry far ahead of the clock does not silence its kind";
    const QJsonObject stored =
        QJsonDocument::fromJson(store_->bytes("weather.alerted").value()).object();
    EXPECT_EQ(stored, (QJsonObject{{"wind", now - 3600}, {"cold", now}}));

    transients_.clear();
    store_->set("weather.alerted", QByteArray("not json"));
    clock_.advance(1h);
    service().reload(true);
    clock_.advance(0s);
    EXPECT_EQ(raised(), std::vector<Kind>{Kind::cold}) << "an unreadable record counts as empty";
}

TEST_F(Weather, TheStatusNotifiesOnlyOnChange) {
    int changes = 0;
    QObject::connect(&service(), &WeatherService::statusChanged, [&] { ++changes; });
    service().reload(false);
    service().reload(false);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(service().status().state, Case::needsLocation);
}

} // namespace
} // namespace orlet
