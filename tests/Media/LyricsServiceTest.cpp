#include "Media/LyricsService.h"

#include "LoopbackHttpServer.h"
#include "Media/LRCLib.h"
#include "Media/NowPlayingService.h"
#include "MediaFakes.h"
#include "Platform/DefaultsStore.h"
#include "Platform/ManualClock.h"
#include "QtTestSupport.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>

namespace orlet {
namespace {

using namespace std::chrono_literals;
using test::LoopbackHttpServer;
using Case = LyricsState::Case;

// Answers only when the test says so; remembers which fetches were cancelled, and can still
// answer them, as a fetcher that ignores cancellation would.
class FakeFetcher : public LyricsFetcher {
public:
    struct Call {
        LyricsQuery query;
        Completion done;
        std::shared_ptr<bool> cancelled;
    };

    std::unique_ptr<Task> fetch(const LyricsQuery& query, Completion done) override {
        auto cancelled = std::make_shared<bool>(false);
        calls.push_back({query, std::move(done), cancelled});
        return std::make_unique<FakeTask>(cancelled);
    }

    void answer(std::size_t call, Outcome outcome) { calls.at(call).done(std::move(outcome)); }
    bool cancelled(std::size_t call) const { return *calls.at(call).cancelled; }

    std::vector<Call> calls;

private:
    class FakeTask : public Task {
    public:
        explicit FakeTask(std::shared_ptr<bool> cancelled) : cancelled_(std::move(cancelled)) {}
        ~FakeTask() override { *cancelled_ = true; }

    private:
        std::shared_ptr<bool> cancelled_;
    };
};

const LyricsState threeLines = LyricsState::synced({{10, "a"}, {20, "b"}, {30, "c"}});

class LyricsServiceTest : public testing::Test {
protected:
    // A service on the manual clock whose setting was stored as `enabled` (absent: none).
    LyricsService& make(std::optional<bool> enabled = true, LyricsFetcher* fetcherToUse = nullptr) {
        if (enabled) {
            defaults.set("lyrics.enabled", *enabled);
        }
        service = std::make_unique<LyricsService>(LyricsService::Environment{
            clock, defaults, fetcherToUse ? *fetcherToUse : fetcher, [this] { return current; }});
        return *service;
    }

    // A track measured now.
    NowPlayingInfo track(const std::string& title, double elapsed = 0, bool playing = true,
                         double rate = 1) const {
        NowPlayingInfo info;
        info.title = title;
        info.artist = "Artist";
        info.elapsed = elapsed;
        info.timestamp = clock.date();
        info.isPlaying = playing;
        info.rate = rate;
        return info;
    }

