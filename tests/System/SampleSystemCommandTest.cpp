#include "ChildProcess.h"
#include "PrivateBus.h"
#include "TemporaryDirectory.h"

#include <QDBusMessage>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

namespace orlet {
namespace {

// The real program on this machine, with upowerd played by python3-dbusmock.
TEST(SampleSystemCommandTest, PrintsTheMachine) {
    test::PrivateBus bus;
    bus.launch({"/usr/bin/python3", "-m", "dbusmock", "--template", "upower"});
    ASSERT_TRUE(bus.waitForName(QStringLiteral("org.freedesktop.UPower")));
    QDBusMessage add = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.UPower"), QStringLiteral("/org/freedesktop/UPower"),
        QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("AddDischargingBattery"));
    add << QStringLiteral("mock_BAT") << QStringLiteral("Battery") << 40.0
        << static_cast<qint64>(5400);
    ASSERT_EQ(bus.connection().call(add).type(), QDBusMessage::ReplyMessage);

    test::TemporaryDirectory home;
    const auto result =
        test::ChildProcess::run({ORLET_APP_PATH, "--sample-system"},
                                {{"PATH", "/usr/bin:/bin"},
                                 {"HOME", home.path().string()},
                                 {"XDG_CONFIG_HOME", (home.path() / "config").string()},
                                 {"XDG_RUNTIME_DIR", home.path().string()},
                                 {"DBUS_SYSTEM_BUS_ADDRESS", bus.address()},
                                 {"DBUS_SESSION_BUS_ADDRESS", bus.address()}});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const nlohmann::json report = nlohmann::json::parse(result.out);
    ASSERT_TRUE(report["cpu"].is_object()) << result.out;
    EXPECT_EQ(report["cpu"]["perCore"].size(),
              static_cast<std::size_t>(::sysconf(_SC_NPROCESSORS_ONLN)));
    ASSERT_TRUE(report["memory"].is_object()) << result.out;
    EXPECT_EQ(report["memory"]["total"].get<std::uint64_t>(),
              static_cast<std::uint64_t>(::sysconf(_SC_PHYS_PAGES)) *
                  static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE)));
    EXPECT_TRUE(report["storage"].is_object()) << result.out;
    EXPECT_TRUE(report["network"].is_object()) << result.out;
    EXPECT_EQ(report["battery"], (nlohmann::json{{"level", 0.4},
                                                 {"isCharging", false},
                                                 {"isPluggedIn", false},
                                                 {"minutesRemaining", 90}}));
}

} // namespace
} // namespace orlet
