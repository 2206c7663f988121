#include "Media/NowPlayingService.h"
#include "Media/QtHelperLauncher.h"
#include "Media/ThreadPoolTasks.h"
#include "MediaFakes.h"
#include "MediaPeers.h"
#include "MediaPrinters.h"
#include "Platform/SystemClock.h"
#include "TemporaryDirectory.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace orlet {
namespace {

using Status = NowPlayingService::Status;
using test::Peer;

// The service with the real helper program of this build tree, a native side that reports
// nothing, and the real clock: it waits for a real process.
struct RealHelper {
    explicit RealHelper(const QString& folder) {
        auto nativesOwned = std::make_unique<test::FakeNativePlayers>();
        natives = nativesOwned.get();
        service = std::make_unique<NowPlayingService>(NowPlayingService::Environment{
            clock,
            std::make_unique<QtHelperLauncher>(folder),
            std::move(nativesOwned),
            std::make_unique<ThreadPoolTasks>(),
            nullptr,
            nullptr,
        });
    }

    SystemClock clock;
    test::FakeNativePlayers* natives = nullptr;
    std::unique_ptr<NowPlayingService> service;
};

// The session bus of the helper is the one in the environment it inherits.
class SessionBusVariable {
public:
    explicit SessionBusVariable(const QString& address)
        : previous_(qgetenv("DBUS_SESSION_BUS_ADDRESS")) {
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    }
    ~SessionBusVariable() { qputenv("DBUS_SESSION_BUS_ADDRESS", previous_); }

private:
    QByteArray previous_;
};

class NowPlayingHelperTest : public testing::Test {
protected:
    void SetUp() override {
        folder = QtHelperLauncher::defaultFolder();
        if (!QFileInfo(QtHelperLauncher(folder).hostPath()).isExecutable()) {
            GTEST_SKIP() << "the helper is not built in " << folder.toStdString();
        }
    }

    QString folder;
};

TEST_F(NowPlayingHelperTest, ReportsThePlayerOnThePrivateBusAndPassesCommands) {
    test::PrivateBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    SessionBusVariable variable(bus.address());
    Peer player(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral(ORLET_SOURCE_DIR "/tests/support/mpris_test_player.py"),
                 QStringLiteral("--name"), QStringLiteral("testplayer"),
                 QStringLiteral("--desktop-entry"), QStringLiteral("org.example.Player")},
                bus.environment());
    ASSERT_TRUE(player.waitForOut(R"({"ready":true})"));
    player.write(R"({"set":{"PlaybackStatus":"Playing","Metadata":{"xesam:title":"Song",)"
                 R"("xesam:artist":["Band"],"mpris:length":215000000}}})");

    RealHelper helper(folder);
    std::vector<std::optional<NowPlayingInfo>> changes;
    helper.service->onChange = [&](const std::optional<NowPlayingInfo>& info, bool) {
        changes.push_back(info);
    };
    helper.service->start();
    ASSERT_TRUE(test::processUntil([&] { return helper.service->status() == Status::running(); }))
        << helper.service->statusText().toStdString();
    ASSERT_TRUE(test::processUntil(
        [&] { return helper.service->info() && helper.service->info()->title == "Song"; }));
    const NowPlayingInfo& info = *helper.service->info();
    EXPECT_EQ(info.artist, "Band");
    EXPECT_EQ(info.duration, 215.0);
    EXPECT_TRUE(info.isPlaying);
    EXPECT_EQ(info.appBundleID, "org.example.Player");
    EXPECT_FALSE(changes.empty());

    helper.service->send(MediaCommand::pause);
    EXPECT_TRUE(player.waitForOut(R"({"call":"Pause"})")) << player.out().toStdString();
    EXPECT_FALSE(helper.service->info()->isPlaying) << "shown at once";

    // Closing its input ends the helper; that exit is no crash.
    helper.service->stop();
    EXPECT_TRUE(test::processUntil([&] { return helper.service->status() == Status::stopped(); }));
}

TEST_F(NowPlayingHelperTest, WithoutASessionBusTheHelperIsNotRestarted) {
    test::TemporaryDirectory directory;
    SessionBusVariable variable(
        QString::fromStdString("unix:path=" + (directory.path() / "no-bus").string()));
    RealHelper helper(folder);
    helper.service->start();
    ASSERT_TRUE(test::processUntil([&] {
        return helper.service->status() ==
               Status::unavailable("Media information is not accessible: no D-Bus session bus");
    })) << helper.service->statusText().toStdString();
}

TEST(NowPlayingHelperLaunch, AMissingLibraryOrHostIsShown) {
    test::TemporaryDirectory directory;
    const QString folder = QString::fromStdString(directory.path().string());
    {
        RealHelper helper(folder);
        helper.service->start();
        EXPECT_EQ(helper.service->status(),
                  Status::unavailable("Helper not bundled (run via make run)"));
    }
    // The library alone, without its host program: the launch itself fails.
    QFile library(folder + "/libOrletMedia.so");
    ASSERT_TRUE(library.open(QIODevice::WriteOnly));
    library.close();
    RealHelper helper(folder);
    helper.service->start();
    ASSERT_TRUE(test::processUntil(
        [&] { return helper.service->status().kind == Status::Kind::unavailable; }));
    EXPECT_TRUE(helper.service->statusText().startsWith("Could not start helper: "))
        << helper.service->statusText().toStdString();
    EXPECT_GT(helper.service->statusText().size(), QString("Could not start helper: ").size());
}

} // namespace
} // namespace orlet