    ManualClock clock;
    test::TemporaryDirectory directory;
    DefaultsStore defaults{QString::fromStdString((directory.path() / "defaults.json").string())};
    FakeFetcher fetcher;
    std::optional<NowPlayingInfo> current;
    std::unique_ptr<LyricsService> service;
};

// The whole road with the real client: loading, the answer of a local LRCLIB, the lines
// followed on the clock, the cache, and a failure that is not cached.
TEST_F(LyricsServiceTest, FetchesFromTheServiceAndCachesWhatItFound) {
    LoopbackHttpServer server;
    QFile found(QStringLiteral(ORLET_SOURCE_DIR "/tests/Media/fixtures/lrclib/get-found.json"));
    ASSERT_TRUE(found.open(QIODevice::ReadOnly));
    server.route("/api/get", LoopbackHttpServer::json(found.readAll()));
    LRCLib client(server.url());
    LyricsService& lyrics = make(true, &client);

    NowPlayingInfo song = track("I Want to Live", 18);
    song.artist = "Borislav Slavov";
    song.album = "Baldur's Gate 3 (Original Game Soundtrack)";
    song.duration = 233;
    lyrics.update(song);
    EXPECT_EQ(lyrics.state(), LyricsState::loading());
    ASSERT_TRUE(LoopbackHttpServer::waitFor([&] { return lyrics.state().isSynced(); }));
    ASSERT_EQ(lyrics.state().lines().size(), 47u);
    // Everything below runs on the manual clock: the position is 18 s until it is advanced.
    EXPECT_EQ(lyrics.lineIndex(), 0u); // 17.12 <= 18.45 < 20.41
    clock.advance(1959ms);
    EXPECT_EQ(lyrics.lineIndex(), 0u);
    clock.advance(1ms);
    EXPECT_EQ(lyrics.lineIndex(), 1u);

    NowPlayingInfo other = track("Unknown Song");
    lyrics.update(other);
    EXPECT_EQ(lyrics.state(), LyricsState::loading());
    ASSERT_TRUE(
        LoopbackHttpServer::waitFor([&] { return lyrics.state() != LyricsState::loading(); }));
    EXPECT_EQ(lyrics.state(), LyricsState::failed()); // no search route: 404
    ASSERT_EQ(server.requests().size(), 2u);

    lyrics.update(song);
    EXPECT_TRUE(lyrics.state().isSynced()) << "a cached outcome shows at once";
    lyrics.update(other);
    EXPECT_EQ(lyrics.state(), LyricsState::loading()) << "failures are not cached";
    ASSERT_TRUE(LoopbackHttpServer::waitFor([&] { return server.requests().size() == 3; }));
    EXPECT_EQ(server.requests("/api/get").size(), 1u);
    EXPECT_EQ(server.requests("/api/search").size(), 2u);
}

struct TimingCase {
    const char* sentence;
    double elapsed;
    double rate;
    std::chrono::milliseconds due; // when the next line shows
    int before;
    int after;
};

class LyricsLineTimer : public LyricsServiceTest, public testing::WithParamInterface<TimingCase> {};

TEST_P(LyricsLineTimer, MovesExactlyWhenTheNextLineIsDue) {
    const TimingCase& c = GetParam();
    LyricsService& lyrics = make();
    lyrics.update(track("Song", c.elapsed, true, c.rate));
    fetcher.answer(0, threeLines);
    EXPECT_EQ(lyrics.lineIndexValue(), c.before);
    EXPECT_EQ(clock.pendingCount(), 1u);
    clock.advance(c.due - 1ms);
    EXPECT_EQ(lyrics.lineIndexValue(), c.before);
    clock.advance(1ms);
    EXPECT_EQ(lyrics.lineIndexValue(), c.after);
    EXPECT_EQ(clock.pendingCount(), 1u) << "one timer, for the line after";
}

INSTANTIATE_TEST_SUITE_P(
    Lyrics, LyricsLineTimer,
    testing::Values(TimingCase{"from the start, shown 0.45 s early", 0, 1, 9550ms, -1, 0},
                    TimingCase{"in the middle of a line", 12, 1, 7550ms, 0, 1},
                    TimingCase{"at twice the speed", 0, 2, 4775ms, -1, 0},
                    TimingCase{"at half the speed", 0, 0.5, 19100ms, -1, 0},
                    TimingCase{"a rate of zero counts as one", 0, 0, 9550ms, -1, 0},
                    TimingCase{"a line due any moment waits 10 ms", 9.549, 1, 10ms, -1, 0}),
    test::SentenceName());

TEST_F(LyricsServiceTest, PausingStopsTheTimerAndPlayingResyncsFromThePosition) {
    LyricsService& lyrics = make();
    lyrics.update(track("Song", 12, false));
    fetcher.answer(0, threeLines);
    EXPECT_EQ(lyrics.lineIndex(), 0u);
    EXPECT_EQ(clock.pendingCount(), 0u);
    clock.advance(60s);
    EXPECT_EQ(lyrics.lineIndex(), 0u);

    lyrics.update(track("Song", 12, true));
    EXPECT_EQ(clock.pendingCount(), 1u);
    clock.advance(7549ms);
    EXPECT_EQ(lyrics.lineIndex(), 0u);
    clock.advance(1ms);
    EXPECT_EQ(lyrics.lineIndex(), 1u);

    lyrics.update(track("Song", 25, false));
    EXPECT_EQ(lyrics.lineIndex(), 1u);
    EXPECT_EQ(clock.pendingCount(), 0u);
    lyrics.update(track("Song", 25, true));
    clock.advance(4549ms);
    EXPECT_EQ(lyrics.lineIndex(), 1u);
    clock.advance(1ms);
    EXPECT_EQ(lyrics.lineIndex(), 2u);
    EXPECT_EQ(clock.pendingCount(), 0u) << "no line after the last";
    EXPECT_EQ(fetcher.calls.size(), 1u);
}

TEST_F(LyricsServiceTest, LogsHowLateALineFired) {
    QLoggingCategory::setFilterRules("com.brambleowl.orlet.app.debug=true");
    LyricsService& lyrics = make();
    lyrics.update(track("Song"));
    fetcher.answer(0, threeLines);
    test::LogCapture log;
    clock.advance(9550ms);
    QLoggingCategory::setFilterRules({});
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].category, "com.brambleowl.orlet.app");
    EXPECT_EQ(log.lines()[0].message, "Lyrics line 0 fired 0 ms late");
}

TEST_F(LyricsServiceTest, ACachedTrackShowsAtOnceWithoutAsking) {
    LyricsService& lyrics = make();
    lyrics.update(track("A", 12));
    fetcher.answer(0, threeLines);
    lyrics.update(track("B"));
    fetcher.answer(1, LyricsState::notFound());
    EXPECT_EQ(lyrics.lineIndexValue(), -1);

    QSignalSpy states(&lyrics, &LyricsService::stateChanged);
    lyrics.update(track("a", 12)); // the key is in lower case
    EXPECT_EQ(lyrics.state(), threeLines);
    EXPECT_EQ(states.count(), 1);
    EXPECT_EQ(lyrics.lineIndex(), 0u);
    EXPECT_EQ(fetcher.calls.size(), 2u);
}

