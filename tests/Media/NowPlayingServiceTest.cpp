#include "Media/NowPlayingService.h"

#include "MediaFakes.h"
#include "MediaPrinters.h"
#include "Platform/ManualClock.h"
#include "QtTestSupport.h"
#include "TestNames.h"

#include <QBuffer>
#include <QImage>
#include <gtest/gtest.h>
#include <map>

namespace orlet {
namespace {

using namespace std::chrono_literals;
using PlayerState = NativePlayerState::PlayerState;
using Status = NowPlayingService::Status;
using test::FakeBackgroundTasks;
using test::FakeHelperLauncher;
using test::FakeNativePlayers;

const std::string rhythmbox = NativePlayers::musicBundleID;
const std::string spotify = NativePlayers::spotifyBundleID;

QByteArray png(QColor color, int size = 16) {
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// One nowPlaying line; `extra` adds keys (starting with a comma).
std::string nowPlaying(const std::string& title, bool playing, const std::string& extra = "") {
    return R"({"type":"nowPlaying","title":")" + title + R"(","playing":)" +
           (playing ? "true" : "false") + extra + "}\n";
}

std::string withArtwork(const std::string& id, const QByteArray& bytes) {
    return R"(,"artworkID":")" + id + R"(","artwork":")" + bytes.toBase64().toStdString() + "\"";
}

// The service with fakes around it, and everything it reported.
struct Harness {
    ManualClock clock;
    FakeHelperLauncher* launcher = nullptr;
    FakeNativePlayers* natives = nullptr;
    FakeBackgroundTasks* tasks = nullptr;
    std::map<std::string, DesktopEntry> apps;
    std::vector<std::optional<NowPlayingInfo>> lyrics;
    std::vector<std::pair<std::optional<NowPlayingInfo>, bool>> changes;
    int infoSignals = 0;
    std::unique_ptr<NowPlayingService> service;

    Harness() {
        auto launcherOwned = std::make_unique<test::FakeHelperLauncher>();
        auto nativesOwned = std::make_unique<test::FakeNativePlayers>();
        auto tasksOwned = std::make_unique<test::FakeBackgroundTasks>();
        launcher = launcherOwned.get();
        natives = nativesOwned.get();
        tasks = tasksOwned.get();
        service = std::make_unique<NowPlayingService>(NowPlayingService::Environment{
            clock,
            std::move(launcherOwned),
            std::move(nativesOwned),
            std::move(tasksOwned),
            [this](const std::string& id) -> std::optional<DesktopEntry> {
                const auto found = apps.find(id);
                return found == apps.end() ? std::nullopt
                                           : std::optional<DesktopEntry>(found->second);
            },
            [this](const std::optional<NowPlayingInfo>& info) { lyrics.push_back(info); },
        });
        service->onChange = [this](const std::optional<NowPlayingInfo>& info, bool changed) {
            changes.emplace_back(info, changed);
        };
        QObject::connect(service.get(), &NowPlayingService::infoChanged, [this] { ++infoSignals; });
    }

