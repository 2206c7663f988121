// The real program on a virtual display, its weather fetched from a local HTTP server that
// serves recorded answers: a city is set, and the first background check raises the pop-up.
#include "TemporaryDirectory.h"
#include "WeatherFixtures.h"
#include "XDesktop.h"

#include <QDateTime>
#include <QJsonArray>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace orlet::test {
namespace {

using namespace std::chrono_literals;

// Inside the closed notch body; the closed notch is about 190 wide plus its ears.
constexpr int closedRow = 5;
constexpr int closedWidest = 208;

void write(const std::filesystem::path& path, const QByteArray& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), bytes.size());
}

// The recorded Berlin answer moved to the present hour, with hail in the next hour.
QByteArray forecastWithHailAhead() {
    QJsonObject answer = fixtureObject("forecast-berlin.json");
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const qint64 first = now / 3600 * 3600 - 3600;
    editBlock(answer, "hourly", [first](QJsonObject& hourly) {
        QJsonArray times = hourly["time"].toArray();
        for (qsizetype i = 0; i < times.size(); ++i) {
            times[i] = static_cast<double>(first + 3600 * i);
        }
        hourly["time"] = times;
    });
    setHourly(answer, "weather_code", 2, 99);
    return bytes(answer);
}

class WeatherOnTheDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto missing = XDesktop::missingTools(false)) {
            GTEST_SKIP() << "no Xvfb: " << *missing;
        }
        desktop_ = XDesktop::startXvfb(1440, 900);
        std::filesystem::create_directories(runtime());
        ::chmod(runtime().c_str(), 0700);
    }

    std::filesystem::path runtime() const { return home_.path() / "run"; }

    // Python's file server: the query is ignored, so the path alone picks the answer.
    std::unique_ptr<BackgroundProcess> serve(std::string& url) {
        const std::filesystem::path root = home_.path() / "www";
        write(root / "v1" / "search", fixture("geocoding-london.json"));
        write(root / "v1" / "forecast", forecastWithHailAhead());
        auto server = std::make_unique<BackgroundProcess>(
            std::vector<std::string>{"/usr/bin/python3", "-u", "-m", "http.server", "0", "--bind",
                                     "127.0.0.1", "--directory", root.string()},
            Environment{{"PATH", "/usr/bin:/bin"}});
        // "Serving HTTP on 127.0.0.1 port 40123 (http://127.0.0.1:40123/) ..."
        std::string port;
        EXPECT_TRUE(eventually([&] {
            const std::string out = server->out();
            const std::size_t at = out.find(" port ");
            const std::size_t end = out.find(' ', at + 6);
            if (at == std::string::npos || end == std::string::npos) {
                return false;
            }
            port = out.substr(at + 6, end - at - 6);
            return true;
        })) << server->err();
        if (port.empty()) {
            return server;
        }
        url = "http://127.0.0.1:" + port;
        return server;
    }

    TemporaryDirectory home_;
    std::unique_ptr<XDesktop> desktop_;
};

TEST_F(WeatherOnTheDesktop, WithACitySetTheFirstBackgroundCheckRaisesTheWeatherPopUp) {
    std::string url;
    const auto server = serve(url);
    ASSERT_FALSE(url.empty());
    write(home_.path() / "config" / "orlet" / "defaults.json", R"({"weather.city":"London"})");

    const auto orlet = desktop_->launch(
        {ORLET_APP_PATH}, {{"HOME", home_.path().string()},
                           {"XDG_CONFIG_HOME", (home_.path() / "config").string()},
                           {"XDG_RUNTIME_DIR", runtime().string()},
                           {"QT_QPA_PLATFORM", "xcb"},
                           {"QT_LOGGING_RULES", "com.brambleowl.orlet.app.debug=true"},
                           {"ORLET_FORECAST_URL", url},
                           {"ORLET_GEOCODING_URL", url}});

    // The check waits 8 seconds after start; the deadline allows for a loaded machine.
    ASSERT_TRUE(orlet->waitForErr("Weather alert: hail in London", 60s))
        << orlet->err() << server->err();
    EXPECT_NE(server->err().find("GET /v1/search?name=London&count=1&language="), std::string::npos)
        << server->err();
    EXPECT_NE(server->err().find("GET /v1/forecast?latitude=51.509&longitude=-0.126&current="),
              std::string::npos)
        << server->err();

    // The closed notch grows for the pop-up.
    int shots = 0;
    std::string seen;
    EXPECT_TRUE(eventually(
        [&] {
            const Image image =
                desktop_->screenshot(home_.path() / ("screen-" + std::to_string(++shots) + ".png"));
            seen.clear();
            for (const test::Run& run : image.blackRuns(closedRow)) {
                seen += " " + std::to_string(run.width);
                if (run.width > closedWidest + 100) {
                    return true;
                }
            }
            return false;
        },
        20s))
        << "black runs:" << seen;
}

} // namespace
} // namespace orlet::test
