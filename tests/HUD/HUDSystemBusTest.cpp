#include "HUD/AirPodsMonitor.h"
#include "HUD/AudioState.h"
#include "HUD/BacklightBrightness.h"
#include "HUD/BluetoothHeadphones.h"
#include "HUD/HUDController.h"
#include "HUD/PowerMonitor.h"
#include "HUD/UPowerNotifications.h"
#include "HUDFakes.h"
#include "MockSystemBus.h"
#include "Platform/DefaultsStore.h"
#include "Platform/ManualClock.h"
#include "Platform/Preferences.h"
#include "QtTestSupport.h"
#include "System/BatterySampler.h"
#include "System/LinuxSystemSource.h"
#include "TestNames.h"

#include <QDBusVariant>
#include <gtest/gtest.h>

namespace orlet {
namespace {

using namespace std::chrono_literals;
using test::MockSystemBus;
using Severity = TransientActivity::Severity;

const QString upower = QStringLiteral("org.freedesktop.UPower");
const QString upowerPath = QStringLiteral("/org/freedesktop/UPower");
const QString upowerDevice = QStringLiteral("org.freedesktop.UPower.Device");
const QString bluez = QStringLiteral("org.bluez");
const QString logind = QStringLiteral("org.freedesktop.login1");
const QString barrierInterface = QStringLiteral("com.brambleowl.orlet.Test");

// Waits on a real peer while the event loop delivers its answers.
bool settles(const std::function<bool()>& condition) {
    return test::eventually([&condition] {
        QCoreApplication::processEvents();
        return condition();
    });
}

void write(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text << '\n';
}

// Counts a marker signal on one connection. Signals of one sender reach a connection's
// receivers in the order sent, so once the marker is in, everything sent before it has been
// handled.
class Barrier : public QObject {
    Q_OBJECT

public:
    Barrier(MockSystemBus& bus, QDBusConnection connection, QString service, QString path)
        : bus_(bus), connection_(std::move(connection)), service_(std::move(service)),
          path_(std::move(path)) {
        connection_.connect(service_, path_, barrierInterface, QStringLiteral("Marker"), this,
                            SLOT(marker()));
        // A round trip: the bus has the subscription before any marker is sent.
        connection_.interface()->isServiceRegistered(service_);
    }

    // Sends a marker through the mock and waits for it.
    bool pass() {
        const int expected = seen_ + 1;
        bus_.emitSignal(service_, path_, barrierInterface, QStringLiteral("Marker"), QString(), {});
        return settles([this, expected] { return seen_ >= expected; });
    }

private slots:
    void marker() { ++seen_; }

private:
    MockSystemBus& bus_;
    QDBusConnection connection_;
    QString service_;
    QString path_;
    int seen_ = 0;
};

// ---- Power from upowerd

// A laptop as upowerd shows it: a line-power device and a battery, with the monitor sampling
// through UPower (and /sys under the test's folder when UPower does not answer).
class UPowerMonitorTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(bus.ready()) << "dbus-daemon did not start"; }

    bool startUPower() { return bus.start("upower", upower); }

    void addLinePower(bool online) {
        addDevice(QStringLiteral("line_power_AC"), {{"Type", 1u},
                                                    {"PowerSupply", true},
                                                    {"Online", online},
                                                    {"NativePath", QStringLiteral("AC")}});
    }
    void addBattery(double percentage, uint state) {
        addDevice(QStringLiteral("battery_BAT0"), {{"Type", 2u},
                                                   {"PowerSupply", true},
                                                   {"IsPresent", true},
                                                   {"NativePath", QStringLiteral("BAT0")},
                                                   {"Percentage", percentage},
                                                   {"State", state},
                                                   {"TimeToEmpty", qint64(3600)},
                                                   {"TimeToFull", qint64(0)}});
    }
    void addLaptop(bool online, double percentage, uint state) {
        addLinePower(online);
        addBattery(percentage, state);
    }

    void addDevice(const QString& name, const QVariantMap& properties) {
        const QString path = upowerPath + QStringLiteral("/devices/") + name;
        bus.addObject(upower, upowerPath, path, upowerDevice, properties);
        bus.emitSignal(upower, upowerPath, upower, QStringLiteral("DeviceAdded"),
                       QStringLiteral("o"), {QVariant::fromValue(QDBusObjectPath(path))});
    }

