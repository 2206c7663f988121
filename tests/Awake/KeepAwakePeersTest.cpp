#include "Awake/DBusPowerManagement.h"
#include "Awake/KeepAwake.h"
#include "Awake/PidfdProcessWatcher.h"
#include "AwakeFakes.h"
#include "DBusPeers.h"
#include "Platform/ManualClock.h"
#include "QtTestSupport.h"

#include <QDBusArgument>
#include <QDBusReply>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace orlet {
namespace {

using namespace std::chrono_literals;
using Mode = KeepAwake::Mode;
using test::settles;

const QString loginService = QStringLiteral("org.freedesktop.login1");
const QString screenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");

struct Inhibitor {
    QString what, who, why, mode;
    bool operator==(const Inhibitor&) const = default;
};

// logind's template on a private system bus, the session's screen saver on a private session
// bus, and keep-awake talking to both.
class KeepAwakePeersTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(systemBus.ready() && sessionBus.ready()) << "dbus-daemon did not start";
        logind = systemBus.mock("logind", loginService);
        ASSERT_TRUE(logind) << "the logind mock did not start";
        screenSaver = sessionBus.mock(ORLET_SCREENSAVER_TEMPLATE, screenSaverService);
        ASSERT_TRUE(screenSaver) << "the screen saver mock did not start";
        awake.onChange = [this](bool on) { changes.push_back(on); };
    }

    std::vector<Inhibitor> inhibitors() const {
        const QDBusMessage reply = systemBus.connection().call(
            QDBusMessage::createMethodCall(loginService, "/org/freedesktop/login1",
                                           "org.freedesktop.login1.Manager", "ListInhibitors"));
        std::vector<Inhibitor> list;
        if (reply.type() != QDBusMessage::ReplyMessage) {
            ADD_FAILURE() << reply.errorMessage().toStdString();
            return list;
        }
        const auto argument = reply.arguments().at(0).value<QDBusArgument>();
        argument.beginArray();
        while (!argument.atEnd()) {
            Inhibitor inhibitor;
            uint uid = 0, pid = 0;
            argument.beginStructure();
            argument >> inhibitor.what >> inhibitor.who >> inhibitor.why >> inhibitor.mode >> uid >>
                pid;
            argument.endStructure();
            list.push_back(inhibitor);
        }
        argument.endArray();
        return list;
    }

    QStringList screenSaverInhibitions() const {
        const QDBusReply<QStringList> reply = sessionBus.connection().call(
            QDBusMessage::createMethodCall(screenSaverService, "/org/freedesktop/ScreenSaver",
                                           "org.orlet.Test", "Inhibitions"));
        return reply.value();
    }

    uint activityCount() const {
        const QDBusReply<uint> reply = sessionBus.connection().call(QDBusMessage::createMethodCall(
            screenSaverService, "/org/freedesktop/ScreenSaver", "org.orlet.Test", "ActivityCount"));
        return reply.value();
    }

    uint inhibitCount() const {
        const QDBusReply<uint> reply = sessionBus.connection().call(QDBusMessage::createMethodCall(
            screenSaverService, "/org/freedesktop/ScreenSaver", "org.orlet.Test", "InhibitCount"));
        return reply.value();
    }

    bool holdsOneOfEach() const {
        return inhibitors().size() == 1 && screenSaverInhibitions().size() == 1;
    }
    bool holdsNothing() const { return inhibitors().empty() && screenSaverInhibitions().empty(); }

    int onLines() const {
        int count = 0;
        for (const auto& line : log.lines()) {
            count += line.message.startsWith("Keep awake on: ") ? 1 : 0;
        }
        return count;
    }

    test::PrivateBus systemBus{"orlet-awake-system"};
    test::PrivateBus sessionBus{"orlet-awake-session"};
    std::unique_ptr<test::BackgroundProcess> logind;
    std::unique_ptr<test::BackgroundProcess> screenSaver;
    ManualClock clock;
    std::shared_ptr<test::FakeProcessWatcher> processes =
        std::make_shared<test::FakeProcessWatcher>();
    KeepAwake awake{
        {clock,
         std::make_shared<DBusPowerManagement>(systemBus.connection(), sessionBus.connection()),
         processes, nullptr}};
    std::vector<bool> changes;
    test::LogCapture log;
};

TEST_F(KeepAwakePeersTest, TakenOnceReplacedNeverDoubledAndGivenBackOnStop) {
    awake.start(Mode::indefinite());
    ASSERT_TRUE(settles([this] { return onLines() == 1; }));
    EXPECT_EQ(inhibitors(),
              (std::vector<Inhibitor>{{"idle:sleep", "Orlet", "Orlet: Keep Awake", "block"}}));
    EXPECT_EQ(screenSaverInhibitions(), QStringList{"Orlet: Orlet: Keep Awake"});
    EXPECT_TRUE(std::any_of(log.lines().begin(), log.lines().end(), [](const auto& line) {
        return line.message == "Keep awake on: Until turned off, 2 assertions";
    }));

    std::size_t most = 0;
    awake.start(Mode::until(clock.date() + 1h));
    ASSERT_TRUE(settles([&] {
        most = std::max({most, inhibitors().size(), std::size_t(screenSaverInhibitions().size())});
        return onLines() == 2 && holdsOneOfEach();
    }));
    EXPECT_EQ(most, 1u) << "the first hold went before the second was asked for";

    awake.stop();
    ASSERT_TRUE(settles([this] { return holdsNothing(); }))
        << "logind lets go only once the descriptor is closed";
    EXPECT_EQ(changes, (std::vector{true, true, false}));
}