TEST_F(LyricsServiceTest, TheSameTrackAgainChangesNothing) {
    LyricsService& lyrics = make();
    QSignalSpy states(&lyrics, &LyricsService::stateChanged);
    lyrics.update(track("Song"));
    lyrics.update(track("Song", 3));
    EXPECT_EQ(fetcher.calls.size(), 1u);
    EXPECT_FALSE(fetcher.cancelled(0));
    EXPECT_EQ(states.count(), 1);
}

TEST_F(LyricsServiceTest, TheTwoHundredAndFirstEntryEmptiesTheCache) {
    LyricsService& lyrics = make();
    for (int i = 0; i < 200; ++i) {
        lyrics.update(track("Song " + std::to_string(i)));
        fetcher.answer(fetcher.calls.size() - 1, LyricsState::notFound());
    }
    lyrics.update(track("Song 0"));
    EXPECT_EQ(fetcher.calls.size(), 200u) << "200 entries still fit";

    lyrics.update(track("Song 200"));
    fetcher.answer(200, LyricsState::unsynced());
    EXPECT_EQ(lyrics.state(), LyricsState::unsynced()) << "the answer is still shown";
    lyrics.update(track("Song 1"));
    EXPECT_EQ(fetcher.calls.size(), 202u);
    lyrics.update(track("Song 200"));
    EXPECT_EQ(fetcher.calls.size(), 203u);
}

TEST_F(LyricsServiceTest, DisabledIsOffAndAsksNothing) {
    LyricsService& lyrics = make(std::nullopt);
    EXPECT_FALSE(lyrics.isEnabled());
    lyrics.update(track("Song"));
    EXPECT_EQ(lyrics.state(), LyricsState::off());
    EXPECT_EQ(lyrics.lineIndexValue(), -1);
    EXPECT_TRUE(fetcher.calls.empty());
    EXPECT_EQ(defaults.boolValue("lyrics.enabled"), std::nullopt);

    // Enabling asks for what the now playing service shows.
    current = track("Shown", 12);
    QSignalSpy enabled(&lyrics, &LyricsService::isEnabledChanged);
    lyrics.setEnabled(true);
    EXPECT_EQ(enabled.count(), 1);
    EXPECT_EQ(defaults.boolValue("lyrics.enabled"), true);
    ASSERT_EQ(fetcher.calls.size(), 1u);
    EXPECT_EQ(fetcher.calls[0].query.title, "Shown");
    EXPECT_EQ(lyrics.state(), LyricsState::loading());
    fetcher.answer(0, threeLines);
    EXPECT_EQ(lyrics.lineIndex(), 0u);
    EXPECT_EQ(clock.pendingCount(), 1u);

    lyrics.setEnabled(false);
    EXPECT_EQ(lyrics.state(), LyricsState::off());
    EXPECT_EQ(lyrics.lineIndexValue(), -1);
    EXPECT_EQ(clock.pendingCount(), 0u);
    EXPECT_EQ(defaults.boolValue("lyrics.enabled"), false);
    lyrics.setEnabled(false);
    EXPECT_EQ(enabled.count(), 2);
}

TEST_F(LyricsServiceTest, DisablingCancelsTheFetch) {
    LyricsService& lyrics = make();
    lyrics.update(track("Song"));
    lyrics.setEnabled(false);
    EXPECT_TRUE(fetcher.cancelled(0));
    fetcher.answer(0, threeLines);
    EXPECT_EQ(lyrics.state(), LyricsState::off());
}

TEST_F(LyricsServiceTest, TheStoredSettingIsReadOnce) {
    LyricsService& lyrics = make(true);
    EXPECT_TRUE(lyrics.isEnabled());
    EXPECT_EQ(lyrics.state(), LyricsState::off()) << "nothing asked before the first update";
    defaults.set("lyrics.enabled", false);
    EXPECT_TRUE(lyrics.isEnabled());
}

TEST_F(LyricsServiceTest, ALateAnswerForAnotherTrackIsDropped) {
    LyricsService& lyrics = make();
    lyrics.update(track("A"));
    lyrics.update(track("B"));
    EXPECT_TRUE(fetcher.cancelled(0)) << "a new track cancels the running fetch";
    QSignalSpy states(&lyrics, &LyricsService::stateChanged);
    fetcher.answer(0, threeLines);
    EXPECT_EQ(lyrics.state(), LyricsState::loading());
    EXPECT_EQ(states.count(), 0);

    lyrics.update(track("A"));
    EXPECT_EQ(fetcher.calls.size(), 3u) << "the dropped answer was not cached";
    fetcher.answer(1, LyricsState::unsynced());
    EXPECT_EQ(lyrics.state(), LyricsState::loading());
    fetcher.answer(2, threeLines);
    EXPECT_EQ(lyrics.state(), threeLines);
}