    // One property at a time, as upowerd does: each change is a notification of its own.
    void set(const QString& name, const QVariantMap& properties) {
        bus.mock(
            upower, upowerPath, QStringLiteral("SetDeviceProperties"),
            {QVariant::fromValue(QDBusObjectPath(upowerPath + "/devices/" + name)), properties});
    }
    void setBattery(double percentage) {
        set(QStringLiteral("battery_BAT0"), {{"Percentage", percentage}});
    }

    // `busAddress`: another bus than the test's, one that may not be there at all.
    void startMonitor(std::optional<std::string> busAddress = std::nullopt) {
        LinuxSystemSource::Paths paths;
        paths.sys = bus.directory() / "sys";
        paths.systemBusAddress = busAddress.value_or(bus.address());
        paths.useNVML = false;
        std::filesystem::create_directories(paths.sys / "class" / "power_supply");
        sampler = std::make_unique<BatterySampler>(std::make_shared<LinuxSystemSource>(paths));
        watched = busAddress ? QDBusConnection::connectToBus(QString::fromStdString(*busAddress),
                                                             QStringLiteral("orlet-absent-bus"))
                             : bus.connect();
        notifications = std::make_unique<UPowerNotifications>(watched);
        monitor =
            std::make_unique<PowerMonitor>([this] { return sampler->sample(); }, *notifications);
        monitor->onEvent = [this](const TransientActivity& activity) { shown.push_back(activity); };
        monitor->start();
        barrier = std::make_unique<Barrier>(bus, watched, upower, upowerPath);
    }

    MockSystemBus bus;
    QDBusConnection watched{QString()};
    std::unique_ptr<BatterySampler> sampler;
    std::unique_ptr<UPowerNotifications> notifications;
    std::unique_ptr<PowerMonitor> monitor;
    std::unique_ptr<Barrier> barrier;
    std::vector<TransientActivity> shown;
};

constexpr uint discharging = 2;
constexpr uint charging = 1;

TEST_F(UPowerMonitorTest, PluggingInRaisesOneChargingTransientWhateverTheNotificationCount) {
    ASSERT_TRUE(startUPower());
    addLaptop(false, 55, discharging);
    startMonitor();
    ASSERT_EQ(monitor->last(), (BatteryStatus{0.55, false, false, 60}));

    // The battery starts charging before the adapter reports online: nothing until then.
    set(QStringLiteral("battery_BAT0"),
        {{"State", charging}, {"TimeToFull", qint64(45 * 60)}, {"TimeToEmpty", qint64(0)}});
    ASSERT_TRUE(barrier->pass());
    EXPECT_TRUE(shown.empty());
    set(QStringLiteral("line_power_AC"), {{"Online", true}});
    ASSERT_TRUE(barrier->pass());
    // Later changes while plugged in announce nothing more.
    setBattery(56);
    set(QStringLiteral("battery_BAT0"), {{"TimeToFull", qint64(40 * 60)}});
    ASSERT_TRUE(barrier->pass());

    EXPECT_EQ(shown, (std::vector{TransientActivity::charging(0.55, 45)}));
    EXPECT_EQ(monitor->last(), (BatteryStatus{0.56, true, true, 40}));
}

TEST_F(UPowerMonitorTest, FallingThroughEachThresholdAlertsOnceAndNotAgainBelowIt) {
    ASSERT_TRUE(startUPower());
    addLaptop(false, 25, discharging);
    startMonitor();

    const std::vector<std::pair<double, std::size_t>> steps = {{21, 0}, {20, 1}, {19, 1}, {15, 1},
                                                               {11, 1}, {10, 2}, {9, 2},  {5, 2}};
    for (const auto& [percentage, alerts] : steps) {
        setBattery(percentage);
        ASSERT_TRUE(barrier->pass());
        EXPECT_EQ(shown.size(), alerts) << "at " << percentage << " %";
    }
    EXPECT_EQ(
        shown,
        (std::vector{TransientActivity::alert("battery.25percent", "20%", Severity::warning),
                     TransientActivity::alert("battery.25percent", "10%", Severity::critical)}));
}

