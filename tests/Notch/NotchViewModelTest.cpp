#include "Notch/NotchViewModel.h"

#include "Platform/DefaultsStore.h"
#include "Platform/ManualClock.h"
#include "Settings/AppSettings.h"
#include "NoLoginItem.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"

#include <gtest/gtest.h>
#include <memory>

namespace orlet {
namespace {

using namespace std::chrono_literals;

using test::NoLoginItem;

const NotchGeometry laptop{{0, 0, 1440, 900}, {190, 24}, false};

TransientActivity volume(double value) {
    return TransientActivity::level(TransientActivity::LevelKind::volume, value, false);
}

TransientActivity stormAlert() {
    return TransientActivity::weather(
        WeatherAlert{WeatherAlert::Kind::thunderstorm, QDateTime(), std::nullopt, std::nullopt});
}

// One notch on a 1440 x 900 display without a camera housing, on a manual clock.
class NotchModel : public testing::Test {
protected:
    NotchModel() { rebuild(); }

    // Settings are read when the model is built, so tests that change stored values rebuild.
    void rebuild() {
        model_.reset();
        settings_.reset();
        store_ = std::make_unique<DefaultsStore>(
            QString::fromStdString((directory_.path() / "defaults.json").string()));
        settings_ = std::make_unique<AppSettings>(*store_, loginItem_);
        model_ = std::make_unique<NotchViewModel>(
            laptop, NotchViewModel::Environment{clock_, *settings_, {}, {}, [this] { ++pulses_; }});
    }

    NotchViewModel& model() { return *model_; }
    Point overNotch() const { return {720, 895}; }
    Point farAway() const { return {100, 100}; }
    void advance(Clock::Duration duration) { clock_.advance(duration); }

