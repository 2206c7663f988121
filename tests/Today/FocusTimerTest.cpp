// The focus timer on a manual clock: its transitions, the end notice and the count-down text.
#include "Today/FocusTimer.h"

#include "Platform/ManualClock.h"
#include "QtTestSupport.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"
#include "Today/ThemeSound.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace orlet {

// Readable states in failure messages.
void PrintTo(const FocusTimer::State& state, std::ostream* out) {
    if (const auto* running = std::get_if<FocusTimer::Running>(&state)) {
        *out << "running(total " << running->total << ")";
    } else if (const auto* paused = std::get_if<FocusTimer::Paused>(&state)) {
        *out << "paused(" << paused->remaining << ", " << paused->total << ")";
    } else {
        *out << "idle";
    }
}

namespace {

using namespace std::chrono_literals;
using Paused = FocusTimer::Paused;
using Running = FocusTimer::Running;
using Idle = FocusTimer::Idle;

const FocusTimer::Preset& preset(const char* label) {
    for (const FocusTimer::Preset& preset : FocusTimer::presets()) {
        if (preset.label == QLatin1String(label)) {
            return preset;
        }
    }
    throw std::invalid_argument(label);
}

// Never runs what it is given: time passes, the completion does not come, as when a pause
// reaches the main thread just before the end does.
class StalledClock : public Clock {
public:
    explicit StalledClock(ManualClock& time) : time_(time) {}
    TimePoint now() const override { return time_.now(); }
    Date date() const override { return time_.date(); }
    DelayedJob schedule(Duration, std::function<void()> action) override {
        return DelayedJob(std::make_shared<DelayedJob::State>(std::move(action)));
    }

private:
    ManualClock& time_;
};

class Timer : public testing::Test {
protected:
    explicit Timer(Clock* clock = nullptr)
        : timer_({clock ? *clock : clock_, [this] { ++sounds_; }}) {
        timer_.onChange = [this] { ++changes_; };
        timer_.showTransient = [this](const TransientActivity& activity) {
            notices_.push_back(activity);
        };
    }

    Clock::TimePoint in(Clock::Duration duration) const { return clock_.now() + duration; }

