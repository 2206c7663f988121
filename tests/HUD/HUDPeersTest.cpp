#include "HUD/AudioState.h"
#include "HUD/HUDController.h"
#include "HUD/PulseSystemVolume.h"
#include "HUD/X11MediaKeyTap.h"
#include "HUDFakes.h"
#include "Notch/X11Display.h"
#include "Platform/DefaultsStore.h"
#include "Platform/Preferences.h"
#include "Platform/SystemClock.h"
#include "PulseServer.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
// Last: Xlib's macros clash with names above.
#include <X11/XF86keysym.h>
#include <X11/Xlib.h>

namespace orlet {
namespace {

using test::eventually;

int grabFailures = 0;

// Waits on the real peer while the event loop delivers its answers.
bool settles(const std::function<bool()>& condition) {
    return eventually([&condition] {
        QCoreApplication::processEvents();
        return condition();
    });
}

class PulseVolumeTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.ready()) << "pulseaudio did not start";
        volume.onChange = [this] { changes.push_back(volume.get().value_or(-1)); };
        volume.onDeviceChange = [this] { ++deviceChanges; };
        volume.start();
        ASSERT_TRUE(settles([this] { return volume.get() == 1.0; }));
    }

    test::PulseServer server;
    SystemClock clock;
    PulseSystemVolume volume{clock, server.address()};
    std::vector<double> changes;
    int deviceChanges = 0;
};

TEST_F(PulseVolumeTest, OutsideChangesAreHeardAndOwnWritesReachTheServerWithoutEcho) {
    ASSERT_EQ(server.pactl({"set-sink-volume", "orlet_test", "30%"}).exitCode, 0);
    ASSERT_TRUE(settles([this] { return !changes.empty(); }));
    EXPECT_NEAR(changes.back(), 0.30, 0.0001);

    volume.set(0.375);
    volume.setMuted(true);
    EXPECT_EQ(volume.get(), 0.375) << "reads answer the level just asked for";
    ASSERT_TRUE(settles([this] { return server.rawVolume() == 24576 && server.muted(); }));

    // A later outside change: anything our writes echoed would have come before it.
    ASSERT_EQ(server.pactl({"set-sink-mute", "orlet_test", "0"}).exitCode, 0);
    ASSERT_TRUE(settles([this] { return changes.size() >= 2; }));
    EXPECT_EQ(changes.size(), 2u);
    EXPECT_FALSE(volume.isMuted());
    EXPECT_EQ(volume.get(), 0.375);
}

TEST_F(PulseVolumeTest, FollowsTheDefaultSinkAndLeavesTheOldOne) {
    ASSERT_EQ(server.pactl({"load-module", "module-null-sink", "sink_name=second"}).exitCode, 0);
    ASSERT_EQ(server.pactl({"set-sink-volume", "second", "40%"}).exitCode, 0);
    const int before = deviceChanges;
    ASSERT_EQ(server.pactl({"set-default-sink", "second"}).exitCode, 0);
    ASSERT_TRUE(settles([this] { return volume.sinkName() == "second"; }));
    EXPECT_EQ(deviceChanges, before + 1);
    EXPECT_NEAR(*volume.get(), 0.40, 0.0001);

    ASSERT_EQ(server.pactl({"set-sink-volume", "orlet_test", "20%"}).exitCode, 0);
    ASSERT_EQ(server.pactl({"set-sink-volume", "second", "60%"}).exitCode, 0);
    ASSERT_TRUE(settles([this] { return !changes.empty(); }));
    EXPECT_EQ(changes.size(), 1u) << "the old sink no longer reports";
    EXPECT_NEAR(changes.back(), 0.60, 0.0001);
}

TEST(PulseVolumeAbsentTest, WithoutAServerEverythingIsAbsent) {
    test::TemporaryDirectory directory;
    SystemClock clock;
    PulseSystemVolume volume{clock, "unix:" + (directory.path() / "none").string()};
    volume.start();
    QCoreApplication::processEvents();
    volume.set(0.5);
    volume.setMuted(true);
    EXPECT_EQ(volume.get(), std::nullopt);
    EXPECT_FALSE(volume.isMuted());
    EXPECT_FALSE(volume.isConnected());
}

// ---- The keys on an X server, the volume on the PulseAudio server