    test::TemporaryDirectory directory_;
    ManualClock clock_;
    NoLoginItem loginItem_;
    std::unique_ptr<DefaultsStore> store_;
    std::unique_ptr<AppSettings> settings_;
    std::unique_ptr<NotchViewModel> model_;
    int pulses_ = 0;
};

TEST_F(NotchModel, ALeaveWithinTheHoverDelayNeverOpens) {
    model().pointerMoved(overNotch());
    advance(100ms);
    model().pointerMoved(farAway());
    advance(2s);
    EXPECT_FALSE(model().isExpanded());
    EXPECT_FALSE(model().isHovering());
}

TEST_F(NotchModel, StayingOpensExactlyAfterTheHoverDelayWithOnePulse) {
    model().pointerMoved(overNotch());
    advance(149ms);
    EXPECT_FALSE(model().isExpanded());
    advance(1ms);
    EXPECT_TRUE(model().isExpanded());
    EXPECT_EQ(model().animation(), NotchViewModel::Animation::open);
    EXPECT_EQ(pulses_, 1);
    model().pointerMoved({721, 896});
    advance(1s);
    EXPECT_TRUE(model().isExpanded());
    EXPECT_EQ(pulses_, 1) << "moving inside an open notch plays nothing more";
}

TEST_F(NotchModel, TheHoverDelayFollowsTheSettingTruncatedToMilliseconds) {
    settings_->setHoverDelayMs(400.9);
    model().pointerMoved(overNotch());
    advance(399ms);
    EXPECT_FALSE(model().isExpanded());
    advance(1ms);
    EXPECT_TRUE(model().isExpanded());
}

TEST_F(NotchModel, HapticsOffPlaysNothing) {
    settings_->setHaptics(false);
    model().pointerMoved(overNotch());
    advance(150ms);
    EXPECT_TRUE(model().isExpanded());
    EXPECT_EQ(pulses_, 0);
}

TEST_F(NotchModel, LeavingClosesAfterTheCollapseDelayAndReturningKeepsItOpen) {
    model().pointerMoved(overNotch());
    advance(150ms);
    ASSERT_TRUE(model().isExpanded());

    model().pointerMoved(farAway());
    advance(200ms);
    model().pointerMoved(overNotch());
    advance(1s);
    EXPECT_TRUE(model().isExpanded()) << "came back within 0.22 s";

    model().pointerMoved(farAway());
    advance(219ms);
    EXPECT_TRUE(model().isExpanded());
    advance(1ms);
    EXPECT_FALSE(model().isExpanded());
    EXPECT_EQ(model().animation(), NotchViewModel::Animation::close);
}

TEST_F(NotchModel, APinnedNotchIgnoresLeavingUntilCollapsed) {
    model().expand();
    model().setPinnedOpen(true);
    model().pointerMoved(overNotch());
    model().pointerMoved(farAway());
    advance(5s);
    EXPECT_TRUE(model().isExpanded());
    EXPECT_FALSE(model().isHovering()) << "hovering is still tracked";
    model().collapse();
    EXPECT_FALSE(model().isExpanded());
    EXPECT_FALSE(model().isPinnedOpen());
}

TEST_F(NotchModel, AnOpenMenuFreezesPointerInput) {
    model().setMenuOpen(true);
    model().pointerMoved(overNotch());
    advance(1s);
    EXPECT_FALSE(model().isHovering());
    EXPECT_FALSE(model().isExpanded());
    model().setMenuOpen(false);
    model().pointerMoved(overNotch());
    advance(150ms);
    EXPECT_TRUE(model().isExpanded());
}

TEST_F(NotchModel, AProgrammaticOpenStaysThroughItsGraceThenClosesOnTheNextMove) {
    model().expand();
    ASSERT_TRUE(model().isExpanded());
    EXPECT_EQ(pulses_, 0) << "no pulse without the pointer";
    advance(1s);
    model().pointerMoved(farAway());
    advance(1s);
    EXPECT_TRUE(model().isExpanded()) << "a move within 1.5 s does not close it";
    advance(10s);
    EXPECT_TRUE(model().isExpanded()) << "without a move it stays open";
    model().pointerMoved({101, 100});
    advance(219ms);
    EXPECT_TRUE(model().isExpanded());
    advance(1ms);
    EXPECT_FALSE(model().isExpanded());
}

TEST_F(NotchModel, VolumeChangesUpdateOnePopUpInPlace) {
    model().show(volume(0.2));
    EXPECT_EQ(model().popBoost(), 0) << "levels never pop";
    advance(500ms);
    model().show(volume(0.3));
    EXPECT_EQ(model().animation(), NotchViewModel::Animation::none) << "updated in place";
    advance(500ms);
    model().show(volume(0.4));
    EXPECT_EQ(model().transient(), volume(0.4));
    advance(1499ms);
    EXPECT_TRUE(model().hasTransient());
    advance(1ms);
    EXPECT_FALSE(model().hasTransient());
}

TEST_F(NotchModel, AnAlertReplacesChargingWithANewPopAndItsOwnDuration) {
    model().show(TransientActivity::charging(0.4, 90));
    EXPECT_EQ(model().popBoost(), 14);
    advance(1s);
    const TransientActivity alert =
        TransientActivity::alert("battery.25", "Battery low", TransientActivity::Severity::warning);
    model().show(alert);
    EXPECT_EQ(model().transient(), alert);
    EXPECT_EQ(model().popBoost(), 14);
    advance(4999ms);
    EXPECT_EQ(model().transient(), alert);
    advance(1ms);
    EXPECT_FALSE(model().hasTransient());
}

TEST_F(NotchModel, AWeatherAlertGrowsTheClosedNotchAndOpeningShowsTheWeatherTab) {
    model().show(stormAlert());
    EXPECT_EQ(model().bodySize(), (Size{440, 156}));
    EXPECT_TRUE(model().usesOpenShape());
    EXPECT_EQ(model().bottomRadius(), 26);
    advance(11s);
    EXPECT_TRUE(model().hasTransient());
    model().expand();
    EXPECT_EQ(model().selectedTab(), NotchTab::weather);
    EXPECT_FALSE(model().hasTransient());
    advance(5s);
    EXPECT_TRUE(model().isExpanded()) << "the ended transient job does not touch the open notch";
}

TEST_F(NotchModel, AWeatherAlertLastsTwelveSeconds) {
    model().show(stormAlert());
    advance(11999ms);
    EXPECT_TRUE(model().hasTransient());
    advance(1ms);
    EXPECT_FALSE(model().hasTransient());
}

TEST_F(NotchModel, AWeatherAlertWhileOpenWaitsUntilTheNotchCloses) {
    model().expand();
    model().show(stormAlert());
    EXPECT_FALSE(model().hasTransient());
    model().collapse();
    advance(449ms);
    EXPECT_FALSE(model().hasTransient());
    advance(1ms);
    EXPECT_EQ(model().transient(), stormAlert());
}

TEST_F(NotchModel, ADeferredWeatherAlertIsDroppedWhenTheNotchReopens) {
    model().expand();
    model().show(stormAlert());
    model().collapse();
    advance(200ms);
    model().expand();
    advance(1s);
    model().collapse();
    advance(1s);
    EXPECT_FALSE(model().hasTransient());
}

TEST_F(NotchModel, WhileOpenALevelGoesToTheHeaderAndOtherPopUpsAreLost) {
    model().expand();
    model().show(volume(0.5));
    EXPECT_TRUE(model().hasHeaderLevel());
    advance(1s);
    model().show(volume(0.6));
    advance(1499ms);
    EXPECT_EQ(model().headerLevel(), volume(0.6));
    advance(1ms);
    EXPECT_FALSE(model().hasHeaderLevel());
    EXPECT_EQ(model().animation(), NotchViewModel::Animation::headerFade);

    model().show(TransientActivity::charging(0.5, std::nullopt));
    model().collapse();
    advance(10s);
    EXPECT_FALSE(model().hasTransient()) << "a charging event while open is lost";
}

TEST_F(NotchModel, WithEveryTabHiddenTheNotchOpensOnMedia) {
    store_->set("tabs.hidden",
                QStringList{"media", "system", "shelf", "today", "weather", "activity"});
    store_->set("tabs.order", QStringList{"weather", "media"});
    rebuild();
    EXPECT_EQ(model().selectedTab(), NotchTab::media);
    model().expand();
    EXPECT_EQ(model().selectedTab(), NotchTab::media);
}

TEST_F(NotchModel, OpeningFallsBackToTheFirstVisibleTab) {
    model().select(NotchTab::shelf);
    settings_->setVisible(NotchTab::shelf, false);
    model().expand();
    EXPECT_EQ(model().selectedTab(), NotchTab::media);
}

TEST_F(NotchModel, PopsDoNothingWhenOpenAndRestartOnEachPop) {
    model().pop();
    advance(100ms);
    model().pop();
    advance(319ms);
    EXPECT_EQ(model().popBoost(), 14);
    advance(1ms);
    EXPECT_EQ(model().popBoost(), 0);
    model().expand();
    model().pop();
    EXPECT_EQ(model().popBoost(), 0);
}

TEST_F(NotchModel, ANewLiveActivityPopsButTheSameOneDoesNot) {
    model().setLiveActivity(LiveActivity::agent);
    EXPECT_EQ(model().popBoost(), 14);
    advance(1s);
    model().setLiveActivity(LiveActivity::agent);
    EXPECT_EQ(model().popBoost(), 0);
    model().setLiveActivity(std::nullopt);
    EXPECT_EQ(model().popBoost(), 0);
}

TEST_F(NotchModel, PendingJobsDoNothingOnceTheModelIsGone) {
    model().pointerMoved(overNotch());
    model().show(volume(1));
    model().pop();
    model_.reset();
    advance(20s);
    EXPECT_EQ(clock_.pendingCount(), 0u);
}

TEST_F(NotchModel, TheHotAreaFollowsTheBody) {
    // Closed, nothing shown: 190 x 24 body, 12 points of padding, grown by 8.
    EXPECT_EQ(model().hotRect(), (Rect{720 - 101 - 8, 876 - 8, 202 + 16, 24 + 16}));
    model().expand();
    // Open: 560 x 196 body, 32 points of padding, grown by 2.
    EXPECT_EQ(model().hotRect(), (Rect{720 - 296 - 2, 704 - 2, 592 + 4, 196 + 4}));
    EXPECT_TRUE(model().hotRect().contains({720, 899}));
    EXPECT_FALSE(model().hotRect().contains({720, 700}));
}

struct BodyCase {
    const char* sentence;
    std::optional<LiveActivity> live;
    bool lyricsOnNotch;
    std::optional<TransientActivity> transient;
    bool popped;
    Size expected;
};

class NotchBodySize : public NotchModel, public testing::WithParamInterface<BodyCase> {};

TEST_P(NotchBodySize, GrowsForWhatTheClosedNotchShows) {
    const BodyCase& c = GetParam();
    bool lyrics = c.lyricsOnNotch;
    NotchViewModel model(laptop, {clock_, *settings_, [&] { return lyrics; }, {}, {}});
    model.setLiveActivity(c.live);
    if (c.transient) {
        model.show(*c.transient);
    }
    if (!c.popped) {
        advance(1s); // let the pop of a new live activity end
        if (c.transient) {
            model.show(*c.transient); // in place, no new pop
        }
    } else {
        model.pop();
    }
    EXPECT_EQ(model.bodySize(), c.expected) << c.sentence;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NotchBodySize,
    testing::Values(
        BodyCase{"nothing shown", std::nullopt, false, std::nullopt, false, {190, 24}},
        BodyCase{"playing media", LiveActivity::nowPlaying, false, std::nullopt, false, {318, 24}},
        BodyCase{"playing media with lyrics on the notch",
                 LiveActivity::nowPlaying,
                 true,
                 std::nullopt,
                 false,
                 {390, 50}},
        BodyCase{"lyrics do not widen other activities",
                 LiveActivity::timer,
                 true,
                 std::nullopt,
                 false,
                 {318, 24}},
        BodyCase{"a working agent", LiveActivity::agent, false, std::nullopt, false, {358, 24}},
        BodyCase{"a transient wins over the live activity",
                 LiveActivity::agent,
                 false,
                 volume(0.5),
                 false,
                 {398, 24}},
        BodyCase{
            "a pop grows both sides", LiveActivity::cpu, false, std::nullopt, true, {332, 27.5}},
        BodyCase{"a weather alert ignores the pop",
                 std::nullopt,
                 false,
                 stormAlert(),
                 true,
                 {440, 156}}),
    test::SentenceName());

TEST_F(NotchModel, TheOpenRadiusFollowsTheCornerStyle) {
    NotchViewModel model(laptop, {clock_, *settings_, {}, [] { return 38.0; }, {}});
    EXPECT_EQ(model.bottomRadius(), 12);
    model.expand();
    EXPECT_EQ(model.bottomRadius(), 38);
}

} // namespace
} // namespace orlet
