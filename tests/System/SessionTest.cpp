#include "PrivateBus.h"
#include "System/PowerProfiles.h"
#include "System/SessionActivityWatcher.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace orlet {
namespace {

using namespace std::chrono_literals;

bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents();
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

QDBusMessage call(test::PrivateBus& bus, const QString& service, const QString& path,
                  const QString& interface, const QString& method, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = bus.connection().call(message);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    return reply;
}

// logind and GNOME's screen saver as python3-dbusmock plays them.
class SessionActivityWatcherTest : public testing::Test {
protected:
    void SetUp() override {
        bus.launch({"/usr/bin/python3", "-m", "dbusmock", "--template", "logind"});
        bus.launch({"/usr/bin/python3", "-m", "dbusmock", "--template", "gnome_screensaver"});
        ASSERT_TRUE(bus.waitForName(QStringLiteral("org.freedesktop.login1")));
        ASSERT_TRUE(bus.waitForName(QStringLiteral("org.gnome.ScreenSaver")));
        const QDBusMessage added =
            call(bus, QStringLiteral("org.freedesktop.login1"),
                 QStringLiteral("/org/freedesktop/login1"),
                 QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("AddSession"),
                 {QStringLiteral("c7"), QStringLiteral("seat0"), QVariant::fromValue(1000u),
                  QStringLiteral("someone"), true});
        // The template gives the path as a string.
        const QVariant path = added.arguments().value(0);
        sessionPath = path.userType() == qMetaTypeId<QDBusObjectPath>()
                          ? path.value<QDBusObjectPath>().path()
                          : path.toString();
        watcher.onChange = [this](bool suspended) { changes.push_back(suspended); };
        watcher.start(QStringLiteral("c7"));
    }

    void prepareForSleep(bool sleeping) {
        call(bus, QStringLiteral("org.freedesktop.login1"),
             QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.DBus.Mock"),
             QStringLiteral("EmitSignal"),
             {QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
              QStringLiteral("b"), QVariantList{sleeping}});
    }

    void setSessionActive(bool active) {
        call(bus, QStringLiteral("org.freedesktop.login1"), sessionPath,
             QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
             {QStringLiteral("org.freedesktop.login1.Session"), QStringLiteral("Active"),
              QVariant::fromValue(QDBusVariant(active))});
    }

    void setScreenSaver(bool active) {
        call(bus, QStringLiteral("org.gnome.ScreenSaver"), QStringLiteral("/org/gnome/ScreenSaver"),
             QStringLiteral("org.gnome.ScreenSaver"), QStringLiteral("SetActive"), {active});
    }

    test::PrivateBus bus;
    QString sessionPath;
    std::vector<bool> changes;
    SessionActivityWatcher watcher{{.system = bus.address(), .session = bus.address()}};
};

TEST_F(SessionActivityWatcherTest, SleepSessionSwitchAndScreenSaverEachSuspend) {
    struct Step {
        const char* sentence;
        std::function<void()> act;
        bool suspended;
    };
    const Step steps[] = {
        {"the machine prepares to sleep", [this] { prepareForSleep(true); }, true},
        {"it wakes", [this] { prepareForSleep(false); }, false},
        {"the user switches to another session", [this] { setSessionActive(false); }, true},
        {"the screen saver comes on meanwhile", [this] { setScreenSaver(true); }, true},
        {"the user comes back to the locked screen", [this] { setSessionActive(true); }, true},
        {"and unlocks it", [this] { setScreenSaver(false); }, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.sentence);
        step.act();
        EXPECT_TRUE(eventually([&] { return watcher.isSuspended() == step.suspended; }));
    }
    // Only the changes of the whole answer were told.
    EXPECT_TRUE(eventually([&] { return changes.size() == 4; }));
    EXPECT_EQ(changes, (std::vector<bool>{true, false, true, false}));
}

struct ProfileCase {
    const char* sentence;
    std::optional<const char*> profile; ///< none: no daemon
    bool lowPower;
};

class PowerProfilesTest : public testing::TestWithParam<ProfileCase> {};

TEST_P(PowerProfilesTest, LowPowerModeIsThePowerSaverProfile) {
    test::PrivateBus bus;
    if (GetParam().profile) {
        bus.launch({"/usr/bin/python3", "-m", "dbusmock", "--template", "power_profiles_daemon",
                    "--parameters",
                    std::string("{\"ActiveProfile\": \"") + *GetParam().profile + "\"}"});
        ASSERT_TRUE(bus.waitForName(QStringLiteral("net.hadess.PowerProfiles")));
    }
    PowerProfiles profiles(bus.address());
    EXPECT_EQ(profiles.isLowPowerModeEnabled(), GetParam().lowPower);
}

const ProfileCase profileCases[] = {
    {"power saver", "power-saver", true},
    {"balanced", "balanced", false},
    {"no daemon", std::nullopt, false},
};

INSTANTIATE_TEST_SUITE_P(Cases, PowerProfilesTest, testing::ValuesIn(profileCases),
                         [](const auto& info) {
                             return std::string(info.index == 0   ? "PowerSaver"
                                                : info.index == 1 ? "Balanced"
                                                                  : "NoDaemon");
                         });

} // namespace
} // namespace orlet