class MediaKeysOnXTest : public testing::Test {
protected:
    void SetUp() override {
        if (const auto missing = test::XDesktop::missingTools(false)) {
            GTEST_SKIP() << *missing;
        }
        ASSERT_TRUE(server.ready());
        desktop = test::XDesktop::startXvfb(800, 600);
        x11 = X11Display::openNamed(desktop->display().c_str());
        ASSERT_TRUE(x11);
        tap = std::make_unique<X11MediaKeyTap>(x11->handle(), [this] { x11->pickUpQueued(); });
        QObject::connect(x11.get(), &X11Display::keyEvent, x11.get(),
                         [this](unsigned int code, unsigned int state, bool pressed,
                                unsigned long time) { tap->received(code, state, pressed, time); });
        Preferences::registerDefaults(defaults);
        defaults.set("hud.replaceSystem", true);
        audio = std::make_unique<AudioState>(volume);
        hud = std::make_unique<HUDController>(HUDController::Environment{
            clock, defaults,
            [this](const TransientActivity& activity) { shown.push_back(activity); }, *tap, volume,
            *audio, brightness,
            std::make_unique<PowerMonitor>([] { return std::nullopt; }, notifications),
            std::make_unique<AlertMonitor>(clock, sampler, [](std::uint64_t) { return QString(); }),
            std::make_unique<AirPodsMonitor>(clock, defaults, headphones)});
    }

    void key(const char* name) {
        auto xdotool = desktop->launch({"xdotool", "key", name});
        ASSERT_TRUE(xdotool->waitForExit(std::chrono::seconds(10)));
    }

    // An outside change, so that whatever came before it has been delivered.
    void barrier(const char* percent, double level) {
        ASSERT_EQ(server.pactl({"set-sink-volume", "orlet_test", percent}).exitCode, 0);
        ASSERT_TRUE(settles([this, level] {
            return !shown.empty() && shown.back().asLevel() &&
                   std::abs(shown.back().asLevel()->value - level) < 0.0001;
        }));
    }

    test::PulseServer server;
    std::unique_ptr<test::XDesktop> desktop;
    std::unique_ptr<X11Display> x11;
    std::unique_ptr<X11MediaKeyTap> tap;
    test::TemporaryDirectory directory;
    DefaultsStore defaults{QString::fromStdString((directory.path() / "defaults.json").string())};
    SystemClock clock;
    PulseSystemVolume volume{clock, server.address()};
    test::FakeBrightness brightness;
    test::FakePowerNotifications notifications;
    test::RecordedAlertSampler sampler;
    test::FakeHeadphoneSource headphones;
    std::unique_ptr<AudioState> audio;
    std::unique_ptr<HUDController> hud;
    std::vector<TransientActivity> shown;
};

TEST_F(MediaKeysOnXTest, AGrabbedKeyRaisesTheSinkOneStepAndAReleasedOneIsNotTaken) {
    hud->start();
    ASSERT_TRUE(hud->isReplacingSystemHUD());
    ASSERT_EQ(server.pactl({"set-sink-volume", "orlet_test", "50%"}).exitCode, 0);
    ASSERT_TRUE(settles([this] { return volume.get() == 0.5; }));
    shown.clear();

    key("XF86AudioRaiseVolume");
    ASSERT_TRUE(settles([this] { return server.rawVolume() == 36864; })); // 0.5625
    barrier("10%", 0.10);
    ASSERT_EQ(shown.size(), 2u) << "one pop-up for the key, one for the outside change";
    EXPECT_EQ(shown.front(),
              TransientActivity::level(TransientActivity::LevelKind::volume, 0.5625, false));

    defaults.set("hud.replaceSystem", false);
    hud->applyPreferences();
    EXPECT_FALSE(hud->isReplacingSystemHUD());
    shown.clear();
    key("XF86AudioRaiseVolume");
    barrier("20%", 0.20);
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(server.rawVolume(), 13107) << "the released key changed nothing";

    // Given back: another client can take it now.
    Display* other = XOpenDisplay(desktop->display().c_str());
    ASSERT_NE(other, nullptr);
    grabFailures = 0;
    XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) {
        ++grabFailures;
        return 0;
    });
    XGrabKey(other, XKeysymToKeycode(other, XF86XK_AudioRaiseVolume), AnyModifier,
             DefaultRootWindow(other), True, GrabModeAsync, GrabModeAsync);
    XSync(other, False);
    XSetErrorHandler(previous);
    EXPECT_EQ(grabFailures, 0);
    XCloseDisplay(other);
}

TEST_F(MediaKeysOnXTest, KeysHeldByTheDesktopAreNotTakenAndNothingBreaks) {
    Display* desktopKeys = XOpenDisplay(desktop->display().c_str());
    ASSERT_NE(desktopKeys, nullptr);
    XGrabKey(desktopKeys, XKeysymToKeycode(desktopKeys, XF86XK_AudioMute), 0,
             DefaultRootWindow(desktopKeys), True, GrabModeAsync, GrabModeAsync);
    XSync(desktopKeys, False);

    hud->start();
    EXPECT_FALSE(hud->isTrusted());
    EXPECT_FALSE(hud->isReplacingSystemHUD());
    EXPECT_TRUE(hud->isWaitingForTrust());
    EXPECT_FALSE(tap->start());

    // The desktop lets go: the next check takes the keys.
    XCloseDisplay(desktopKeys);
    ASSERT_TRUE(settles([this] { return hud->isReplacingSystemHUD(); }));
    EXPECT_TRUE(hud->isTrusted());
}

} // namespace
} // namespace orlet
