// Waking from sleep, told by logind as python3-dbusmock plays it on a private bus: the
// calendar looks at the wall clock again instead of waiting out a delay that sleep stretched.
#include "Today/WakeWatcher.h"

#include "Platform/ManualClock.h"
#include "PrivateBus.h"
#include "QtTestSupport.h"
#include "Today/CalendarService.h"
#include "TodayFakes.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace orlet {
namespace {

using namespace std::chrono_literals;
using test::at;

// Spins the event loop until `condition` holds; only for waiting on the bus.
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

class Waking : public testing::Test {
protected:
    void SetUp() override {
        bus_.launch({"/usr/bin/python3", "-m", "dbusmock", "--template", "logind"});
        ASSERT_TRUE(bus_.waitForName(QStringLiteral("org.freedesktop.login1")));
        watcher_.onWake = [this] { ++wakes_; };
        ASSERT_TRUE(watcher_.start());
    }

    void prepareForSleep(bool sleeping) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("EmitSignal"));
        message.setArguments({QStringLiteral("org.freedesktop.login1.Manager"),
                              QStringLiteral("PrepareForSleep"), QStringLiteral("b"),
                              QVariantList{sleeping}});
        const QDBusMessage reply = bus_.connection().call(message);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }

    test::PrivateBus bus_;
    WakeWatcher watcher_{bus_.address()};
    int wakes_ = 0;
};

TEST_F(Waking, AMeetingDueAfterTheWakeIsRemindedWithTheMinutesLeft) {
    ManualClock clock;
    clock.setDate(at("2026-01-12 09:00"));
    test::FakeStore store;
    store.list = {test::meeting("review", "2026-01-12 10:00", "2026-01-12 11:00")};
    CalendarService calendar({clock, store, test::berlin()});
    std::vector<QString> reminders;
    calendar.showTransient = [&](const TransientActivity& activity) {
        reminders.push_back(activity.asAlert()->text);
    };
    watcher_.onWake = [&] { calendar.reload(); };
    calendar.start();

    // Asleep from 09:10 to 09:57: the wall clock moved, the monotonic one did not.
    clock.advance(10min);
    prepareForSleep(true);
    clock.setDate(at("2026-01-12 09:57"));
    prepareForSleep(false);
    ASSERT_TRUE(eventually([&] {
        clock.advance(0s);
        return !reminders.empty();
    }));
    EXPECT_EQ(reminders, std::vector<QString>{QStringLiteral("In 3 min")});
}

} // namespace
} // namespace orlet
