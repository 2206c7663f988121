#include "HUD/HUDController.h"

#include "HUD/AudioState.h"
#include "HUDFakes.h"
#include "Platform/DefaultsStore.h"
#include "Platform/ManualClock.h"
#include "Platform/Preferences.h"
#include "QtTestSupport.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"

#include <gtest/gtest.h>

namespace orlet {
namespace {

using namespace std::chrono_literals;
using test::FakeBrightness;
using test::FakeKeyTap;
using test::FakeSystemVolume;
using Level = TransientActivity::LevelKind;

constexpr std::uint64_t fine = MediaKeyTap::shiftFlag | MediaKeyTap::optionFlag;

// ---- Parsing special-key events

struct ParseCase {
    const char* sentence;
    std::int16_t subtype;
    std::int64_t data1;
    std::optional<MediaKeyEvent> event;
};

class MediaKeyParse : public testing::TestWithParam<ParseCase> {};

TEST_P(MediaKeyParse, DecodesCodeStateAndRepeat) {
    EXPECT_EQ(MediaKeyEvent::parse(GetParam().subtype, GetParam().data1), GetParam().event);
    if (GetParam().event) {
        EXPECT_EQ(MediaKeyEvent::parse(8, GetParam().event->data1()), GetParam().event)
            << "what the key tap builds must read back as the same event";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MediaKeyParse,
    testing::Values(
        ParseCase{"volume up press", 8, 0x00000A00, MediaKeyEvent{MediaKey::soundUp, true, false}},
        ParseCase{"volume up release", 8, 0x00000B00,
                  MediaKeyEvent{MediaKey::soundUp, false, false}},
        ParseCase{"held mute repeats", 8, 0x00070A01, MediaKeyEvent{MediaKey::mute, true, true}},
        ParseCase{"an unknown state is not down", 8, 0x00030C00,
                  MediaKeyEvent{MediaKey::brightnessDown, false, false}},
        ParseCase{"keyboard light down", 8, 0x00160A00,
                  MediaKeyEvent{MediaKey::illuminationDown, true, false}},
        ParseCase{"play is not a media key here", 8, 0x00100A00, std::nullopt},
        ParseCase{"another subtype", 7, 0x00000A00, std::nullopt},
        ParseCase{"a code between known ones", 8, 0x00040A00, std::nullopt},
        ParseCase{"bits above the code are ignored", 8, 0x1'0001'0A00,
                  MediaKeyEvent{MediaKey::soundDown, true, false}}),
    test::SentenceName());

// ---- Moving a level one step on its grid

struct StepCase {
    const char* sentence;
    double current;
    double step;
    double expected;
};

class LevelStep : public testing::TestWithParam<StepCase> {};

TEST_P(LevelStep, SnapsToTheGridAndMovesOneStep) {
    EXPECT_DOUBLE_EQ(DisplayBrightness::stepped(GetParam().current, GetParam().step),
                     GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, LevelStep,
                         testing::Values(StepCase{"up from between steps", 0.30, 1.0 / 16, 0.375},
                                         StepCase{"down from between steps", 0.30, -1.0 / 16, 0.25},
                                         StepCase{"fine step up", 0.30, 1.0 / 64, 0.3125},
                                         StepCase{"up at full stays full", 1.0, 1.0 / 16, 1.0},
                                         StepCase{"fine down near zero stops at zero", 0.01,
                                                  -1.0 / 64, 0.0},
                                         StepCase{"down at zero stays zero", 0.0, -1.0 / 16, 0.0},
                                         StepCase{"no step only clamps", 1.2, 0.0, 1.0}),
                         test::SentenceName());

// ---- Brightness notifications

TEST(BrightnessMonitorTest, ReportsOnlyChangesOfTwoHundredthsFromTheLastLevelSeen) {
    FakeBrightness brightness;
    brightness.level = 0.5;
    BrightnessMonitor monitor(brightness);
    std::vector<double> reported;
    monitor.onChange = [&reported](double value) { reported.push_back(value); };
    monitor.start();
    brightness.announce(0.51); // too small, but the new reference
    brightness.announce(0.53);
    brightness.announce(0.3);
    EXPECT_EQ(reported, (std::vector<double>{0.53, 0.3}));
}

TEST(BrightnessMonitorTest, WithoutABacklightNothingIsWatched) {
    FakeBrightness brightness;
    brightness.level.reset();
    BrightnessMonitor monitor(brightness);
    monitor.start();
    EXPECT_FALSE(brightness.onNotification);
}

// ---- The controller

class HUDControllerTest : public testing::Test {
protected:
    HUDControllerTest() {
        Preferences::registerDefaults(defaults);
        build();
    }

    void build() {
        hud.reset();
        audio = std::make_unique<AudioState>(volume);
        power = std::make_unique<PowerMonitor>([] { return std::nullopt; }, notifications);
        alerts =
            std::make_unique<AlertMonitor>(clock, sampler, [](std::uint64_t) { return QString(); });
        hud = std::make_unique<HUDController>(HUDController::Environment{
            clock, defaults,
            [this](const TransientActivity& activity) { shown.push_back(activity); }, tap, volume,
            *audio, brightness, std::move(power), std::move(alerts),
            std::make_unique<AirPodsMonitor>(clock, defaults, headphones)});
    }

    void replaceSystemHUD() {
        defaults.set("hud.replaceSystem", true);
        hud->start();
        ASSERT_TRUE(hud->isReplacingSystemHUD());
    }

    bool key(MediaKey which, bool down = true, bool repeat = false, std::uint64_t mods = 0) {
        return tap.press(MediaKeyEvent{which, down, repeat}, mods);
    }

    static TransientActivity volumeLevel(double value, bool muted = false) {
        return TransientActivity::level(Level::volume, value, muted);
    }

    test::TemporaryDirectory directory;
    DefaultsStore defaults{QString::fromStdString((directory.path() / "defaults.json").string())};
    ManualClock clock;
    FakeKeyTap tap;
    FakeSystemVolume volume;
    FakeBrightness brightness;
    test::FakePowerNotifications notifications;
    test::RecordedAlertSampler sampler;
    test::FakeHeadphoneSource headphones;
    std::unique_ptr<AudioState> audio;
    std::unique_ptr<PowerMonitor> power;
    std::unique_ptr<AlertMonitor> alerts;
    std::unique_ptr<HUDController> hud;
    std::vector<TransientActivity> shown;
};

struct VolumeKeyCase {
    const char* sentence;
    double volume;
    bool muted;
    MediaKey key;
    std::uint64_t modifiers;
    double expected;
};

class VolumeKeys : public HUDControllerTest, public testing::WithParamInterface<VolumeKeyCase> {};

TEST_P(VolumeKeys, SetTheSteppedVolumeUnmuteAndShowOneLevel) {
    replaceSystemHUD();
    volume.volume = GetParam().volume;
    volume.muted = GetParam().muted;
    EXPECT_TRUE(key(GetParam().key, true, false, GetParam().modifiers));
    EXPECT_FALSE(volume.muted);
    EXPECT_DOUBLE_EQ(*volume.volume, GetParam().expected);
    EXPECT_EQ(shown, std::vector{volumeLevel(GetParam().expected)});
    EXPECT_EQ(audio->volume(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VolumeKeys,
    testing::Values(
        VolumeKeyCase{"up from 0.30", 0.30, false, MediaKey::soundUp, 0, 0.375},
        VolumeKeyCase{"down from 0.30", 0.30, false, MediaKey::soundDown, 0, 0.25},
        VolumeKeyCase{"shift and option take a fine step", 0.30, false, MediaKey::soundUp, fine,
                      0.3125},
        VolumeKeyCase{"shift alone keeps the normal step", 0.30, false, MediaKey::soundUp,
                      MediaKeyTap::shiftFlag, 0.375},
        VolumeKeyCase{"up while muted unmutes", 0.5, true, MediaKey::soundUp, 0, 0.5625},
        VolumeKeyCase{"up at full stays full", 1.0, false, MediaKey::soundUp, 0, 1.0},
        VolumeKeyCase{"down at zero stays zero", 0.0, false, MediaKey::soundDown, 0, 0.0},
        VolumeKeyCase{"fine down near zero reaches zero", 0.01, false, MediaKey::soundDown, fine,
                      0.0}),
    test::SentenceName());

TEST_F(HUDControllerTest, RepeatsStepOnAndReleasesAreSwallowedWithoutChange) {
    replaceSystemHUD();
    volume.volume = 0.5;
    EXPECT_TRUE(key(MediaKey::soundUp));
    EXPECT_TRUE(key(MediaKey::soundUp, true, true));
    EXPECT_TRUE(key(MediaKey::soundUp, true, true));
    EXPECT_TRUE(key(MediaKey::soundUp, false));
    EXPECT_EQ(volume.writes, (std::vector<double>{0.5625, 0.625, 0.6875}));
    EXPECT_EQ(shown.size(), 3u);
}

TEST_F(HUDControllerTest, HoldingMuteTogglesOnce) {
    replaceSystemHUD();
    volume.volume = 0.4;
    EXPECT_TRUE(key(MediaKey::mute));
    EXPECT_TRUE(key(MediaKey::mute, true, true));
    EXPECT_TRUE(key(MediaKey::mute, true, true));
    EXPECT_TRUE(key(MediaKey::mute, false));
    EXPECT_TRUE(volume.muted);
    EXPECT_EQ(shown, std::vector{volumeLevel(0.4, true)});
    EXPECT_TRUE(audio->isMuted());
    EXPECT_TRUE(key(MediaKey::mute));
    EXPECT_FALSE(volume.muted);
}

TEST_F(HUDControllerTest, WithoutAnOutputVolumeKeysAreSwallowedAndShowNothing) {
    volume.volume.reset();
    replaceSystemHUD();
    EXPECT_TRUE(key(MediaKey::soundUp));
    EXPECT_TRUE(key(MediaKey::mute));
    EXPECT_TRUE(shown.empty());
    EXPECT_FALSE(audio->hasVolume());
}

TEST_F(HUDControllerTest, BrightnessKeysStepTheBacklightOrPassWithoutOne) {
    replaceSystemHUD();
    brightness.level = 0.30;
    EXPECT_TRUE(key(MediaKey::brightnessUp));
    EXPECT_TRUE(key(MediaKey::brightnessUp, false));
    EXPECT_TRUE(key(MediaKey::brightnessDown, true, false, fine));
    EXPECT_DOUBLE_EQ(*brightness.level, 0.359375);
    EXPECT_EQ(shown, (std::vector{TransientActivity::level(Level::brightness, 0.375, false),
                                  TransientActivity::level(Level::brightness, 0.359375, false)}));

    brightness.level.reset();
    shown.clear();
    EXPECT_FALSE(key(MediaKey::brightnessUp));
    EXPECT_FALSE(key(MediaKey::brightnessDown, false));
    EXPECT_FALSE(key(MediaKey::illuminationUp));
    EXPECT_TRUE(shown.empty());
}

TEST_F(HUDControllerTest, OutsideChangesPopUpWhileShowingIsOn) {
    hud->start();
    EXPECT_FALSE(hud->isReplacingSystemHUD());
    volume.external(0.2, false);
    brightness.announce(0.8);
    brightness.announce(0.81); // below the threshold
    EXPECT_EQ(shown, (std::vector{volumeLevel(0.2),
                                  TransientActivity::level(Level::brightness, 0.8, false)}));
    EXPECT_EQ(audio->volume(), 0.2);

    defaults.set("hud.show", false);
    hud->applyPreferences();
    volume.external(0.3, true);
    brightness.announce(0.2);
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_TRUE(audio->isMuted()) << "the state follows even when nothing pops up";
}

TEST_F(HUDControllerTest, HidingPopUpsGivesTheKeysBack) {
    replaceSystemHUD();
    defaults.set("hud.show", false);
    hud->applyPreferences();
    EXPECT_FALSE(tap.running);
    EXPECT_FALSE(hud->isReplacingSystemHUD());
    EXPECT_FALSE(key(MediaKey::soundUp));
}

TEST_F(HUDControllerTest, FailedTapStaysOffAndIsLogged) {
    tap.failStart = true;
    test::LogCapture log;
    defaults.set("hud.replaceSystem", true);
    hud->start();
    EXPECT_FALSE(hud->isReplacingSystemHUD());
    EXPECT_TRUE(hud->isTrusted());
    const auto found = std::find_if(log.lines().begin(), log.lines().end(), [](const auto& line) {
        return line.message == "Key tap FAILED to start";
    });
    ASSERT_NE(found, log.lines().end());
    EXPECT_EQ(found->category, "com.brambleowl.orlet.hud");
}

TEST_F(HUDControllerTest, KeysTakenElsewhereArePolledForEverySecondForTwoMinutes) {
    tap.trusted = false;
    test::LogCapture log;
    defaults.set("hud.replaceSystem", true);
    hud->start();
    EXPECT_FALSE(hud->isTrusted());
    EXPECT_TRUE(std::any_of(log.lines().begin(), log.lines().end(), [](const auto& line) {
        return line.message == "Hide-system-HUD is on but Accessibility is not granted; prompting";
    }));
    clock.advance(29s);
    EXPECT_FALSE(hud->isReplacingSystemHUD());
    tap.trusted = true; // the desktop let go of the keys
    clock.advance(999ms);
    EXPECT_FALSE(hud->isReplacingSystemHUD());
    clock.advance(1ms);
    EXPECT_TRUE(hud->isReplacingSystemHUD());
    EXPECT_TRUE(hud->isTrusted());
    EXPECT_FALSE(hud->isWaitingForTrust());
}

TEST_F(HUDControllerTest, TheTrustPollGivesUpAfterOneHundredTwentyChecks) {
    tap.trusted = false;
    defaults.set("hud.replaceSystem", true);
    hud->start();
    const int before = tap.trustChecks;
    clock.advance(119s);
    EXPECT_TRUE(hud->isWaitingForTrust());
    clock.advance(1s);
    EXPECT_FALSE(hud->isWaitingForTrust());
    EXPECT_EQ(tap.trustChecks - before, 120);
    clock.advance(1h);
    EXPECT_EQ(tap.trustChecks - before, 120);
}

TEST_F(HUDControllerTest, AlertAndHeadphoneSwitchesStartAndStopTheirMonitors) {
    hud->start();
    EXPECT_TRUE(hud->alerts().isRunning()) << "alerts are on by default";
    EXPECT_FALSE(headphones.started) << "headphones are off by default";
    defaults.set("alerts.enabled", false);
    defaults.set("airpods.enabled", true);
    hud->applyPreferences();
    EXPECT_FALSE(hud->alerts().isRunning());
    EXPECT_TRUE(headphones.started);
    headphones.levels["h"] = {{HeadphoneSource::single, 70}};
    headphones.connect({"h", QStringLiteral("AA:BB:CC:DD:EE:FF"), QStringLiteral("Buds")});
    clock.advance(2s);
    EXPECT_EQ(shown, std::vector{TransientActivity::headphones(
                         HeadphoneBattery{"Buds", std::nullopt, std::nullopt, std::nullopt, 70})});
}

TEST_F(HUDControllerTest, AKeyAfterTheControllerIsGoneIsNotTaken) {
    replaceSystemHUD();
    hud.reset();
    EXPECT_FALSE(tap.running);
    EXPECT_FALSE(tap.press(MediaKeyEvent{MediaKey::soundUp, true, false}));
}

} // namespace
} // namespace orlet