    ManualClock clock_;
    FocusTimer timer_;
    int changes_ = 0;
    int sounds_ = 0;
    std::vector<TransientActivity> notices_;
};

TEST_F(Timer, RunsOutWithTheSoundAndTheNoticeNamedAfterItsLabel) {
    timer_.start(preset("Focus"));
    EXPECT_EQ(timer_.state(), FocusTimer::State(Running{in(25min), 1500}));
    EXPECT_EQ(timer_.label(), QStringLiteral("Focus"));
    clock_.advance(25min - 1ns);
    EXPECT_TRUE(notices_.empty());
    EXPECT_EQ(FocusTimer::format(timer_.remaining()), QStringLiteral("0:01"));
    clock_.advance(1ns);
    EXPECT_EQ(timer_.state(), FocusTimer::State(Idle{}));
    EXPECT_EQ(sounds_, 1);
    EXPECT_EQ(notices_, std::vector<TransientActivity>{TransientActivity::alert(
                            QStringLiteral("timer"), QStringLiteral("Focus done"),
                            TransientActivity::Severity::warning)});
    EXPECT_EQ(changes_, 2);
}

TEST_F(Timer, PauseFreezesTheRemainderAndResumeCountsOnFromIt) {
    timer_.start(preset("Break"));
    clock_.advance(2min);
    timer_.pause();
    EXPECT_EQ(timer_.state(), FocusTimer::State(Paused{180, 300}));
    clock_.advance(1h);
    EXPECT_TRUE(notices_.empty()) << "a paused timer never ends";
    EXPECT_EQ(timer_.remaining(), 180);
    timer_.resume();
    EXPECT_EQ(timer_.state(), FocusTimer::State(Running{in(3min), 300}));
    clock_.advance(3min);
    EXPECT_EQ(notices_.size(), 1u);
    EXPECT_EQ(changes_, 4);
}

TEST_F(Timer, StoppingShowsNothingAndCancelsTheEnd) {
    timer_.start(preset("Timer"));
    timer_.stop();
    clock_.advance(1h);
    EXPECT_EQ(timer_.state(), FocusTimer::State(Idle{}));
    EXPECT_TRUE(notices_.empty());
    EXPECT_EQ(sounds_, 0);
    EXPECT_EQ(clock_.pendingCount(), 0u);
}

TEST_F(Timer, AnAddedMinuteMovesTheEndAndTheTotal) {
    timer_.start(preset("Focus"));
    clock_.advance(15min);
    timer_.pause();
    timer_.addMinute();
    EXPECT_EQ(timer_.state(), FocusTimer::State(Paused{660, 1560}));
    timer_.resume();
    timer_.addMinute();
    EXPECT_EQ(timer_.state(), FocusTimer::State(Running{in(12min), 1620}));
    clock_.advance(12min - 1s);
    EXPECT_TRUE(notices_.empty()) << "the old end no longer fires";
    clock_.advance(1s);
    EXPECT_EQ(notices_.size(), 1u);
}

TEST_F(Timer, StartingAgainRestartsWithTheNewPreset) {
    timer_.start(preset("Deep work"));
    clock_.advance(10min);
    timer_.start(preset("Break"));
    EXPECT_EQ(timer_.state(), FocusTimer::State(Running{in(5min), 300}));
    EXPECT_EQ(timer_.label(), QStringLiteral("Break"));
    clock_.advance(5min);
    EXPECT_EQ(notices_.size(), 1u);
    EXPECT_EQ(notices_[0].asAlert()->text, QStringLiteral("Break done"));
    EXPECT_EQ(clock_.pendingCount(), 0u);
}

TEST_F(Timer, TheURLCommandRunsWholeMinutesLabelledTimer) {
    timer_.start(preset("Focus"));
    timer_.startMinutes(7);
    EXPECT_EQ(timer_.label(), QStringLiteral("Timer"));
    EXPECT_EQ(timer_.state(), FocusTimer::State(Running{in(7min), 420}));
}

struct IgnoredCase {
    const char* sentence;
    std::function<void(FocusTimer&)> prepare;
    std::function<void(FocusTimer&)> operation;
};

class DoesNotApply : public Timer, public testing::WithParamInterface<IgnoredCase> {};

TEST_P(DoesNotApply, ChangesNothingAndCallsNobody) {
    GetParam().prepare(timer_);
    const FocusTimer::State before = timer_.state();
    const int changes = changes_;
    GetParam().operation(timer_);
    EXPECT_EQ(timer_.state(), before);
    EXPECT_EQ(changes_, changes);
}

INSTANTIATE_TEST_SUITE_P(
    Timer, DoesNotApply,
    testing::ValuesIn(std::vector<IgnoredCase>{
        {"pause while idle", [](FocusTimer&) {}, [](FocusTimer& t) { t.pause(); }},
        {"resume while idle", [](FocusTimer&) {}, [](FocusTimer& t) { t.resume(); }},
        {"add a minute while idle", [](FocusTimer&) {}, [](FocusTimer& t) { t.addMinute(); }},
        {"resume while running", [](FocusTimer& t) { t.start(FocusTimer::presets()[0]); },
         [](FocusTimer& t) { t.resume(); }},
        {"pause while paused",
         [](FocusTimer& t) {
             t.start(FocusTimer::presets()[0]);
             t.pause();
         },
         [](FocusTimer& t) { t.pause(); }},
    }),
    test::SentenceName());

class LateTimer : public Timer {
protected:
    LateTimer() : Timer(&stalled_) {}
    StalledClock stalled_{clock_};
};

TEST_F(LateTimer, PausingAfterTheEndKeepsNothingNegative) {
    timer_.start(preset("Break"));
    clock_.advance(5min + 3s);
    timer_.pause();
    EXPECT_EQ(timer_.state(), FocusTimer::State(Paused{0, 300}));
    EXPECT_EQ(FocusTimer::format(timer_.remaining()), QStringLiteral("0:00"));
}

struct FormatCase {
    const char* sentence;
    double seconds;
    const char* text;
};

class Format : public testing::TestWithParam<FormatCase> {};

TEST_P(Format, CountsDownInMinutesThenHours) {
    EXPECT_EQ(FocusTimer::format(GetParam().seconds), QString::fromLatin1(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(FocusTimer, Format,
                         testing::ValuesIn(std::vector<FormatCase>{
                             {"a part second rounds up", 59.2, "1:00"},
                             {"the last second of an hour", 3599, "59:59"},
                             {"an hour", 3600, "1:00:00"},
                             {"nothing left", 0, "0:00"},
                             {"hours minutes and seconds", 3 * 3600 + 62, "3:01:02"},
                         }),
                         test::SentenceName());

TEST(ThemeSound, PlaysTheThemesCompleteSoundWhenThePlayerAndTheThemeExist) {
    test::TemporaryDirectory share;
    const QString root = QString::fromStdString(share.path().string());
    const auto paplay = [](const QString& name) {
        return name == QLatin1String("paplay") ? QStringLiteral("/usr/bin/paplay") : QString();
    };
    const auto none = [](const QString&) { return QString(); };
    EXPECT_EQ(ThemeSound::command({root}, paplay), std::nullopt) << "no sound theme";
    QDir().mkpath(root + "/sounds/freedesktop/stereo");
    QFile(root + "/sounds/freedesktop/stereo/complete.oga").open(QIODevice::WriteOnly);
    EXPECT_EQ(ThemeSound::command({QStringLiteral("/nonexistent"), root}, paplay),
              (QStringList{"/usr/bin/paplay", root + "/sounds/freedesktop/stereo/complete.oga"}));
    EXPECT_EQ(ThemeSound::command({root}, none), std::nullopt) << "no player";
}

} // namespace
} // namespace orlet
