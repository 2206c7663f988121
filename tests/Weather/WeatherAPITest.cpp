#include "Weather/WeatherAPI.h"

#include "LoopbackHttpServer.h"
#include "Platform/ManualClock.h"
#include "QtTestSupport.h"
#include "TestNames.h"
#include "WeatherFixtures.h"

#include <QNetworkAccessManager>
#include <QTcpServer>
#include <gtest/gtest.h>

namespace orlet {
namespace {

using namespace std::chrono_literals;
using test::fixture;
using test::LoopbackHttpServer;
using Failure = WeatherSource::Failure;
using Reason = WeatherSource::Failure::Reason;

// 14:10 in Berlin on the first day of the recorded answers.
const Clock::Date tenPastTwo{std::chrono::seconds(1772406000 + 14 * 3600 + 600)};

QList<QPair<QString, QString>>
items(std::initializer_list<std::pair<const char*, const char*>> list) {
    QList<QPair<QString, QString>> result;
    for (const auto& [key, value] : list) {
        result.append({QString::fromUtf8(key), QString::fromUtf8(value)});
    }
    return result;
}

// A port nobody listens on: taken and given back at once.
QUrl closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
}

class Client : public testing::Test {
protected:
    Client() { clock_.setDate(tenPastTwo); }

    WeatherAPI& api(std::chrono::milliseconds timeout = 10s, qint64 maxBody = 8 << 20,
                    QLocale locale = QLocale(QLocale::German, QLocale::Germany)) {
        api_ = std::make_unique<WeatherAPI>(
            network_, clock_, WeatherAPI::Endpoints{server_.url(), server_.url(), timeout, maxBody},
            locale);
        return *api_;
    }

    template <typename Result> std::optional<Result> wait(std::optional<Result>& result) {
        EXPECT_TRUE(LoopbackHttpServer::waitFor([&] { return result.has_value(); }));
        return result;
    }

    WeatherSource::ReportResult forecast(bool fahrenheit = false) {
        std::optional<WeatherSource::ReportResult> result;
        WeatherAPI& client = api_ ? *api_ : api();
        const auto request = client.forecast(50, 10, fahrenheit, [&](auto r) { result = r; });
        return wait(result).value_or(Failure{Reason::network, "no answer"});
    }

    WeatherSource::PlaceResult geocode(const QString& name) {
        std::optional<WeatherSource::PlaceResult> result;
        WeatherAPI& client = api_ ? *api_ : api();
        const auto request = client.geocode(name, [&](auto r) { result = r; });
        return wait(result).value_or(Failure{Reason::network, "no answer"});
    }

