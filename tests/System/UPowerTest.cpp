#include "PrivateBus.h"
#include "System/BatterySampler.h"
#include "System/LinuxSystemSource.h"
#include "System/UPowerClient.h"
#include "TestNames.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace orlet {
namespace {

const QString upower = QStringLiteral("org.freedesktop.UPower");
const QString mockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

// upowerd as python3-dbusmock's template plays it, on a bus of the test's own.
class MockUPower {
public:
    MockUPower() { start(); }

    // A fresh upowerd, with no devices, in place of the running one.
    void restart() {
        stop();
        start();
    }
    void stop() { bus_.end(process_); }

    bool ready() const { return ready_; }
    const std::string& address() const { return bus_.address(); }

    // How many times upowerd has been asked for its devices or their properties.
    int reads() const {
        std::ifstream file(log_.path() / "upowerd.log");
        std::stringstream text;
        text << file.rdbuf();
        const std::string log = text.str();
        int count = 0;
        for (const char* call : {"EnumerateDevices", "GetAll "}) {
            for (auto at = log.find(call); at != std::string::npos; at = log.find(call, at + 1)) {
                ++count;
            }
        }
        return count;
    }

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
    void start() {
        // Appended to: a restarted upowerd keeps counting in the same file.
        process_ = bus_.launch({"/usr/bin/python3", "-m", "dbusmock", "--template", "upower", "-l",
                                (log_.path() / "upowerd.log").string()});
        ready_ = bus_.waitForName(upower);
    }

    test::TemporaryDirectory log_;
    test::PrivateBus bus_;
    pid_t process_ = 0;
    bool ready_ = false;
};

const std::filesystem::path twoCoreSys =
    std::filesystem::path(ORLET_SOURCE_DIR) / "tests/System/fixtures/two-core/sys";

// A sample on a thread of its own, as the monitor's worker takes it.
std::optional<BatteryStatus> sampleOnWorker(const BatterySampler& sampler) {
    std::optional<BatteryStatus> status;
    std::thread([&] { status = sampler.sample(); }).join();
    return status;
}

// Polls while this thread handles the bus's signals; whether `condition` came true.
bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents();
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

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
        .sys = twoCoreSys, .systemBusAddress = mock.address(), .useNVML = false});
    EXPECT_EQ(BatterySampler(source).sample(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, UPowerTest, testing::ValuesIn(upowerCases), test::SentenceName());

// ---- The devices held in memory follow upowerd

QString addDischarging(MockUPower& mock, double percentage) {
    return mock.call(QStringLiteral("AddDischargingBattery"),
                     {QStringLiteral("mock_BAT"), QStringLiteral("Battery"), percentage,
                      QVariant::fromValue<qint64>(5400)});
}

// What the kernel's tree under two-core/sys shows.
const BatteryStatus fromSys{0.6, false, false, 180};

struct ChangeCase {
    const char* sentence;
    std::function<void(MockUPower&, const QString& battery)> change;
    std::optional<BatteryStatus> expected;
};

const ChangeCase changeCases[] = {
    {"a new percentage",
     [](MockUPower& mock, const QString& battery) {
         mock.setProperties(battery, {{QStringLiteral("Percentage"), 30.0}});
     },
     BatteryStatus{0.3, false, false, 90}},
    {"an adapter added holds the battery",
     [](MockUPower& mock, const QString&) {
         // The template's own adapter has no kind: one as upowerd has it.
         const QString adapter = QStringLiteral("/org/freedesktop/UPower/devices/line_power_AC");
         mock.call(QStringLiteral("AddObject"),
                   {adapter, QStringLiteral("org.freedesktop.UPower.Device"),
                    QVariantMap{{QStringLiteral("Type"), QVariant::fromValue(1u)},
                                {QStringLiteral("PowerSupply"), true},
                                {QStringLiteral("Online"), true}},
                    QVariant::fromValue(QList<QVariant>())});
         mock.call(QStringLiteral("EmitSignal"),
                   {upower, QStringLiteral("DeviceAdded"), QStringLiteral("o"),
                    QVariantList{QVariant::fromValue(QDBusObjectPath(adapter))}});
     },
     BatteryStatus{0.4, false, true, std::nullopt}},
    {"the battery removed",
     [](MockUPower& mock, const QString& battery) {
         mock.call(QStringLiteral("RemoveDevice"), {QVariant::fromValue(QDBusObjectPath(battery))});
     },
     std::nullopt},
    {"upowerd restarted with another battery",
     [](MockUPower& mock, const QString&) {
         mock.restart();
         ASSERT_TRUE(mock.ready());
         mock.call(QStringLiteral("AddChargingBattery"),
                   {QStringLiteral("mock_BAT"), QStringLiteral("Battery"), 75.0,
                    QVariant::fromValue<qint64>(1800)});
     },
     BatteryStatus{0.75, true, true, 30}},
    {"upowerd gone leaves the kernel's supplies",
     [](MockUPower& mock, const QString&) { mock.stop(); }, fromSys},
};

class UPowerChangeTest : public testing::TestWithParam<ChangeCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(mock.ready()) << "python3-dbusmock's upower template did not start";
        battery = addDischarging(mock, 40);
        sampler = std::make_unique<BatterySampler>(
            std::make_shared<LinuxSystemSource>(LinuxSystemSource::Paths{
                .sys = twoCoreSys, .systemBusAddress = mock.address(), .useNVML = false}));
    }

    MockUPower mock;
    QString battery;
    std::unique_ptr<BatterySampler> sampler;
};