TEST_F(KeepAwakePeersTest, GrantsArrivingAfterTheHolderWentAreGivenBackAtOnce) {
    // No event loop in between: every answer arrives after its holder was replaced or stopped.
    awake.start(Mode::indefinite());
    awake.start(Mode::indefinite());
    awake.stop();
    // Both inhibitions were granted, and both were given back when their answers came.
    ASSERT_TRUE(settles([this] { return inhibitCount() == 2 && holdsNothing(); }));
    EXPECT_EQ(onLines(), 0) << "no holder lived to hear its answers";
}

TEST_F(KeepAwakePeersTest, DeclaresActivityToTheSessionEveryThirtySeconds) {
    awake.start(Mode::indefinite());
    ASSERT_TRUE(settles([this] { return activityCount() == 1; }));
    clock.advance(30s);
    ASSERT_TRUE(settles([this] { return activityCount() == 2; }));
    awake.stop();
    clock.advance(60s);
    // Letting go reaches the services asynchronously (the descriptor's close, a late grant
    // handed back); once it has, no declaration may have followed the stop.
    ASSERT_TRUE(settles([this] { return holdsNothing(); }));
    EXPECT_EQ(activityCount(), 2u);
}

TEST(KeepAwakeWithoutServicesTest, StaysOnWithNoAssertionsAndSaysWhy) {
    test::PrivateBus systemBus{"orlet-awake-empty-system"};
    test::PrivateBus sessionBus{"orlet-awake-empty-session"};
    ASSERT_TRUE(systemBus.ready() && sessionBus.ready());
    test::LogCapture log;
    ManualClock clock;
    KeepAwake awake{
        {clock,
         std::make_shared<DBusPowerManagement>(systemBus.connection(), sessionBus.connection()),
         std::make_shared<test::FakeProcessWatcher>(), nullptr}};

    awake.start(Mode::indefinite());
    // The answers, the activity call's among them, come in any order.
    const auto said = [&log](const QString& text) {
        return std::count_if(log.lines().begin(), log.lines().end(),
                             [&](const auto& line) { return line.message.contains(text); });
    };
    ASSERT_TRUE(settles([&] { return said("Keep awake on") == 1; }));
    EXPECT_TRUE(awake.isActive());
    EXPECT_EQ(said("Keep awake on: Until turned off, 0 assertions"), 1);
    EXPECT_EQ(said("Keep awake cannot inhibit idle sleep through logind:"), 1);
    EXPECT_EQ(said("Keep awake cannot inhibit the screen saver:"), 1);
    ASSERT_TRUE(settles([&] { return said("Keep awake cannot declare user activity:") == 1; }));
    clock.advance(30s);
    // The bus answers in order: once this call is answered, so is the second declaration.
    sessionBus.connection().call(QDBusMessage::createMethodCall(
        "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId"));
    for (int round = 0; round < 20; ++round) {
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(said("Keep awake cannot declare user activity:"), 1) << "said once, not every time";
}

// ---- Real processes watched through pidfds

class WhileRunningTest : public testing::Test {
protected:
    WhileRunningTest() {
        awake.onChange = [this](bool on) { changes.push_back(on); };
    }

    std::unique_ptr<test::BackgroundProcess> sleeper() {
        return std::make_unique<test::BackgroundProcess>(
            std::vector<std::string>{"sleep", "300"}, test::Environment{{"PATH", "/usr/bin:/bin"}});
    }

    ManualClock clock;
    std::shared_ptr<test::FakePowerManagement> power =
        std::make_shared<test::FakePowerManagement>();
    KeepAwake awake{{clock, power, std::make_shared<PidfdProcessWatcher>(), nullptr}};
    std::vector<bool> changes;
};

TEST_F(WhileRunningTest, EndsWhenTheWatchedProcessExitsAndNotBefore) {
    auto watched = sleeper();
    auto other = sleeper();
    awake.start(Mode::whileRunning(watched->pid(), "Sleeper"));

    other->stop();
    for (int round = 0; round < 50; ++round) {
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(awake.isActive()) << "another process ending changes nothing";

    watched->signal(SIGKILL);
    ASSERT_TRUE(settles([this] { return !awake.isActive(); }));
    EXPECT_EQ(changes, (std::vector{true, false}));
    EXPECT_EQ(power->held, 0);
}

TEST_F(WhileRunningTest, AProcessGoneBeforeTheStartEndsItRightAway) {
    pid_t gone = 0;
    {
        auto process = sleeper();
        gone = process->pid();
        process->stop(); // reaped: the number names nobody now
    }
    awake.start(Mode::whileRunning(gone, "Sleeper"));
    EXPECT_TRUE(awake.isActive());
    ASSERT_TRUE(settles([this] { return !awake.isActive(); }));
    EXPECT_EQ(changes, (std::vector{true, false}));
}

TEST_F(WhileRunningTest, AReplacedWatchNoLongerEndsKeepAwake) {
    auto watched = sleeper();
    awake.start(Mode::whileRunning(watched->pid(), "Sleeper"));
    awake.start(Mode::indefinite());
    watched->signal(SIGKILL);
    ASSERT_TRUE(watched->waitForExit(10s));
    for (int round = 0; round < 50; ++round) {
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(awake.isActive());
    EXPECT_EQ(changes, (std::vector{true, true}));
}

} // namespace
} // namespace orlet