TEST_F(UPowerMonitorTest, WithoutUPowerTheBatteryComesFromSysAndUPowerStartingLaterIsHeard) {
    const auto supplies = bus.directory() / "sys" / "class" / "power_supply";
    write(supplies / "AC" / "type", "Mains");
    write(supplies / "AC" / "online", "0");
    write(supplies / "BAT0" / "type", "Battery");
    write(supplies / "BAT0" / "capacity", "40");
    write(supplies / "BAT0" / "status", "Discharging");
    startMonitor();
    ASSERT_EQ(monitor->last(), (BatteryStatus{0.40, false, false, std::nullopt}));

    // upowerd comes up after the monitor, then the adapter is plugged in.
    ASSERT_TRUE(startUPower());
    addLaptop(false, 40, charging);
    set(QStringLiteral("line_power_AC"), {{"Online", true}});
    ASSERT_TRUE(barrier->pass());
    EXPECT_EQ(shown, (std::vector{TransientActivity::charging(0.40, std::nullopt)}));
}

TEST_F(UPowerMonitorTest, WithNoBusAtAllTheBatteryStillComesFromSys) {
    const auto supplies = bus.directory() / "sys" / "class" / "power_supply";
    write(supplies / "BAT0" / "type", "Battery");
    write(supplies / "BAT0" / "capacity", "30");
    write(supplies / "BAT0" / "status", "Charging");
    startMonitor("unix:path=" + (bus.directory() / "no-such-bus").string());
    EXPECT_FALSE(watched.isConnected());
    EXPECT_EQ(monitor->last(), (BatteryStatus{0.30, true, true, std::nullopt}));
    write(supplies / "BAT0" / "capacity", "31");
    monitor->update();
    EXPECT_EQ(monitor->last(), (BatteryStatus{0.31, true, true, std::nullopt}));
    EXPECT_TRUE(shown.empty());
    QDBusConnection::disconnectFromBus(QStringLiteral("orlet-absent-bus"));
}

TEST_F(UPowerMonitorTest, WithNoBatteryAnywhereNothingIsWatched) {
    ASSERT_TRUE(startUPower());
    addLinePower(false);
    startMonitor();
    EXPECT_EQ(monitor->last(), std::nullopt);

    addBattery(50, discharging);
    set(QStringLiteral("line_power_AC"), {{"Online", true}});
    ASSERT_TRUE(barrier->pass());
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(monitor->last(), std::nullopt) << "no sample after start";
}

// ---- Headphones from BlueZ and UPower

class HeadphonesOnBusTest : public testing::Test {
protected:
    static constexpr const char* address = "11:22:33:AA:BB:CC";

    void SetUp() override {
        ASSERT_TRUE(bus.ready()) << "dbus-daemon did not start";
        defaults.set("airpods.enabled", true);
    }

    void startMonitor() {
        watched = bus.connect();
        headphones = std::make_unique<BluetoothHeadphones>(watched);
        monitor = std::make_unique<AirPodsMonitor>(clock, defaults, *headphones);
        monitor->onBattery = [this](const HeadphoneBattery& battery) {
            batteries.push_back(battery);
        };
        monitor->start();
        // Every connection the source reports, on its way to the monitor.
        headphones->onConnect =
            [this, forward = headphones->onConnect](const HeadphoneSource::Device& device) {
                connected.push_back(device);
                forward(device);
            };
        // A round trip after the subscriptions: the bus has them before any mock speaks.
        watched.interface()->isServiceRegistered(bluez);
    }

    bool startBluez() {
        if (!bus.start("bluez5", bluez)) {
            return false;
        }
        bus.call(bluez, "/", "org.bluez.Mock", "AddAdapter", {"hci0", "laptop"});
        bus.call(bluez, "/", "org.bluez.Mock", "AddDevice", {"hci0", address, "Orbit Buds"});
        return true;
    }

    QString bluezDevicePath() const {
        return QStringLiteral("/org/bluez/hci0/dev_") + QString(address).replace(':', '_');
    }

    void giveBluezBattery(int percent) {
        bus.mock(
            bluez, bluezDevicePath(), "AddProperties",
            {"org.bluez.Battery1", QVariantMap{{"Percentage", QVariant::fromValue(uchar(percent))},
                                               {"Source", QStringLiteral("org.bluez.Hfp")}}});
    }

