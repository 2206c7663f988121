// The service with the real client against a loopback server: what the user sees when the
// service answers badly or not at all.
#include "LoopbackHttpServer.h"
#include "Platform/DefaultsStore.h"
#include "Platform/ManualClock.h"
#include "QtTestSupport.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"
#include "Weather/WeatherAPI.h"
#include "Weather/WeatherService.h"
#include "WeatherFakes.h"
#include "WeatherFixtures.h"

#include <QNetworkAccessManager>
#include <gtest/gtest.h>

namespace orlet {
namespace {

using namespace std::chrono_literals;
using test::fixture;
using test::LoopbackHttpServer;
using Status = WeatherService::Status;

const Clock::Date tenPastTwo{std::chrono::seconds(1772406000 + 14 * 3600 + 600)};

struct BadInput {
    const char* sentence;
    // Changes what the server answers (or takes the server away) after a good report.
    std::function<void(std::unique_ptr<LoopbackHttpServer>&)> spoil;
    const char* city;
    Status expected;
};

// The service over the real client and a loopback server holding recorded answers.
class LoopbackWeather : public testing::Test {
protected:
    LoopbackWeather() {
        clock_.setDate(tenPastTwo);
        server_->route("/v1/search", LoopbackHttpServer::json(fixture("geocoding-london.json")));
        server_->route("/v1/forecast", LoopbackHttpServer::json(fixture("forecast-berlin.json")));
        const QUrl url = server_->url();
        api_ =
            std::make_unique<WeatherAPI>(network_, clock_, WeatherAPI::Endpoints{url, url, 300ms});
        service_ = std::make_unique<WeatherService>(
            WeatherService::Environment{clock_, store_, *api_, location_,
                                        [](const TransientActivity&) {}, [] { return false; }});
    }

    bool settled() {
        return LoopbackHttpServer::waitFor(
            [&] { return service_->status().state != Status::Case::loading; });
    }

    test::TemporaryDirectory directory_;
    ManualClock clock_;
    DefaultsStore store_{QString::fromStdString((directory_.path() / "defaults.json").string())};
    QNetworkAccessManager network_;
    std::unique_ptr<LoopbackHttpServer> server_ = std::make_unique<LoopbackHttpServer>();
    std::unique_ptr<WeatherAPI> api_;
    test::FakeLocation location_;
    std::unique_ptr<WeatherService> service_;
};

class BadInputKeepsTheReport : public LoopbackWeather,
                               public testing::WithParamInterface<BadInput> {};

TEST_P(BadInputKeepsTheReport, EndsInAStatusAPersonUnderstands) {
    service_->setCity("London");
    ASSERT_TRUE(settled());
    ASSERT_EQ(service_->status(), Status{});
    const std::optional<WeatherReport> good = service_->report();
    ASSERT_TRUE(good);
    ASSERT_EQ(good->hours.size(), 6u);

    GetParam().spoil(server_);
    service_->setCity(GetParam().city);
    ASSERT_TRUE(settled());
    EXPECT_EQ(service_->status(), GetParam().expected);
    EXPECT_EQ(service_->report(), good);
    EXPECT_EQ(service_->placeName(), QStringLiteral("London"));
}

void forecastAnswer(std::unique_ptr<LoopbackHttpServer>& server,
                    LoopbackHttpServer::Response response) {
    server->route("/v1/forecast", std::move(response));
}

QByteArray localTimesWithoutOffset() {
    QJsonObject answer = test::fixtureObject("forecast-berlin-local-times.json");
    answer.remove("utc_offset_seconds");
    return test::bytes(answer);
}

const Status unavailable = Status::failed("Weather service unavailable");
const Status couldNotLoad = Status::failed("Couldn't load the weather");

INSTANTIATE_TEST_SUITE_P(
    Weather, BadInputKeepsTheReport,
    testing::ValuesIn(std::vector<BadInput>{
        {"HTTP 400 with the services error body",
         [](auto& s) {
             forecastAnswer(s, LoopbackHttpServer::json(fixture("error-400.json"), 400));
         },
         "London", unavailable},
        {"HTTP 500", [](auto& s) { forecastAnswer(s, LoopbackHttpServer::json("oops", 500)); },
         "London", unavailable},
        {"a body that is not JSON",
         [](auto& s) { forecastAnswer(s, LoopbackHttpServer::json("{\"current\": {")); }, "London",
         couldNotLoad},
        {"local times without a time zone offset",
         [](auto& s) { forecastAnswer(s, LoopbackHttpServer::json(localTimesWithoutOffset())); },
         "London", couldNotLoad},
        {"a geocoding answer without results",
         [](auto& s) {
             s->route("/v1/search", LoopbackHttpServer::json(fixture("geocoding-no-results.json")));
         },
         "Atlantis", Status::failed("No place called “Atlantis”")},
        {"a connection refused", [](auto& s) { s.reset(); }, "London", couldNotLoad},
        {"a time-out", [](auto& s) { forecastAnswer(s, LoopbackHttpServer::held()); }, "London",
         couldNotLoad},
    }),
    test::SentenceName());

TEST_F(LoopbackWeather, ArraysOfUnequalLengthGiveAReportWithFewerHours) {
    QJsonObject answer = test::fixtureObject("forecast-berlin.json");
    test::editBlock(answer, "hourly", [](QJsonObject& hourly) {
        QJsonArray codes = hourly["weather_code"].toArray();
        while (codes.size() > 17) {
            codes.removeLast();
        }
        hourly["weather_code"] = codes;
    });
    server_->route("/v1/forecast", LoopbackHttpServer::json(test::bytes(answer)));
    service_->setCity("London");
    ASSERT_TRUE(settled());
    EXPECT_EQ(service_->status(), Status{});
    ASSERT_TRUE(service_->report());
    EXPECT_EQ(service_->report()->hours.size(), 2u);
}

} // namespace
} // namespace orlet
