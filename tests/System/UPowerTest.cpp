#include "PrivateBus.h"
#include "System/BatterySampler.h"
#include "System/LinuxSystemSource.h"
#include "System/UPowerClient.h"
#include "TestNames.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <gtest/gtest.h>

namespace orlet {
namespace {

const QString upower = QStringLiteral("org.freedesktop.UPower");
const QString mockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

// upowerd as python3-dbusmock's template plays it, on a bus of the test's own.
class MockUPower {
public:
    MockUPower() {
        bus_.launch({"/usr/bin/python3", "-m", "dbusmock", "--template", "upower"});
        ready_ = bus_.waitForName(upower);
    }

    bool ready() const { return ready_; }
    const std::string& address() const { return bus_.address(); }

    // A method of the template's mock interface on the main object; the path it returns.
    QString call(const QString& method, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            upower, QStringLiteral("/org/freedesktop/UPower"), mockInterface, method);
        message.setArguments(arguments);
        const QDBusMessage reply = bus_.connection().call(message);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        if (reply.arguments().isEmpty()) {
            return {};
        }
        // Some of the template's methods give the path as a string.
        const QVariant path = reply.arguments().constFirst();
        return path.userType() == qMetaTypeId<QDBusObjectPath>()
                   ? path.value<QDBusObjectPath>().path()
                   : path.toString();
    }

    void setProperties(const QString& path, const QVariantMap& properties) {
        call(QStringLiteral("SetDeviceProperties"),
             {QVariant::fromValue(QDBusObjectPath(path)), properties});
    }

private:
    test::PrivateBus bus_;
    bool ready_ = false;
};

struct UPowerCase {
    const char* sentence;
    std::function<void(MockUPower&)> setUp;
    std::optional<BatteryStatus> expected;
};

const UPowerCase upowerCases[] = {
    {"a discharging battery with an hour and a half left",
     [](MockUPower& mock) {
         mock.call(QStringLiteral("AddDischargingBattery"),
                   {QStringLiteral("mock_BAT"), QStringLiteral("Battery"), 40.0,
                    QVariant::fromValue<qint64>(5400)});
     },
     BatteryStatus{0.4, false, false, 90}},
    {"a charging battery on mains with half an hour to full",
     [](MockUPower& mock) {
         mock.call(QStringLiteral("AddAC"), {QStringLiteral("mock_AC"), QStringLiteral("Mains")});
         mock.call(QStringLiteral("AddChargingBattery"),
                   {QStringLiteral("mock_BAT"), QStringLiteral("Battery"), 70.0,
                    QVariant::fromValue<qint64>(1800)});
     },
     BatteryStatus{0.7, true, true, 30}},
    {"a battery held at its limit on mains has no time",
     [](MockUPower& mock) {
         mock.call(QStringLiteral("AddAC"), {QStringLiteral("mock_AC"), QStringLiteral("Mains")});
         const QString battery = mock.call(QStringLiteral("AddDischargingBattery"),
                                           {QStringLiteral("mock_BAT"), QStringLiteral("Battery"),
                                            80.0, QVariant::fromValue<qint64>(7200)});
         mock.setProperties(battery, {{QStringLiteral("State"), QVariant::fromValue(5u)}});
     },
     BatteryStatus{0.8, false, true, std::nullopt}},
    {"a battery still estimating its time",
     [](MockUPower& mock) {
         mock.call(QStringLiteral("AddDischargingBattery"),
                   {QStringLiteral("mock_BAT"), QStringLiteral("Battery"), 55.0,
                    QVariant::fromValue<qint64>(0)});
     },
     BatteryStatus{0.55, false, false, std::nullopt}},
    {"a mouse battery is not the machine's",
     [](MockUPower& mock) {
         const QString mouse = mock.call(QStringLiteral("AddDischargingBattery"),
                                         {QStringLiteral("mock_MOUSE"), QStringLiteral("Mouse"),
                                          90.0, QVariant::fromValue<qint64>(0)});
         mock.setProperties(mouse, {{QStringLiteral("PowerSupply"), false},
                                    {QStringLiteral("Type"), QVariant::fromValue(5u)}});
     },
     std::nullopt},
    {"a desktop without batteries", [](MockUPower&) {}, std::nullopt},
};

class UPowerTest : public testing::TestWithParam<UPowerCase> {};

TEST_P(UPowerTest, BatteryStatusFromUPower) {
    MockUPower mock;
    ASSERT_TRUE(mock.ready()) << "python3-dbusmock's upower template did not start";
    GetParam().setUp(mock);
    // The sysfs tree has a battery: had UPower's answer been ignored, it would show.
    auto source = std::make_shared<LinuxSystemSource>(LinuxSystemSource::Paths{
        .sys = std::filesystem::path(ORLET_SOURCE_DIR) / "tests/System/fixtures/two-core/sys",
        .systemBusAddress = mock.address(),
        .useNVML = false});
    EXPECT_EQ(BatterySampler(source).sample(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, UPowerTest, testing::ValuesIn(upowerCases), test::SentenceName());

TEST(UPowerFallbackTest, WithoutUPowerOnTheBusTheKernelsPowerSuppliesCount) {
    test::PrivateBus bus;
    UPowerClient client(bus.address());
    EXPECT_EQ(client.powerSources(), std::nullopt);
    auto source = std::make_shared<LinuxSystemSource>(LinuxSystemSource::Paths{
        .sys = std::filesystem::path(ORLET_SOURCE_DIR) / "tests/System/fixtures/two-core/sys",
        .systemBusAddress = bus.address(),
        .useNVML = false});
    EXPECT_EQ(BatterySampler(source).sample(), (BatteryStatus{0.6, false, false, 180}));
}

TEST(UPowerFallbackTest, AnUnreachableBusIsNoUPower) {
    UPowerClient client(std::string("unix:path=/nonexistent/orlet-no-bus"));
    EXPECT_EQ(client.powerSources(), std::nullopt);
}

} // namespace
} // namespace orlet
