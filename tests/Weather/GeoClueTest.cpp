// Qt Positioning's GeoClue 2 backend against a GeoClue stand-in on a private system bus.
#include "LoopbackHttpServer.h"
#include "QtTestSupport.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"
#include "Weather/QtLocationSource.h"
#include "XDesktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <gtest/gtest.h>
#include <utility>

namespace orlet {
namespace {

using namespace std::chrono_literals;
using Authorization = LocationSource::Authorization;

// A private bus and GeoClue on it; both go with the object. The program's system bus is this
// one: Qt connects to the bus named by DBUS_SYSTEM_BUS_ADDRESS on first use.
class GeoClueBus {
public:
    explicit GeoClueBus(bool deny) {
        bus_ = std::make_unique<test::BackgroundProcess>(
            std::vector<std::string>{"dbus-daemon", "--nofork", "--print-address=1", "--session"},
            test::Environment{{"PATH", "/usr/bin:/bin"}});
        // The first line of its output is the bus's address.
        std::string out;
        if (!test::eventually([&] {
                out = bus_->out();
                return out.find('\n') != std::string::npos;
            })) {
            throw std::runtime_error("no bus: " + bus_->err());
        }
        address_ = out.substr(0, out.find('\n'));
        mock_ = std::make_unique<test::BackgroundProcess>(
            std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--system", "--template",
                                     ORLET_GEOCLUE_TEMPLATE, "--parameters",
                                     deny ? R"({"deny": true})" : "{}"},
            test::Environment{{"PATH", "/usr/bin:/bin"}, {"DBUS_SYSTEM_BUS_ADDRESS", address_}});
    }

    const std::string& address() const { return address_; }
    std::string log() const { return mock_->err() + mock_->out(); }

private:
    std::unique_ptr<test::BackgroundProcess> bus_;
    std::unique_ptr<test::BackgroundProcess> mock_;
    std::string address_;
};

struct Outcome {
    std::vector<std::pair<double, double>> fixes;
    int failures = 0;
};

struct Case {
    const char* sentence;
    bool deny;
};

class GeoClueService : public testing::TestWithParam<Case> {};

// Qt keeps the first system bus it connects to, so each case needs a process of its own, as
// CTest gives it; a second case in the same process is skipped.
TEST_P(GeoClueService, AnswersTheFixRequestAndTheAuthorizationFollows) {
    static bool busTaken = false;
    if (std::exchange(busTaken, true)) {
        GTEST_SKIP() << "this process already has its system bus";
    }
    const bool deny = GetParam().deny;
    GeoClueBus bus(deny);
    {
        QDBusConnection connection =
            QDBusConnection::connectToBus(QString::fromStdString(bus.address()), "probe");
        ASSERT_TRUE(test::LoopbackHttpServer::waitFor(
            [&] {
                return connection.interface()
                    ->isServiceRegistered(QStringLiteral("org.freedesktop.GeoClue2"))
                    .value();
            },
            20s))
            << bus.log();
    }
    QDBusConnection::disconnectFromBus("probe");

    qputenv("DBUS_SYSTEM_BUS_ADDRESS", QByteArray::fromStdString(bus.address()));
    std::unique_ptr<QtLocationSource> source = QtLocationSource::create();
    ASSERT_EQ(source->authorization(), Authorization::notDetermined);
    Outcome outcome;
    int changes = 0;
    source->onLocation = [&](double lat, double lon) { outcome.fixes.emplace_back(lat, lon); };
    source->onFailure = [&] { ++outcome.failures; };
    source->onAuthorizationChange = [&] { ++changes; };
    source->requestLocation();
    ASSERT_TRUE(test::LoopbackHttpServer::waitFor(
        [&] { return !outcome.fixes.empty() || outcome.failures > 0; }, 40s))
        << bus.log();
    if (deny) {
        EXPECT_EQ(source->authorization(), Authorization::denied);
        EXPECT_EQ(outcome.failures, 1);
        EXPECT_TRUE(outcome.fixes.empty());
    } else {
        EXPECT_EQ(source->authorization(), Authorization::authorized);
        ASSERT_EQ(outcome.fixes.size(), 1u) << bus.log();
        EXPECT_NEAR(outcome.fixes[0].first, 59.9139, 1e-9);
        EXPECT_NEAR(outcome.fixes[0].second, 10.7522, 1e-9);
    }
    EXPECT_EQ(changes, 1);
}

INSTANTIATE_TEST_SUITE_P(Weather, GeoClueService,
                         testing::Values(Case{"a fix", false}, Case{"a refusal is denied", true}),
                         test::SentenceName());

} // namespace
} // namespace orlet
