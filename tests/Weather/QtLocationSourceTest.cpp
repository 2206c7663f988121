#include "Weather/QtLocationSource.h"

#include "Platform/DefaultsStore.h"
#include "Platform/ManualClock.h"
#include "QtTestSupport.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"
#include "Weather/WeatherService.h"
#include "WeatherFakes.h"

#include <gtest/gtest.h>

namespace orlet {
namespace {

using Authorization = LocationSource::Authorization;

// Stands in for GeoClue: counts requests and reports what the test tells it to.
class FakePositionSource : public QGeoPositionInfoSource {
public:
    FakePositionSource() : QGeoPositionInfoSource(nullptr) {}

    void setUpdateInterval(int) override {}
    QGeoPositionInfo lastKnownPosition(bool) const override { return {}; }
    PositioningMethods supportedPositioningMethods() const override {
        return NonSatellitePositioningMethods;
    }
    int minimumUpdateInterval() const override { return 1000; }
    Error error() const override { return NoError; }
    void startUpdates() override {}
    void stopUpdates() override {}
    void requestUpdate(int timeout) override {
        ++requests;
        lastTimeout = timeout;
    }

    void fix(double latitude, double longitude) {
        emit positionUpdated(
            QGeoPositionInfo(QGeoCoordinate(latitude, longitude), QDateTime::currentDateTimeUtc()));
    }
    void fail(Error error) { emit errorOccurred(error); }

    int requests = 0;
    int lastTimeout = 0;
};

struct Events {
    std::vector<std::pair<double, double>> fixes;
    int failures = 0;
    int changes = 0;
};

class GeoClue : public testing::Test {
protected:
    GeoClue() {
        auto fake = std::make_unique<FakePositionSource>();
        fake_ = fake.get();
        source_ = std::make_unique<QtLocationSource>(std::move(fake));
        source_->onLocation = [this](double lat, double lon) {
            events_.fixes.emplace_back(lat, lon);
        };
        source_->onFailure = [this] { ++events_.failures; };
        source_->onAuthorizationChange = [this] { ++events_.changes; };
    }

    FakePositionSource* fake_;
    std::unique_ptr<QtLocationSource> source_;
    Events events_;
};

TEST_F(GeoClue, NothingIsDecidedUntilTheAgentAnswers) {
    EXPECT_EQ(source_->authorization(), Authorization::notDetermined);
    source_->requestAuthorization();
    EXPECT_EQ(fake_->requests, 1);
    fake_->fix(59.91, 10.75);
    EXPECT_EQ(source_->authorization(), Authorization::authorized);
    EXPECT_EQ(events_.changes, 1);
    EXPECT_TRUE(events_.fixes.empty()) << "asking for permission is not asking for a fix";
}

TEST_F(GeoClue, ARequestedFixArrivesOnceWithItsCoordinates) {
    source_->requestLocation();
    EXPECT_EQ(fake_->lastTimeout, QtLocationSource::fixTimeoutMs);
    fake_->fix(59.91, 10.75);
    fake_->fix(1, 2);
    EXPECT_EQ(events_.fixes, (std::vector<std::pair<double, double>>{{59.91, 10.75}}));
    EXPECT_EQ(events_.failures, 0);
}

struct ErrorCase {
    const char* sentence;
    QGeoPositionInfoSource::Error error;
    Authorization authorization;
};

class GeoClueErrors : public GeoClue, public testing::WithParamInterface<ErrorCase> {};

TEST_P(GeoClueErrors, MapOntoTheAuthorizationStatesAndFailTheFix) {
    source_->requestLocation();
    fake_->fail(GetParam().error);
    EXPECT_EQ(source_->authorization(), GetParam().authorization);
    EXPECT_EQ(events_.changes, GetParam().authorization == Authorization::notDetermined ? 0 : 1);
    EXPECT_EQ(events_.failures, 1);
    fake_->fail(GetParam().error);
    EXPECT_EQ(events_.failures, 1) << "one failure per request";
}

INSTANTIATE_TEST_SUITE_P(
    Weather, GeoClueErrors,
    testing::ValuesIn(std::vector<ErrorCase>{
        {"a refusal is denied", QGeoPositionInfoSource::AccessError, Authorization::denied},
        {"a closed service is restricted", QGeoPositionInfoSource::ClosedError,
         Authorization::restricted},
        {"a time-out decides nothing", QGeoPositionInfoSource::UpdateTimeoutError,
         Authorization::notDetermined},
        {"an unknown error decides nothing", QGeoPositionInfoSource::UnknownSourceError,
         Authorization::notDetermined},
    }),
    test::SentenceName());

TEST(GeoClueMissing, WithoutALocationServiceThePositionIsRestrictedAndAFixFails) {
    QtLocationSource source(nullptr);
    int failures = 0;
    source.onFailure = [&] { ++failures; };
    EXPECT_EQ(source.authorization(), Authorization::restricted);
    source.requestAuthorization();
    source.requestLocation();
    EXPECT_EQ(failures, 1);
}

// The service over GeoClue's answers: a refusal from the agent falls back to the denied state.
class WeatherOverGeoClue : public GeoClue {
protected:
    WeatherOverGeoClue() {
        clock_.setDate(Clock::Date{std::chrono::seconds(1772445600)});
        service_ = std::make_unique<WeatherService>(
            WeatherService::Environment{clock_, store_, weather_, *source_,
                                        [](const TransientActivity&) {}, [] { return false; }});
    }

    test::TemporaryDirectory directory_;
    ManualClock clock_;
    DefaultsStore store_{QString::fromStdString((directory_.path() / "defaults.json").string())};
    test::FakeWeather weather_{clock_};
    std::unique_ptr<WeatherService> service_;
};

TEST_F(WeatherOverGeoClue, ARefusedPermissionShowsTheDeniedStateAndAGrantFetches) {
    using Case = WeatherService::Status::Case;
    service_->reload(false);
    EXPECT_EQ(service_->status().state, Case::needsLocation);
    EXPECT_EQ(fake_->requests, 0) << "no prompt from a reload";

    service_->requestLocationAccess();
    fake_->fail(QGeoPositionInfoSource::AccessError);
    EXPECT_EQ(service_->status().state, Case::locationDenied);

    service_->requestLocationAccess();
    fake_->fix(59.91, 10.75); // the user allowed it in the agent after all
    EXPECT_EQ(service_->status().state, Case::loading);
    fake_->fix(59.91, 10.75);
    clock_.advance(std::chrono::milliseconds(0));
    EXPECT_EQ(weather_.calls, std::vector<QString>{"forecast 59.910 10.750 C"});
    EXPECT_EQ(service_->status(), WeatherService::Status{});
    EXPECT_EQ(service_->placeName(), QStringLiteral("Current location"));
}

TEST(WeatherWithoutGeoClue, FallsBackToTheDeniedStateButATypedCityWorks) {
    test::TemporaryDirectory directory;
    ManualClock clock;
    DefaultsStore store(QString::fromStdString((directory.path() / "defaults.json").string()));
    test::FakeWeather weather(clock);
    QtLocationSource none(nullptr);
    WeatherService service(
        {clock, store, weather, none, [](const TransientActivity&) {}, [] { return false; }});
    service.reload(false);
    EXPECT_EQ(service.status().state, WeatherService::Status::Case::locationDenied);
    service.setCity("Oslo");
    clock.advance(std::chrono::milliseconds(0));
    EXPECT_EQ(service.status(), WeatherService::Status{});
    EXPECT_TRUE(service.report());
}

} // namespace
} // namespace orlet