TEST_F(LyricsServiceTest, AFailureIsLoggedShownAndNotCached) {
    LyricsService& lyrics = make();
    lyrics.update(track("A"));
    {
        test::LogCapture log;
        fetcher.answer(0, LyricsFailure{"Bad server response (HTTP 500)"});
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_EQ(log.lines()[0].category, "com.brambleowl.orlet.app");
        EXPECT_EQ(log.lines()[0].message, "Lyrics: Bad server response (HTTP 500)");
    }
    EXPECT_EQ(lyrics.state(), LyricsState::failed());
    lyrics.update(track("B"));
    lyrics.update(track("A"));
    EXPECT_EQ(fetcher.calls.size(), 3u);
}

TEST_F(LyricsServiceTest, NothingPlayingWhileEnabledIsLoading) {
    LyricsService& lyrics = make();
    lyrics.update(track("A"));
    fetcher.answer(0, threeLines);
    lyrics.update(std::nullopt);
    EXPECT_EQ(lyrics.state(), LyricsState::loading());
    EXPECT_EQ(lyrics.lineIndexValue(), -1);
    EXPECT_EQ(clock.pendingCount(), 0u);
    lyrics.update(track("A"));
    EXPECT_EQ(lyrics.state(), threeLines) << "the cache outlives the pause in playback";
    EXPECT_EQ(fetcher.calls.size(), 1u);
}

TEST_F(LyricsServiceTest, ShowsOnTheNotchWhileSyncedAndPlaying) {
    LyricsService& lyrics = make();
    QSignalSpy shows(&lyrics, &LyricsService::showsOnNotchChanged);
    current = track("A");
    lyrics.update(current);
    EXPECT_FALSE(lyrics.showsOnNotch());
    fetcher.answer(0, threeLines);
    EXPECT_TRUE(lyrics.property("showsOnNotch").toBool());
    EXPECT_EQ(shows.count(), 1);
    EXPECT_EQ(lyrics.property("state").value<LyricsState>().kind(), Case::synced);
    EXPECT_EQ(lyrics.property("lineIndex").toInt(), -1);

    current->isPlaying = false;
    lyrics.currentInfoChanged();
    EXPECT_FALSE(lyrics.showsOnNotch());
    EXPECT_EQ(shows.count(), 2);
    current->isPlaying = true;
    lyrics.currentInfoChanged();
    lyrics.setEnabled(false);
    EXPECT_FALSE(lyrics.showsOnNotch());
    EXPECT_EQ(shows.count(), 4);
}

// The lyrics follow what the now playing service shows: a helper line starts the fetch, and the
// notch line appears only while that track plays.
TEST_F(LyricsServiceTest, FollowsTheNowPlayingService) {
    auto launcherOwned = std::make_unique<test::FakeHelperLauncher>();
    test::FakeHelperLauncher& launcher = *launcherOwned;
    NowPlayingService nowPlaying(NowPlayingService::Environment{
        clock,
        std::move(launcherOwned),
        std::make_unique<test::FakeNativePlayers>(),
        std::make_unique<test::FakeBackgroundTasks>(),
        [](const std::string&) { return std::optional<DesktopEntry>(); },
        nullptr,
    });
    LyricsService& lyrics = make(true);
    nowPlaying.attachLyrics(lyrics);
    nowPlaying.start();
    launcher.say("{\"type\":\"ready\"}\n"
                 "{\"type\":\"nowPlaying\",\"title\":\"Song\",\"artist\":\"Artist\",\"album\":null,"
                 "\"duration\":200,\"elapsed\":15,\"rate\":1,\"timestamp\":null,\"playing\":true,"
                 "\"bundleID\":\"mpv\",\"parentBundleID\":null,\"artworkID\":null}\n");
    ASSERT_EQ(fetcher.calls.size(), 1u);
    EXPECT_EQ(fetcher.calls[0].query.title, "Song");
    fetcher.answer(0, threeLines);
    EXPECT_EQ(lyrics.lineIndex(), 0u);
    EXPECT_TRUE(lyrics.showsOnNotch());

    nowPlaying.send(MediaCommand::pause);
    EXPECT_FALSE(lyrics.showsOnNotch()) << "paused at once, before the helper answers";
    launcher.say("{\"type\":\"nowPlaying\",\"playing\":false}\n");
    EXPECT_FALSE(lyrics.showsOnNotch());
    EXPECT_EQ(lyrics.state(), LyricsState::loading());
    EXPECT_EQ(fetcher.calls.size(), 1u);
}

} // namespace
} // namespace orlet