// The worker reads memory alone: only the signals handled on this thread bring it news.
TEST_P(UPowerChangeTest, AWorkersSampleFollowsUPowersSignals) {
    ASSERT_EQ(sampleOnWorker(*sampler), (BatteryStatus{0.4, false, false, 90}));
    GetParam().change(mock, battery);
    std::optional<BatteryStatus> last;
    EXPECT_TRUE(eventually([&] {
        last = sampleOnWorker(*sampler);
        return last == GetParam().expected;
    })) << "last sampled level "
        << (last ? last->level : -1);
}

// The application's thread hears of a change on connections of its own and samples at once:
// it must not get the value from before.
TEST_P(UPowerChangeTest, TheApplicationThreadSeesAChangeAsSoonAsUPowerHasSentIt) {
    ASSERT_EQ(sampler->sample(), (BatteryStatus{0.4, false, false, 90}));
    GetParam().change(mock, battery);
    if (GetParam().expected == fromSys) {
        // Only the bus can tell that upowerd has left, and it takes its time to notice.
        EXPECT_TRUE(eventually([&] { return sampler->sample() == fromSys; }));
        return;
    }
    EXPECT_EQ(sampler->sample(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, UPowerChangeTest, testing::ValuesIn(changeCases),
                         test::SentenceName());

TEST(UPowerCacheTest, SamplesDoNotAskUPowerAgain) {
    MockUPower mock;
    ASSERT_TRUE(mock.ready());
    addDischarging(mock, 40);
    auto source = std::make_shared<LinuxSystemSource>(LinuxSystemSource::Paths{
        .sys = twoCoreSys, .systemBusAddress = mock.address(), .useNVML = false});
    BatterySampler sampler(source);
    ASSERT_EQ(sampler.sample(), (BatteryStatus{0.4, false, false, 90}));
    const int afterFirst = mock.reads();
    EXPECT_GT(afterFirst, 0) << "the log shows no read at all";
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(sampleOnWorker(sampler), (BatteryStatus{0.4, false, false, 90}));
        EXPECT_EQ(sampler.sample(), (BatteryStatus{0.4, false, false, 90}));
    }
    EXPECT_EQ(mock.reads(), afterFirst);
}

TEST(UPowerCacheTest, UPowerStartingAfterTheFirstSampleIsHeard) {
    test::PrivateBus bus;
    auto source = std::make_shared<LinuxSystemSource>(LinuxSystemSource::Paths{
        .sys = twoCoreSys, .systemBusAddress = bus.address(), .useNVML = false});
    BatterySampler sampler(source);
    ASSERT_EQ(sampleOnWorker(sampler), fromSys);
    bus.launch({"/usr/bin/python3", "-m", "dbusmock", "--template", "upower"});
    ASSERT_TRUE(bus.waitForName(upower));
    QDBusMessage add =
        QDBusMessage::createMethodCall(upower, QStringLiteral("/org/freedesktop/UPower"),
                                       mockInterface, QStringLiteral("AddDischargingBattery"));
    add.setArguments({QStringLiteral("mock_BAT"), QStringLiteral("Battery"), 20.0,
                      QVariant::fromValue<qint64>(600)});
    ASSERT_EQ(bus.connection().call(add).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(eventually([&] {
        return sampleOnWorker(sampler) == BatteryStatus{0.2, false, false, 10};
    }));
}

TEST(UPowerFallbackTest, WithoutUPowerOnTheBusTheKernelsPowerSuppliesCount) {
    test::PrivateBus bus;
    UPowerClient client(bus.address());
    EXPECT_EQ(client.powerSources(), std::nullopt);
    auto source = std::make_shared<LinuxSystemSource>(LinuxSystemSource::Paths{
        .sys = twoCoreSys, .systemBusAddress = bus.address(), .useNVML = false});
    EXPECT_EQ(BatterySampler(source).sample(), fromSys);
}

TEST(UPowerFallbackTest, AnUnreachableBusIsNoUPower) {
    UPowerClient client(std::string("unix:path=/nonexistent/orlet-no-bus"));
    EXPECT_EQ(client.powerSources(), std::nullopt);
}

} // namespace
} // namespace orlet