    void connectBluez() {
        bus.call(bluez, "/", "org.bluez.Mock", "ConnectDevice", {"hci0", address});
    }

    int bluezBatteryReads() const {
        const std::string log = bus.log("bluez5");
        const std::string read =
            "GetAll " + bluezDevicePath().toStdString() + " org.bluez.Battery1";
        int count = 0;
        for (auto at = log.find(read); at != std::string::npos; at = log.find(read, at + 1)) {
            ++count;
        }
        return count;
    }

    // The read due after `wait` has been answered and either shown or rescheduled.
    bool readAfter(std::chrono::milliseconds wait) {
        clock.advance(wait);
        return settles(
            [this] { return clock.pendingCount() == 1 || monitor->pendingCount() == 0; });
    }

    MockSystemBus bus;
    test::TemporaryDirectory directory;
    DefaultsStore defaults{QString::fromStdString((directory.path() / "defaults.json").string())};
    ManualClock clock;
    QDBusConnection watched{QString()};
    std::unique_ptr<BluetoothHeadphones> headphones;
    std::unique_ptr<AirPodsMonitor> monitor;
    std::vector<HeadphoneBattery> batteries;
    std::vector<HeadphoneSource::Device> connected;
};

struct BluezCase {
    const char* sentence;
    std::optional<int> batteryAfterRead; ///< 0: from the start; none: never
    int reads;
};

class BluezHeadphones : public HeadphonesOnBusTest,
                        public testing::WithParamInterface<BluezCase> {};