    void startRunning() {
        service->start();
        say(R"({"type":"ready"})"
            "\n");
    }
    void say(const std::string& bytes) { launcher->say(bytes); }
    std::string input() const { return launcher->last().input; }
    void native(PlayerState state, const std::string& title,
                std::optional<double> position = std::nullopt,
                const std::string& bundleID = rhythmbox) {
        NativePlayerState s;
        s.bundleID = bundleID;
        s.state = state;
        s.title = title;
        s.position = position;
        s.positionDate = clock.date();
        s.updatedAt = clock.date();
        natives->onChange(s);
    }
    std::string shownTitle() const { return service->info() ? service->info()->title : "<none>"; }
};

// Reading the helper
// -------------------------------------------------------------------------------

TEST(NowPlayingServiceLines, SplitAndJoinedLinesAreEachHandledOnce) {
    Harness h;
    h.service->start();
    const std::string first = nowPlaying("One", true);
    const std::string second = nowPlaying("Two", true);
    h.say(R"({"type":"re)");
    EXPECT_EQ(h.service->status(), Status::stopped());
    h.say("ady\"}\n" + first.substr(0, 10));
    EXPECT_EQ(h.service->status(), Status::running());
    EXPECT_TRUE(h.changes.empty());
    h.say(first.substr(10) + "\n\nnot json\n" + second);
    ASSERT_EQ(h.changes.size(), 2u);
    EXPECT_EQ(h.changes[0].first->title, "One");
    EXPECT_EQ(h.changes[1].first->title, "Two");
    EXPECT_TRUE(h.changes[1].second);
}

TEST(NowPlayingServiceLines, TheSameStateAgainNotifiesNobody) {
    Harness h;
    h.startRunning();
    h.say(nowPlaying("One", true, R"(,"elapsed":3)"));
    h.say(nowPlaying("One", true, R"(,"elapsed":3)"));
    EXPECT_EQ(h.changes.size(), 1u);
    EXPECT_EQ(h.infoSignals, 1);
    // The lyrics hear every publish, changed or not.
    EXPECT_EQ(h.lyrics.size(), 2u);
    h.say(nowPlaying("One", false, R"(,"elapsed":3)"));
    ASSERT_EQ(h.changes.size(), 2u);
    EXPECT_FALSE(h.changes[1].second) << "play state is not a track change";
}

struct ErrorCase {
    const char* sentence;
    const char* line;
    const char* text;
};

class NowPlayingServiceErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(NowPlayingServiceErrors, ShowTheHelpersText) {
    Harness h;
    h.startRunning();
    h.say(std::string(GetParam().line) + "\n");
    EXPECT_EQ(h.service->status(), Status::unavailable(GetParam().text));
    EXPECT_EQ(h.service->statusName(), "unavailable");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NowPlayingServiceErrors,
    testing::Values(ErrorCase{"with a message", R"({"type":"error","message":"No bus"})", "No bus"},
                    ErrorCase{"without a message", R"({"type":"error"})", "Helper error"},
                    ErrorCase{"with a message that is not text", R"({"type":"error","message":3})",
                              "Helper error"},
                    ErrorCase{"with an empty message", R"({"type":"error","message":""})",
                              "Helper error"}),
    test::SentenceName());

// Lifecycle and restarts -----------------------------------------------------------------------

TEST(NowPlayingServiceHelper, SixthExitWithinAMinuteGivesUp) {
    Harness h;
    h.startRunning();
    for (int exit = 1; exit <= 5; ++exit) {
        h.launcher->exit(1);
        h.clock.advance(999ms);
        EXPECT_EQ(h.launcher->launches.size(), static_cast<std::size_t>(exit));
        h.clock.advance(1ms);
        ASSERT_EQ(h.launcher->launches.size(), static_cast<std::size_t>(exit + 1))
            << "restart after exactly one second";
        h.clock.advance(9s); // exits at 0, 10, 20, 30, 40 s
    }
    h.launcher->exit(std::nullopt); // at 50 s, by a signal
    EXPECT_EQ(h.service->status(), Status::unavailable("Helper keeps crashing"));
    h.clock.advance(10min);
    EXPECT_EQ(h.launcher->launches.size(), 6u);
}

TEST(NowPlayingServiceHelper, ExitsSpreadOverMoreThanAMinuteKeepRestarting) {
    Harness h;
    h.startRunning();
    for (int exit = 1; exit <= 8; ++exit) {
        h.launcher->exit(std::nullopt);
        h.clock.advance(1s);
        ASSERT_EQ(h.launcher->launches.size(), static_cast<std::size_t>(exit + 1));
        h.clock.advance(15s); // one exit every 16 s: at most four in any minute
    }
    EXPECT_EQ(h.service->status(), Status::running());
}

TEST(NowPlayingServiceHelper, StatusTwoMeansNoBusAndNoRestart) {
    Harness h;
    h.service->start();
    h.launcher->exit(2);
    EXPECT_EQ(h.service->status(),
              Status::unavailable("Media information is not accessible: no D-Bus session bus"));
    h.clock.advance(1min);
    EXPECT_EQ(h.launcher->launches.size(), 1u);
}

TEST(NowPlayingServiceHelper, StopEndsTheHelperAndItsExitIsNoCrash) {
    Harness h;
    h.startRunning();
    h.service->stop();
    EXPECT_TRUE(h.launcher->last().inputClosed);
    EXPECT_TRUE(h.launcher->last().terminated);
    EXPECT_EQ(h.natives->stops, 1);
    h.service->write("refresh");
    EXPECT_EQ(h.input(), "") << "nothing is written to a helper being stopped";
    EXPECT_EQ(h.service->status(), Status::running()) << "until the exit arrives";
    h.launcher->exit(std::nullopt);
    EXPECT_EQ(h.service->status(), Status::stopped());
    h.clock.advance(1min);
    EXPECT_EQ(h.launcher->launches.size(), 1u);
}

TEST(NowPlayingServiceHelper, StopCancelsARestartThatIsStillWaiting) {
    Harness h;
    h.startRunning();
    h.launcher->exit(1);
    h.service->stop();
    h.clock.advance(1min);
    EXPECT_EQ(h.launcher->launches.size(), 1u);
}

TEST(NowPlayingServiceHelper, AStartBeforeTheOldHelperEndedKeepsTheNewOne) {
    Harness h;
    h.startRunning();
    h.service->stop();
    h.service->start();
    ASSERT_EQ(h.launcher->launches.size(), 2u);
    h.launcher->launches[0]->events.exited(std::nullopt);
    h.say(R"({"type":"ready"})"
          "\n");
    EXPECT_EQ(h.service->status(), Status::running());
    h.service->write("refresh");
    EXPECT_EQ(h.launcher->launches[1]->input, "refresh\n");
    h.clock.advance(1min);
    EXPECT_EQ(h.launcher->launches.size(), 2u) << "the old exit restarted nothing";
}

TEST(NowPlayingServiceHelper, ALineCutOffByACrashDoesNotSpoilTheNextHelper) {
    Harness h;
    h.startRunning();
    h.say(R"({"type":"nowPlaying","tit)");
    h.launcher->exit(std::nullopt);
    h.clock.advance(1s);
    h.say(R"({"type":"error","message":"second"})"
          "\n");
    EXPECT_EQ(h.service->status(), Status::unavailable("second"));
}

TEST(NowPlayingServiceHelper, MissingLibraryAndLaunchFailureAreShown) {
    {
        Harness h;
        h.launcher->bundled = false;
        h.service->start();
        EXPECT_EQ(h.service->status(),
                  Status::unavailable("Helper not bundled (run via make run)"));
        EXPECT_TRUE(h.launcher->launches.empty());
        EXPECT_EQ(h.natives->starts, 1) << "the native players work without the helper";
    }
    {
        Harness h;
        h.service->start();
        h.launcher->last().events.failedToStart("Permission denied");
        EXPECT_EQ(h.service->status(),
                  Status::unavailable("Could not start helper: Permission denied"));
        h.clock.advance(1min);
        EXPECT_EQ(h.launcher->launches.size(), 1u);
    }
}

// Artwork and tint
// ---------------------------------------------------------------------------------

TEST(NowPlayingServiceArtwork, TintFollowsTheArtworkInTheBackground) {
    Harness h;
    h.startRunning();
    h.say(nowPlaying("One", true, withArtwork("1-a", png(Qt::red))));
    ASSERT_TRUE(h.service->artwork());
    EXPECT_EQ(h.service->artwork()->pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(h.service->tint(), std::nullopt);
    ASSERT_EQ(h.tasks->waiting.size(), 1u);
    h.tasks->finishAll();
    EXPECT_EQ(h.service->tint(), QColor::fromHsvF(0, 1, 1));
}

TEST(NowPlayingServiceArtwork, AStaleTintIsDropped) {
    Harness h;
    h.startRunning();
    h.say(nowPlaying("One", true, withArtwork("1-a", png(Qt::red))));
    h.say(nowPlaying("Two", true, withArtwork("2-b", png(Qt::blue))));
    h.tasks->finish(0); // red, for an artwork no longer shown
    EXPECT_EQ(h.service->tint(), std::nullopt);
    h.tasks->finish(0);
    ASSERT_TRUE(h.service->tint());
    EXPECT_NEAR(h.service->tint()->hueF(), 240.0 / 360, 0.002);
}

struct ArtworkCase {
    const char* sentence;
    std::string next; // the line after a track with artwork "1-a"
    bool kept;
};

class NowPlayingServiceArtworkKept : public testing::TestWithParam<ArtworkCase> {};

TEST_P(NowPlayingServiceArtworkKept, AfterTheNextLine) {
    Harness h;
    h.startRunning();
    h.say(nowPlaying("One", true, withArtwork("1-a", png(Qt::red))));
    h.tasks->finishAll();
    h.say(GetParam().next);
    EXPECT_EQ(h.service->artwork().has_value(), GetParam().kept);
    EXPECT_EQ(h.service->tint().has_value(), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NowPlayingServiceArtworkKept,
    testing::Values(
        ArtworkCase{"same track, bytes not resent",
                    nowPlaying("One", false, R"(,"artworkID":"1-a")"), true},
        ArtworkCase{"same track, bad Base64 counts as none",
                    nowPlaying("One", false, R"(,"artworkID":"1-a","artwork":"@@@")"), true},
        ArtworkCase{"new track with the same artwork id, bytes not resent",
                    nowPlaying("Two", true, R"(,"artworkID":"1-a")"), true},
        ArtworkCase{"new track without artwork", nowPlaying("Two", true), false},
        ArtworkCase{"nothing playing", "{\"type\":\"nowPlaying\",\"playing\":false}\n", false},
        ArtworkCase{"an empty title", nowPlaying("", true), false}),
    test::SentenceName());

TEST(NowPlayingServiceArtwork, TheApplicationIconAndNameFollowThePlayer) {
    Harness h;
    h.apps["firefox"] = DesktopEntry{"firefox", "/usr/share/applications/firefox.desktop",
                                     "Firefox", "firefox-esr"};
    h.apps["mpv"] = DesktopEntry{"mpv", "/usr/share/applications/mpv.desktop", "", ""};
    h.startRunning();
    h.say(nowPlaying("One", true, R"(,"bundleID":"firefox")"));
    EXPECT_EQ(h.service->appIcon(), QString("firefox-esr"));
    EXPECT_EQ(h.service->appName(), QString("Firefox"));
    h.say(nowPlaying("One", true, R"(,"bundleID":"mpv")"));
    EXPECT_EQ(h.service->appIcon(), std::nullopt);
    EXPECT_EQ(h.service->appName(), QString("mpv")) << "the id when the entry has no name";
    h.say(nowPlaying("One", true, R"(,"bundleID":"unknown")"));
    EXPECT_EQ(h.service->appName(), std::nullopt);
}

// Merging the two sources
// ---------------------------------------------------------------------------

TEST(NowPlayingServiceMerge, AnEmptyTitleFromTheHelperShowsThePausedMusicPlayer) {
    Harness h;
    h.startRunning();
    h.say(nowPlaying("Video", true, R"(,"bundleID":"firefox")"));
    h.native(PlayerState::paused, "Song", 10);
    EXPECT_EQ(h.shownTitle(), "Video");
    h.say(nowPlaying("", false));
    EXPECT_EQ(h.shownTitle(), "Song");
    EXPECT_EQ(h.service->nativeSource(), rhythmbox);
}

TEST(NowPlayingServiceMerge, MusicPlayingBeatsAPausedVideoThatChangedLater) {
    Harness h;
    h.startRunning();
    h.native(PlayerState::playing, "Song", 10);
    h.clock.advance(5s);
    h.say(nowPlaying("Video", false, R"(,"bundleID":"firefox")"));
    EXPECT_EQ(h.shownTitle(), "Song");
}

TEST(NowPlayingServiceMerge, WhenBothPlayTheMoreRecentChangeWins) {
    Harness h;
    h.startRunning();
    h.native(PlayerState::playing, "Song", 10);
    h.clock.advance(5s);
    h.say(nowPlaying("Video", true, R"(,"bundleID":"firefox")"));
    EXPECT_EQ(h.shownTitle(), "Video");
    EXPECT_EQ(h.service->nativeSource(), std::nullopt);
    h.clock.advance(5s);
    // Only the position moved: the helper's change time stays, so this is no newer change.
    h.say(nowPlaying("Video", true, R"(,"bundleID":"firefox","elapsed":9)"));
    EXPECT_EQ(h.shownTitle(), "Video");
    h.native(PlayerState::playing, "Song 2", 0);
    EXPECT_EQ(h.shownTitle(), "Song 2");
    ASSERT_FALSE(h.changes.empty());
    EXPECT_TRUE(h.changes.back().second);
}

TEST(NowPlayingServiceMerge, TheHelperReportingTheMusicPlayerItselfWins) {
    Harness h;
    h.startRunning();
    h.native(PlayerState::playing, "Song", 10);
    h.clock.advance(1s);
    h.say(nowPlaying("Song", false, R"(,"bundleID":"org.gnome.Rhythmbox3")"));
    EXPECT_EQ(h.service->nativeSource(), std::nullopt);
    EXPECT_FALSE(h.service->info()->isPlaying);
}

TEST(NowPlayingServiceMerge, ANativeChangeAsksTheHelperToRefresh) {
    Harness h;
    h.startRunning();
    h.native(PlayerState::paused, "Song", 10);
    EXPECT_EQ(h.input(), "refresh\n");
}

TEST(NowPlayingServiceMerge, AStoppedOrQuittingPlayerIsDropped) {
    Harness h;
    h.startRunning();
    h.say(nowPlaying("Video", false, R"(,"bundleID":"firefox")"));
    h.native(PlayerState::playing, "Song", 10);
    EXPECT_EQ(h.shownTitle(), "Song");
    h.natives->onQuit(spotify);
    EXPECT_EQ(h.shownTitle(), "Song") << "another player quit";
    h.natives->onQuit(rhythmbox);
    EXPECT_EQ(h.shownTitle(), "Video");
    h.native(PlayerState::playing, "Song", 10);
    h.native(PlayerState::stopped, "");
    EXPECT_EQ(h.shownTitle(), "Video");
}

struct CarryCase {
    const char* sentence;
    PlayerState first;
    std::string secondTitle;
    std::optional<double> expected; // position of the second state, 4 s later
};

class NowPlayingServiceCarry : public testing::TestWithParam<CarryCase> {};

TEST_P(NowPlayingServiceCarry, PositionOfAStateWithoutOne) {
    Harness h;
    h.startRunning();
    h.native(GetParam().first, "Song", 10, spotify);
    h.clock.advance(4s);
    h.native(PlayerState::paused, GetParam().secondTitle, std::nullopt, spotify);
    ASSERT_TRUE(h.service->info());
    EXPECT_EQ(h.service->info()->elapsed, GetParam().expected);
    EXPECT_EQ(h.service->info()->timestamp, h.clock.date());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NowPlayingServiceCarry,
    testing::Values(CarryCase{"same track, was playing: projected", PlayerState::playing, "Song",
                              14.0},
                    CarryCase{"same track, was paused: kept", PlayerState::paused, "Song", 10.0},
                    CarryCase{"another track: none", PlayerState::playing, "Other", std::nullopt}),
    test::SentenceName());

// Music details ---------------------------------------------------------------------------------

TEST(NowPlayingServiceDetails, AskedOnlyOfTheMusicPlayer) {
    Harness h;
    h.startRunning();
    h.native(PlayerState::playing, "Song", std::nullopt, spotify);
    EXPECT_TRUE(h.natives->detailQueries.empty());
    h.native(PlayerState::playing, "Track", std::nullopt, rhythmbox);
    EXPECT_EQ(h.natives->detailQueries.size(), 1u);
    // Same track with a position: nothing more to ask.
    h.native(PlayerState::playing, "Track", 3, rhythmbox);
    EXPECT_EQ(h.natives->detailQueries.size(), 1u);
}

TEST(NowPlayingServiceDetails, TheAnswerBringsPositionArtworkAndTint) {
    Harness h;
    h.startRunning();
    h.native(PlayerState::paused, "Track");
    ASSERT_EQ(h.natives->detailQueries.size(), 1u);
    h.clock.advance(2s);
    h.natives->detailQueries[0](42.0, png(Qt::green));
    ASSERT_TRUE(h.service->info());
    EXPECT_EQ(h.service->info()->elapsed, 42.0);
    EXPECT_EQ(h.service->info()->timestamp, h.clock.date());
    ASSERT_TRUE(h.service->artwork());
    EXPECT_EQ(h.service->tint(), std::nullopt);
    h.tasks->finishAll();
    ASSERT_TRUE(h.service->tint());
    EXPECT_NEAR(h.service->tint()->hueF(), 120.0 / 360, 0.002);
    EXPECT_EQ(h.natives->detailQueries.size(), 1u) << "the answer asks nothing again";
}

TEST(NowPlayingServiceDetails, ArtworkWithoutAPositionDoesNotAskForEver) {
    Harness h;
    h.startRunning();
    h.native(PlayerState::playing, "Track");
    h.natives->detailQueries[0](std::nullopt, png(Qt::green));
    h.tasks->finishAll();
    EXPECT_TRUE(h.service->tint());
    EXPECT_EQ(h.natives->detailQueries.size(), 1u);
    EXPECT_TRUE(h.tasks->waiting.empty());
}

TEST(NowPlayingServiceDetails, AnAnswerForAnEarlierTrackIsDropped) {
    Harness h;
    h.startRunning();
    h.native(PlayerState::playing, "Track");
    h.native(PlayerState::playing, "Next track");
    h.natives->detailQueries[0](42.0, png(Qt::green));
    EXPECT_EQ(h.service->info()->elapsed, std::nullopt);
    EXPECT_EQ(h.service->artwork(), std::nullopt);
    EXPECT_TRUE(h.tasks->waiting.empty());
}

// Commands and seeking ----------------------------------------------------------------------------

struct CommandCase {
    const char* sentence;
    MediaCommand command;
    bool wasPlaying;
    std::optional<bool> playingAfter; // none: info unchanged
};

class NowPlayingServiceCommands : public testing::TestWithParam<CommandCase> {};

TEST_P(NowPlayingServiceCommands, GoToTheHelperAndProjectAtOnce) {
    const CommandCase& c = GetParam();
    Harness h;
    h.startRunning();
    const auto start = std::chrono::duration<double>(h.clock.date().time_since_epoch()).count();
    h.say(nowPlaying("One", c.wasPlaying,
                     R"(,"elapsed":10,"duration":300,"timestamp":)" + std::to_string(start)));
    const std::optional<NowPlayingInfo> before = h.service->info();
    const std::size_t changes = h.changes.size();
    h.clock.advance(5s);
    h.service->send(c.command);
    EXPECT_EQ(h.input(), std::string(word(c.command)) + "\n");
    EXPECT_EQ(h.changes.size(), changes) << "no change callback for a local projection";
    if (!c.playingAfter) {
        EXPECT_EQ(h.service->info(), before);
        return;
    }
    EXPECT_EQ(h.service->info()->isPlaying, *c.playingAfter);
    EXPECT_EQ(h.service->info()->elapsed, c.wasPlaying ? 15.0 : 10.0);
    EXPECT_EQ(h.service->info()->timestamp, h.clock.date());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NowPlayingServiceCommands,
    testing::Values(
        CommandCase{"toggle while playing pauses", MediaCommand::toggle, true, false},
        CommandCase{"toggle while paused plays", MediaCommand::toggle, false, true},
        CommandCase{"play", MediaCommand::play, false, true},
        CommandCase{"pause", MediaCommand::pause, true, false},
        CommandCase{"next changes nothing here", MediaCommand::next, true, std::nullopt},
        CommandCase{"previous changes nothing here", MediaCommand::previous, true, std::nullopt}),
    test::SentenceName());

TEST(NowPlayingServiceCommands, ANativeSourceGetsTheCommandsInstead) {
    Harness h;
    h.startRunning();
    h.native(PlayerState::playing, "Song", 10, spotify);
    const std::string before = h.input();
    h.service->send(MediaCommand::next);
    h.service->seek(-5);
    EXPECT_EQ(h.input(), before);
    ASSERT_EQ(h.natives->commands.size(), 1u);
    EXPECT_EQ(h.natives->commands[0], std::make_pair(MediaCommand::next, spotify));
    ASSERT_EQ(h.natives->seeks.size(), 1u);
    EXPECT_EQ(h.natives->seeks[0], std::make_pair(0.0, spotify));
}

struct SeekCase {
    const char* sentence;
    double seconds;
    const char* line;
    double elapsed;
};

class NowPlayingServiceSeek : public testing::TestWithParam<SeekCase> {};

TEST_P(NowPlayingServiceSeek, SendsTheShortestDecimal) {
    Harness h;
    h.startRunning();
    h.say(nowPlaying("One", true, R"(,"elapsed":100)"));
    h.service->seek(GetParam().seconds);
    EXPECT_EQ(h.input(), std::string("seek ") + GetParam().line + "\n");
    const std::string sent = std::string(GetParam().line);
    EXPECT_EQ(std::stod(sent), std::max(GetParam().seconds, 0.0)) << "reads back the same";
    EXPECT_EQ(h.service->info()->elapsed, GetParam().elapsed);
    EXPECT_EQ(h.service->info()->timestamp, h.clock.date());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NowPlayingServiceSeek,
    testing::Values(SeekCase{"before the start goes to the start", -3, "0.0", 0},
                    SeekCase{"a fraction", 42.5, "42.5", 42.5},
                    SeekCase{"a whole number keeps a fractional part", 30, "30.0", 30},
                    SeekCase{"a tiny value in plain decimals", 1e-7, "0.0000001", 1e-7},
                    SeekCase{"the shortest of a value with no exact binary form", 0.1 + 0.2,
                             "0.30000000000000004", 0.1 + 0.2}),
    test::SentenceName());

TEST(NowPlayingServiceCommands, ASeekToNoNumberIsIgnored) {
    Harness h;
    h.startRunning();
    h.service->seek(std::nan(""));
    EXPECT_EQ(h.input(), "");
}

} // namespace
} // namespace orlet
