#include "Awake/KeepAwake.h"

#include "AwakeFakes.h"
#include "Platform/ManualClock.h"
#include "QtTestSupport.h"
#include "TestNames.h"

#include <QLocale>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

namespace orlet {
namespace {

using namespace std::chrono_literals;
using Mode = KeepAwake::Mode;

// Labels and times in a fixed place: New York is not where the test machine is.
class FixedLocale {
public:
    FixedLocale() {
        setenv("TZ", "America/New_York", 1);
        tzset();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
};

class KeepAwakeTest : public testing::Test {
protected:
    KeepAwakeTest() {
        awake.onChange = [this](bool on) { changes.push_back(on); };
    }

    std::vector<QString> logLines() const {
        std::vector<QString> lines;
        for (const auto& line : log.lines()) {
            if (line.category == "com.brambleowl.orlet.app") {
                lines.push_back(line.message);
            }
        }
        return lines;
    }

    FixedLocale locale;
    ManualClock clock;
    std::shared_ptr<test::FakePowerManagement> power =
        std::make_shared<test::FakePowerManagement>();
    std::shared_ptr<test::FakeProcessWatcher> processes =
        std::make_shared<test::FakeProcessWatcher>();
    KeepAwake awake{{clock, power, processes, nullptr}};
    std::vector<bool> changes;
    test::LogCapture log;
};

struct LabelCase {
    const char* sentence;
    std::function<Mode(Clock::Date now)> mode;
    QString label;
};

class KeepAwakeLabelTest : public testing::TestWithParam<LabelCase> {};

TEST_P(KeepAwakeLabelTest, NamesTheMode) {
    FixedLocale locale;
    ManualClock clock; // 2026-01-01 00:00 UTC, 19:00 the evening before in New York
    EXPECT_EQ(GetParam().mode(clock.date()).label(), GetParam().label);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, KeepAwakeLabelTest,
    testing::Values(
        LabelCase{"an hour ahead in the user's zone",
                  [](auto now) { return Mode::until(now + 1h); }, "Until 8:00 PM"},
        LabelCase{"a morning time has no leading zero",
                  [](auto now) { return Mode::until(now + 14h + 5min); }, "Until 9:05 AM"},
        LabelCase{"an application", [](auto) { return Mode::whileRunning(42, "Xcode"); },
                  "While Xcode runs"},
        LabelCase{"off only by hand", [](auto) { return Mode::indefinite(); }, "Until turned off"}),
    test::SentenceName());

TEST_F(KeepAwakeTest, UntilHoldsForTheHourThenEndsByItselfOnce) {
    awake.start(Mode::until(clock.date() + 3600s));
    power->answerAll();
    EXPECT_EQ(power->held, 2);

    clock.advance(3599s);
    EXPECT_TRUE(awake.isActive());
    clock.advance(1s);
    EXPECT_FALSE(awake.isActive());
    EXPECT_EQ(changes, (std::vector{true, false}));
    EXPECT_EQ(power->held, 0);
    EXPECT_EQ(clock.pendingCount(), 0u) << "no loop and no end timer left";
    EXPECT_EQ(logLines(), (std::vector<QString>{"Keep awake on: Until 8:00 PM, 2 assertions",
                                                "Keep awake off"}));
}

TEST_F(KeepAwakeTest, UntilATimeAlreadyPastEndsRightAfterStart) {
    awake.start(Mode::until(clock.date() - 10s));
    EXPECT_TRUE(awake.isActive()) << "the start itself completes";
    clock.advance(0s);
    EXPECT_FALSE(awake.isActive());
    EXPECT_EQ(changes, (std::vector{true, false}));
}

TEST_F(KeepAwakeTest, WhileRunningEndsWithThatProcessOnly) {
    awake.start(Mode::whileRunning(4242, "Firefox"));
    ASSERT_EQ(processes->watches.size(), 1u);

    processes->exit(1111);
    EXPECT_TRUE(awake.isActive());
    processes->exit(4242);
    EXPECT_FALSE(awake.isActive());
    EXPECT_TRUE(processes->watches.empty()) << "the watch is given up";
    EXPECT_EQ(changes, (std::vector{true, false}));
}

TEST_F(KeepAwakeTest, WhileRunningStaysOnWhenProcessesCannotBeWatched) {
    processes->watchable = false;
    awake.start(Mode::whileRunning(4242, "Firefox"));
    clock.advance(24h);
    EXPECT_TRUE(awake.isActive());
    awake.stop();
    EXPECT_FALSE(awake.isActive());
}

TEST_F(KeepAwakeTest, ASecondStartReplacesEverythingWithoutPassingThroughOff) {
    awake.start(Mode::whileRunning(4242, "Firefox"));
    power->answerAll();
    clock.advance(10s);
    awake.start(Mode::until(clock.date() + 60s));
    power->answerAll();

    EXPECT_EQ(power->held, 2) << "one set of assertions";
    EXPECT_TRUE(processes->watches.empty()) << "the old mode's watch is gone";
    EXPECT_EQ(power->declarations, 2) << "each start declares activity at once";
    clock.advance(30s);
    EXPECT_EQ(power->declarations, 3) << "one loop: one declaration per 30 seconds";
    EXPECT_EQ(changes, (std::vector{true, true}));
    EXPECT_EQ(logLines(), (std::vector<QString>{"Keep awake on: While Firefox runs, 2 assertions",
                                                "Keep awake on: Until 7:01 PM, 2 assertions"}));

    processes->exit(4242);
    EXPECT_TRUE(awake.isActive()) << "the replaced mode's process no longer counts";
}

TEST_F(KeepAwakeTest, TheLogCountsGrantsOnceAllAnswered) {
    awake.start(Mode::indefinite());
    EXPECT_TRUE(logLines().empty()) << "nothing is known before the answers";
    power->answerAll(true, false);
    EXPECT_EQ(logLines(), (std::vector<QString>{"Keep awake on: Until turned off, 1 assertions"}));
}

TEST_F(KeepAwakeTest, AnswersForAReplacedStartAreNotReported) {
    awake.start(Mode::indefinite());
    awake.start(Mode::whileRunning(7, "Editor"));
    power->answerAll();
    EXPECT_EQ(logLines(), (std::vector<QString>{"Keep awake on: While Editor runs, 2 assertions"}));
    EXPECT_EQ(power->held, 2);
}

TEST_F(KeepAwakeTest, DeclaresActivityAtStartAndEveryThirtySecondsUntilStopped) {
    awake.start(Mode::indefinite());
    EXPECT_EQ(power->declarations, 1);
    clock.advance(29s);
    EXPECT_EQ(power->declarations, 1);
    clock.advance(1s);
    EXPECT_EQ(power->declarations, 2);
    clock.advance(60s);
    EXPECT_EQ(power->declarations, 4);

    awake.stop();
    clock.advance(5min);
    EXPECT_EQ(power->declarations, 4);
    EXPECT_EQ(power->held, 0);
}

TEST_F(KeepAwakeTest, StopWhenOffTellsNobodyAndLogsNothing) {
    awake.stop();
    EXPECT_TRUE(changes.empty());
    EXPECT_TRUE(logLines().empty());

    awake.start(Mode::indefinite());
    awake.stop();
    awake.stop();
    EXPECT_EQ(changes, (std::vector{true, false}));
    EXPECT_EQ(logLines(), (std::vector<QString>{"Keep awake off"}))
        << "stopped before any answer: no count to report";
}

} // namespace
} // namespace orlet