TEST_P(BluezHeadphones, ConnectingReadsBatteryOneAfterTheWaits) {
    ASSERT_TRUE(startBluez());
    startMonitor();
    if (GetParam().batteryAfterRead == 0) {
        giveBluezBattery(55);
    }
    connectBluez();
    ASSERT_TRUE(settles([this] { return monitor->pendingCount() == 1; }));

    clock.advance(1999ms);
    EXPECT_EQ(clock.pendingCount(), 1u) << "no read before two seconds";
    int read = 0;
    for (const auto wait : {1ms, std::chrono::milliseconds(4s), std::chrono::milliseconds(8s)}) {
        if (monitor->pendingCount() == 0) {
            break;
        }
        ASSERT_TRUE(readAfter(wait));
        if (++read == GetParam().batteryAfterRead) {
            giveBluezBattery(55);
        }
    }

    EXPECT_EQ(monitor->pendingCount(), 0u);
    EXPECT_EQ(bluezBatteryReads(), GetParam().reads);
    if (GetParam().batteryAfterRead) {
        EXPECT_EQ(batteries, (std::vector{HeadphoneBattery{"Orbit Buds", std::nullopt, std::nullopt,
                                                           std::nullopt, 55}}));
    } else {
        EXPECT_TRUE(batteries.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BluezHeadphones,
    testing::Values(BluezCase{"a battery known at connection shows after two seconds", 0, 1},
                    BluezCase{"a battery reported late shows at the six second read", 1, 2},
                    BluezCase{"a battery reported at the last read shows", 2, 3},
                    BluezCase{"headphones that never report show nothing", std::nullopt, 3}),
    test::SentenceName());

TEST_F(HeadphonesOnBusTest, UPowerHeadsetsAreShownAndOtherDevicesIgnored) {
    ASSERT_TRUE(bus.start("upower", upower));
    startMonitor();
    const auto add = [this](const QString& name, const QVariantMap& properties) {
        const QString path = upowerPath + QStringLiteral("/devices/") + name;
        bus.addObject(upower, upowerPath, path, upowerDevice, properties);
        bus.emitSignal(upower, upowerPath, upower, QStringLiteral("DeviceAdded"),
                       QStringLiteral("o"), {QVariant::fromValue(QDBusObjectPath(path))});
    };
    add("mouse_dev_01", {{"Type", 5u}, {"Model", "Mouse"}, {"Percentage", 80.0}});
    add("headset_dev_AA", {{"Type", BluetoothHeadphones::headsetKind},
                           {"Model", "Studio Cans"},
                           {"Serial", "aa:bb:cc:dd:ee:ff"},
                           {"Percentage", 70.0}});
    // Answers come in the order asked: once the headset waits, the mouse was looked at.
    ASSERT_TRUE(settles([this] { return monitor->pendingCount() == 1; }));
    ASSERT_TRUE(readAfter(2s));

    ASSERT_EQ(connected.size(), 1u);
    EXPECT_EQ(connected[0].address, "AA:BB:CC:DD:EE:FF");
    EXPECT_EQ(batteries, (std::vector{HeadphoneBattery{"Studio Cans", std::nullopt, std::nullopt,
                                                       std::nullopt, 70}}));
}

TEST_F(HeadphonesOnBusTest, TheSameHeadphonesSeenByBluezAndUPowerAreReadOnce) {
    ASSERT_TRUE(startBluez());
    ASSERT_TRUE(bus.start("upower", upower));
    startMonitor();
    giveBluezBattery(60);
    connectBluez();
    // upowerd mirrors the BlueZ battery, named after the same address.
    const QString path = upowerPath + QStringLiteral("/devices/headset_dev_11_22_33_AA_BB_CC");
    bus.addObject(upower, upowerPath, path, upowerDevice,
                  {{"Type", BluetoothHeadphones::headphonesKind},
                   {"Model", "Orbit Buds"},
                   {"Serial", QString(address).toLower()},
                   {"Percentage", 60.0}});
    bus.emitSignal(upower, upowerPath, upower, QStringLiteral("DeviceAdded"), QStringLiteral("o"),
                   {QVariant::fromValue(QDBusObjectPath(path))});
    ASSERT_TRUE(settles([this] { return connected.size() == 2; }));
    EXPECT_EQ(connected[0].address, connected[1].address);

    EXPECT_EQ(monitor->pendingCount(), 1u) << "one read sequence for both";
    ASSERT_TRUE(readAfter(2s));
    EXPECT_EQ(monitor->pendingCount(), 0u);
    EXPECT_EQ(batteries, (std::vector{HeadphoneBattery{"Orbit Buds", std::nullopt, std::nullopt,
                                                       std::nullopt, 60}}));
}

// ---- Brightness through logind

// A backlight tree of the test's own and logind's Session.SetBrightness played by the mock,
// which writes the level into the tree as the real one would.
class BacklightOnBusTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.ready()) << "dbus-daemon did not start";
        root = bus.directory() / "backlight";
        // The firmware device wins over the raw one whatever their names.
        device("acpi_video0", "firmware", 1000, 500);
        device("amdgpu_bl0", "raw", 255, 10);
    }

    void device(const std::string& name, const char* type, long maximum, long level) {
        write(root / name / "type", type);
        write(root / name / "max_brightness", std::to_string(maximum));
        write(root / name / "brightness", std::to_string(level));
        write(root / name / "actual_brightness", std::to_string(level));
    }

    bool startLogind() {
        if (!bus.start("logind", logind)) {
            return false;
        }
        const QString code = QStringLiteral("open('%1/' + args[1] + '/brightness', 'w')"
                                            ".write('%d\\n' % args[2])")
                                 .arg(QString::fromStdString(root.string()));
        bus.addObject(logind, QStringLiteral("/org/freedesktop/login1"), sessionPath,
                      QStringLiteral("org.freedesktop.login1.Session"), {},
                      {{QStringLiteral("SetBrightness"), QStringLiteral("ssu"), QString(), code}});
        return true;
    }

    // The arguments of every SetBrightness call, in order.
    std::vector<std::tuple<QString, QString, uint>> calls() {
        const QDBusMessage reply =
            bus.mock(logind, sessionPath, QStringLiteral("GetMethodCalls"), {"SetBrightness"});
        std::vector<std::tuple<QString, QString, uint>> result;
        if (reply.arguments().isEmpty()) {
            return result;
        }
        const QDBusArgument list = reply.arguments().constFirst().value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd()) {
            qulonglong time = 0;
            QVariantList arguments;
            list.beginStructure();
            list >> time >> arguments;
            list.endStructure();
            if (arguments.size() == 3) {
                result.emplace_back(arguments[0].toString(), arguments[1].toString(),
                                    arguments[2].toUInt());
            }
        }
        list.endArray();
        return result;
    }

    void startHUD() {
        brightness = std::make_unique<BacklightBrightness>(QString::fromStdString(root.string()),
                                                           bus.connect());
        Preferences::registerDefaults(defaults);
        defaults.set("hud.replaceSystem", true);
        audio = std::make_unique<AudioState>(volume);
        hud = std::make_unique<HUDController>(HUDController::Environment{
            clock, defaults,
            [this](const TransientActivity& activity) { shown.push_back(activity); }, tap, volume,
            *audio, *brightness,
            std::make_unique<PowerMonitor>([] { return std::nullopt; }, notifications),
            std::make_unique<AlertMonitor>(clock, sampler, [](std::uint64_t) { return QString(); }),
            std::make_unique<AirPodsMonitor>(clock, defaults, headphones)});
        hud->start();
        ASSERT_TRUE(hud->isReplacingSystemHUD());
    }

    bool press(MediaKey key) { return tap.press(MediaKeyEvent{key, true, false}); }

    static TransientActivity brightnessLevel(double value) {
        return TransientActivity::level(TransientActivity::LevelKind::brightness, value, false);
    }

    const QString sessionPath = QStringLiteral("/org/freedesktop/login1/session/auto");
    MockSystemBus bus;
    std::filesystem::path root;
    test::TemporaryDirectory directory;
    DefaultsStore defaults{QString::fromStdString((directory.path() / "defaults.json").string())};
    ManualClock clock;
    test::FakeKeyTap tap;
    test::FakeSystemVolume volume;
    test::FakePowerNotifications notifications;
    test::RecordedAlertSampler sampler;
    test::FakeHeadphoneSource headphones;
    std::unique_ptr<BacklightBrightness> brightness;
    std::unique_ptr<AudioState> audio;
    std::unique_ptr<HUDController> hud;
    std::vector<TransientActivity> shown;
};