    LoopbackHttpServer server_;
    QNetworkAccessManager network_;
    ManualClock clock_;
    std::unique_ptr<WeatherAPI> api_;
};

TEST_F(Client, AForecastAsksForExactlyTheItemsTheReportNeeds) {
    for (const bool fahrenheit : {false, true}) {
        server_.route("/v1/forecast", LoopbackHttpServer::json(fixture("forecast-berlin.json")));
        api();
        std::optional<WeatherSource::ReportResult> result;
        const auto request =
            api_->forecast(-33.868819, 151.20929, fahrenheit, [&](auto r) { result = r; });
        ASSERT_TRUE(wait(result));
        const LoopbackHttpServer::Request& sent = server_.requests().back();
        EXPECT_EQ(sent.method, "GET");
        EXPECT_EQ(sent.path, "/v1/forecast");
        EXPECT_EQ(sent.headers.value("user-agent"), "Orlet");
        EXPECT_EQ(sent.queryItems,
                  items({{"latitude", "-33.869"},
                         {"longitude", "151.209"},
                         {"current", "temperature_2m,apparent_temperature,weather_code,is_day,"
                                     "relative_humidity_2m,wind_speed_10m"},
                         {"hourly", "temperature_2m,weather_code,is_day,precipitation_probability,"
                                    "precipitation,snowfall,wind_gusts_10m"},
                         {"daily", "temperature_2m_max,temperature_2m_min,sunrise,sunset"},
                         {"forecast_days", "2"},
                         {"timezone", "auto"},
                         {"timeformat", "unixtime"},
                         {"temperature_unit", fahrenheit ? "fahrenheit" : "celsius"},
                         {"wind_speed_unit", fahrenheit ? "mph" : "kmh"}}));
    }
}

TEST_F(Client, ARecordedAnswerBecomesTheReportOfTheHoursAfterNow) {
    server_.route("/v1/forecast", LoopbackHttpServer::json(fixture("forecast-berlin.json")));
    const WeatherSource::ReportResult result = forecast();
    ASSERT_TRUE(std::holds_alternative<WeatherReport>(result));
    const WeatherReport& report = std::get<WeatherReport>(result);
    EXPECT_EQ(report.temperature, 12.7);
    ASSERT_EQ(report.hours.size(), 6u);
    EXPECT_EQ(report.hours[0].time, QDateTime::fromSecsSinceEpoch(1772406000 + 15 * 3600));
}

TEST_F(Client, ASearchSendsTheNameAsTypedWithTheLocalesLanguage) {
    server_.route("/v1/search", LoopbackHttpServer::json(fixture("geocoding-london.json")));
    const WeatherSource::PlaceResult place = geocode("São Paulo & Co+1=2");
    EXPECT_EQ(place,
              WeatherSource::PlaceResult(WeatherSource::Place{"London", 51.50853, -0.12574}));
    const LoopbackHttpServer::Request& sent = server_.requests().back();
    EXPECT_EQ(sent.path, "/v1/search");
    EXPECT_EQ(sent.headers.value("user-agent"), "Orlet");
    // "+" would read as a blank and "&" would end the name, so both are escaped.
    EXPECT_EQ(sent.rawQuery, "name=S%C3%A3o%20Paulo%20%26%20Co%2B1%3D2&count=1&language=de");
}

TEST(WeatherAPI, TheLanguageIsTheLocalesOwnOrEnglish) {
    EXPECT_EQ(WeatherAPI::languageOf(QLocale(QLocale::German, QLocale::Austria)), "de");
    EXPECT_EQ(WeatherAPI::languageOf(QLocale(QLocale::Portuguese, QLocale::Brazil)), "pt");
    EXPECT_EQ(WeatherAPI::languageOf(QLocale::c()), "en");
}

struct SearchCase {
    const char* sentence;
    LoopbackHttpServer::Response response;
    WeatherSource::PlaceResult expected;
};

class Searches : public Client, public testing::WithParamInterface<SearchCase> {};

TEST_P(Searches, GiveTheFirstPlaceOrSayWhyNot) {
    server_.route("/v1/search", GetParam().response);
    EXPECT_EQ(geocode("Atlantis"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    WeatherAPI, Searches,
    testing::ValuesIn(std::vector<SearchCase>{
        {"results whose empty fields are left out",
         LoopbackHttpServer::json(fixture("geocoding-missing-fields.json")),
         WeatherSource::Place{"Antarctica", -78.15856, 16.40626}},
        {"an answer without results",
         LoopbackHttpServer::json(fixture("geocoding-no-results.json")),
         Failure{Reason::service, "No place called “Atlantis”"}},
        {"an empty result list", LoopbackHttpServer::json(R"({"results":[]})"),
         Failure{Reason::service, "No place called “Atlantis”"}},
        {"a bad request", LoopbackHttpServer::json(fixture("error-400.json"), 400),
         Failure{Reason::service, "Weather service unavailable"}},
        {"a first result without coordinates",
         LoopbackHttpServer::json(R"({"results":[{"name":"Atlantis"}]})"),
         Failure{Reason::decoding, "the first place lacks a name or coordinates"}},
        {"results that are no list", LoopbackHttpServer::json(R"({"results":"none"})"),
         Failure{Reason::decoding, "results is not a list"}},
    }),
    test::SentenceName());

struct BadForecastCase {
    const char* sentence;
    std::function<void(LoopbackHttpServer&)> serve;
    Reason reason;
    bool serviceText; // the text is the one shown to the user
};

class BadForecasts : public Client, public testing::WithParamInterface<BadForecastCase> {};

TEST_P(BadForecasts, FailWithAReasonAndNeverHang) {
    GetParam().serve(server_);
    api(300ms, 64 * 1024);
    const WeatherSource::ReportResult result = forecast();
    ASSERT_TRUE(std::holds_alternative<Failure>(result));
    EXPECT_EQ(std::get<Failure>(result).reason, GetParam().reason)
        << std::get<Failure>(result).message.toStdString();
    if (GetParam().serviceText) {
        EXPECT_EQ(std::get<Failure>(result).message, "Weather service unavailable");
    }
}

void route(LoopbackHttpServer& server, LoopbackHttpServer::Response response) {
    server.route("/v1/forecast", std::move(response));
}

INSTANTIATE_TEST_SUITE_P(
    WeatherAPI, BadForecasts,
    testing::ValuesIn(std::vector<BadForecastCase>{
        {"a bad request with the services error body",
         [](auto& s) { route(s, LoopbackHttpServer::json(fixture("error-400.json"), 400)); },
         Reason::service, true},
        {"a server error", [](auto& s) { route(s, LoopbackHttpServer::json("", 500)); },
         Reason::service, true},
        {"a 503 with a forecast in it is not decoded",
         [](auto& s) { route(s, LoopbackHttpServer::json(fixture("forecast-berlin.json"), 503)); },
         Reason::service, true},
        {"a path the server does not know", [](auto&) {}, Reason::service, true},
        {"a body that is not JSON",
         [](auto& s) { route(s, LoopbackHttpServer::json("<html>Bad Gateway</html>")); },
         Reason::decoding, false},
        {"an answer without current conditions",
         [](auto& s) {
             route(s, LoopbackHttpServer::json(fixture("forecast-hourly-berlin.json")));
         },
         Reason::decoding, false},
        {"bytes that are not HTTP", [](auto& s) { route(s, LoopbackHttpServer::garbled()); },
         Reason::network, false},
        {"no answer in time", [](auto& s) { route(s, LoopbackHttpServer::held()); },
         Reason::timedOut, false},
        {"an answer larger than any forecast",
         [](auto& s) { route(s, LoopbackHttpServer::json(QByteArray(200 * 1024, ' ') + "{}")); },
         Reason::decoding, false},
    }),
    test::SentenceName());

TEST_F(Client, ARefusedConnectionIsANetworkFailure) {
    api_ = std::make_unique<WeatherAPI>(network_, clock_,
                                        WeatherAPI::Endpoints{closedPort(), closedPort()});
    const WeatherSource::ReportResult result = forecast();
    ASSERT_TRUE(std::holds_alternative<Failure>(result));
    EXPECT_EQ(std::get<Failure>(result).reason, Reason::network);
}

TEST_F(Client, ARequestThatGoesIsAbandonedAndNeverAnswers) {
    server_.route("/v1/forecast", LoopbackHttpServer::held());
    bool answered = false;
    auto request = api().forecast(50, 10, false, [&](auto) { answered = true; });
    // Sent, not merely connected: a request still queued is dropped without closing the
    // connection, which stays for the next one.
    ASSERT_TRUE(LoopbackHttpServer::waitFor([&] { return server_.requests().size() == 1; }));
    request.reset();
    EXPECT_TRUE(LoopbackHttpServer::waitFor([&] { return server_.openConnections() == 0; }));
    EXPECT_FALSE(answered);
}

TEST_F(Client, AnAnswerMayEndTheRequestThatCarriesIt) {
    server_.route("/v1/search", LoopbackHttpServer::json(fixture("geocoding-london.json")));
    std::unique_ptr<WeatherSource::Request> request;
    int answers = 0;
    request = api().geocode("London", [&](auto) {
        ++answers;
        request.reset();
    });
    ASSERT_TRUE(LoopbackHttpServer::waitFor([&] { return answers > 0; }));
    EXPECT_EQ(answers, 1);
}

TEST(WeatherAPI, TheEnvironmentNamesMirrorsWhosePathsAreKept) {
    const QByteArray forecast = qgetenv("ORLET_FORECAST_URL");
    const QByteArray geocoding = qgetenv("ORLET_GEOCODING_URL");
    qunsetenv("ORLET_FORECAST_URL");
    qunsetenv("ORLET_GEOCODING_URL");
    EXPECT_EQ(WeatherAPI::endpointsFromEnvironment(), WeatherAPI::Endpoints{});
    EXPECT_EQ(WeatherAPI::Endpoints{}.forecast, QUrl("https://api.open-meteo.com"));
    EXPECT_EQ(WeatherAPI::Endpoints{}.geocoding, QUrl("https://geocoding-api.open-meteo.com"));
    qputenv("ORLET_FORECAST_URL", "http://127.0.0.1:8080/mirror/");
    qputenv("ORLET_GEOCODING_URL", "http://127.0.0.1:8081");
    const WeatherAPI::Endpoints endpoints = WeatherAPI::endpointsFromEnvironment();
    EXPECT_EQ(WeatherAPI::forecastUrl(endpoints.forecast, 1, 2, false).path(),
              "/mirror/v1/forecast");
    EXPECT_EQ(WeatherAPI::searchUrl(endpoints.geocoding, "x", "en").toString(),
              "http://127.0.0.1:8081/v1/search?name=x&count=1&language=en");
    forecast.isNull() ? qunsetenv("ORLET_FORECAST_URL") : qputenv("ORLET_FORECAST_URL", forecast);
    geocoding.isNull() ? qunsetenv("ORLET_GEOCODING_URL")
                       : qputenv("ORLET_GEOCODING_URL", geocoding);
}

} // namespace
} // namespace orlet