TEST_F(BacklightOnBusTest, KeysReachLogindOneStepEachEvenBeforeTheFirstWriteLands) {
    ASSERT_TRUE(startLogind());
    startHUD();
    ASSERT_EQ(brightness->deviceName(), "acpi_video0");

    // Two presses before logind answered: the second steps from the level asked for.
    EXPECT_TRUE(press(MediaKey::brightnessUp));
    EXPECT_TRUE(press(MediaKey::brightnessUp));
    ASSERT_TRUE(settles([this] { return calls().size() == 2; }));
    EXPECT_EQ(calls(), (std::vector<std::tuple<QString, QString, uint>>{
                           {"backlight", "acpi_video0", 563}, {"backlight", "acpi_video0", 625}}));
    EXPECT_EQ(shown, (std::vector{brightnessLevel(0.563), brightnessLevel(0.625)}));

    // Once written, the level read is the kernel's again.
    ASSERT_TRUE(settles([this] { return brightness->get() == 0.625; }));
    EXPECT_TRUE(press(MediaKey::brightnessDown));
    ASSERT_TRUE(settles([this] { return calls().size() == 3; }));
    EXPECT_EQ(std::get<2>(calls().back()), 563u);
}

TEST_F(BacklightOnBusTest, WithoutLogindTheLevelFallsBackToWhatTheKernelHas) {
    startHUD();
    test::LogCapture log;
    EXPECT_TRUE(press(MediaKey::brightnessUp));
    EXPECT_EQ(shown, (std::vector{brightnessLevel(0.563)}));
    // The refused write must not leave reads answering the level that was never set.
    ASSERT_TRUE(settles([this] { return brightness->get() == 0.5; }));
    EXPECT_TRUE(std::any_of(log.lines().begin(), log.lines().end(), [](const auto& line) {
        return line.type == QtWarningMsg && line.message.startsWith("Brightness not set:");
    }));
}

TEST_F(BacklightOnBusTest, WithoutABacklightTheKeysStayWithTheDesktop) {
    std::filesystem::remove_all(root);
    ASSERT_TRUE(startLogind());
    startHUD();
    EXPECT_FALSE(brightness->isAvailable());
    EXPECT_FALSE(press(MediaKey::brightnessUp));
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(calls().empty());
}

} // namespace
} // namespace orlet

#include "HUDSystemBusTest.moc"
