#include "OrletMedia/ArtworkStore.h"
#include "OrletMedia/CommandLineSplitter.h"
#include "OrletMedia/HelperCommand.h"
#include "OrletMedia/MediaHelper.h"
#include "OrletMedia/NowPlayingEncoder.h"
#include "OrletMedia/PlayerChooser.h"
#include "Platform/ManualClock.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"

#include <QUrl>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

namespace orlet {
namespace {

using namespace std::chrono_literals;
using Kind = HelperCommand::Kind;

// ---- input lines ----

struct CommandCase {
    const char* sentence;
    std::string line;
    std::optional<HelperCommand> expected;
};

class HelperCommandTest : public testing::TestWithParam<CommandCase> {};

TEST_P(HelperCommandTest, Parses) {
    EXPECT_EQ(HelperCommand::parse(GetParam().line), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HelperCommandTest,
    testing::Values(
        CommandCase{"blanks around pause are trimmed", "  pause  \r\n", HelperCommand{Kind::pause}},
        CommandCase{"words are case sensitive", "Pause", std::nullopt},
        CommandCase{"each command word", "toggle", HelperCommand{Kind::toggle}},
        CommandCase{"next", "next", HelperCommand{Kind::next}},
        CommandCase{"previous", "previous", HelperCommand{Kind::previous}},
        CommandCase{"play with extra fields", "play now", HelperCommand{Kind::play}},
        CommandCase{"refresh", "refresh", HelperCommand{Kind::refresh}},
        CommandCase{"seek to a decimal", "seek 42.5", HelperCommand{Kind::seek, 42.5}},
        CommandCase{"seek to a non number is 0", "seek x", HelperCommand{Kind::seek, 0}},
        CommandCase{"seek with trailing junk is 0", "seek 4x", HelperCommand{Kind::seek, 0}},
        CommandCase{"seek alone is ignored", "seek", std::nullopt},
        CommandCase{"seek with a trailing blank is seek alone", "seek ", std::nullopt},
        CommandCase{"split at single blanks so two blanks give an empty field", "seek  42",
                    HelperCommand{Kind::seek, 0}},
        CommandCase{"negative seek is 0", "seek -3", HelperCommand{Kind::seek, 0}},
        CommandCase{"infinite seek is 0", "seek inf", HelperCommand{Kind::seek, 0}},
        CommandCase{"nan seek is 0", "seek nan", HelperCommand{Kind::seek, 0}},
        CommandCase{"a tab is not a field separator", "pause\tnow", std::nullopt},
        CommandCase{"empty line", "   ", std::nullopt},
        CommandCase{"unknown word", "stop", std::nullopt}),
    test::SentenceName());

TEST(CommandLineSplitterTest, CutsLinesAt511BytesAndKeepsTheRestForLater) {
    CommandLineSplitter splitter;
    EXPECT_EQ(splitter.feed("pau"), std::vector<std::string>{});
    EXPECT_EQ(splitter.feed("se\nplay\nne"), (std::vector<std::string>{"pause", "play"}));
    EXPECT_EQ(splitter.finish(), "ne");

    const std::string longLine = std::string(511, 'a') + "pause\n";
    EXPECT_EQ(splitter.feed(longLine), (std::vector<std::string>{std::string(511, 'a'), "pause"}));
    EXPECT_EQ(splitter.finish(), "");
}

// ---- output lines ----

nlohmann::json parsed(const std::string& line) {
    EXPECT_FALSE(line.empty());
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line, compact";
    return nlohmann::json::parse(line);
}

NowPlayingSnapshot track(std::string title, std::optional<std::string> artwork) {
    NowPlayingSnapshot snapshot;
    snapshot.title = std::move(title);
    snapshot.artwork = std::move(artwork);
    snapshot.playing = true;
    return snapshot;
}

TEST(NowPlayingEncoderTest, NothingPlayingHasExactlyTwoKeys) {
    NowPlayingEncoder encoder;
    EXPECT_EQ(parsed(encoder.nothingPlaying()),
              (nlohmann::json{{"type", "nowPlaying"}, {"playing", false}}));
    EXPECT_EQ(parsed(encoder.encode(track("", std::nullopt))),
              (nlohmann::json{{"type", "nowPlaying"}, {"playing", false}}));
    EXPECT_EQ(parsed(NowPlayingEncoder::ready()), (nlohmann::json{{"type", "ready"}}));
}

TEST(NowPlayingEncoderTest, AllTwelveKeysWithNullForMissingValues) {
    NowPlayingEncoder encoder;
    const nlohmann::json message = parsed(encoder.encode(track("T", std::nullopt)));
    EXPECT_EQ(message, (nlohmann::json{{"type", "nowPlaying"},
                                       {"title", "T"},
                                       {"artist", nullptr},
                                       {"album", nullptr},
                                       {"duration", nullptr},
                                       {"elapsed", nullptr},
                                       {"rate", nullptr},
                                       {"timestamp", nullptr},
                                       {"playing", true},
                                       {"bundleID", nullptr},
                                       {"parentBundleID", nullptr},
                                       {"artworkID", nullptr}}));
}

TEST(NowPlayingEncoderTest, ArtworkIDIsLengthAndFnvHash) {
    EXPECT_EQ(NowPlayingEncoder::artworkID("hello"), "5-a430d84680aabd0b");
    EXPECT_EQ(NowPlayingEncoder::artworkID(""), "0-cbf29ce484222325");
    EXPECT_EQ(NowPlayingEncoder::artworkID(std::string("\0\x01", 2)),
              NowPlayingEncoder::artworkID(std::string("\0\x01", 2)));
    EXPECT_NE(NowPlayingEncoder::artworkID(std::string("\0\x01", 2)),
              NowPlayingEncoder::artworkID(std::string("\0\x02", 2)));
}

struct ArtworkStep {
    std::optional<NowPlayingSnapshot> snapshot; // none: nothing playing
    bool sendsArtwork;
};

TEST(NowPlayingEncoderTest, ArtworkTravelsOnlyWhenItsIdChanges) {
    const std::string imageA = std::string("\x89PNG\0a", 6);
    const std::string imageB = "\xff\xd8 jpeg b";
    const ArtworkStep steps[] = {
        {track("one", imageA), true},
        {track("one", imageA), false},       // same track, new play state
        {track("two", std::nullopt), false}, // no artwork: the last one is kept
        {track("three", imageA), false},     // so the same image is not sent again
        {track("four", imageB), true},
        {std::nullopt, false}, // nothing playing forgets the last one
        {track("five", imageB), true},
    };
    NowPlayingEncoder encoder;
    for (std::size_t index = 0; index < std::size(steps); ++index) {
        const ArtworkStep& step = steps[index];
        const nlohmann::json message =
            parsed(step.snapshot ? encoder.encode(*step.snapshot) : encoder.nothingPlaying());
        EXPECT_EQ(message.contains("artwork"), step.sendsArtwork) << "step " << index;
        if (step.snapshot && step.snapshot->artwork) {
            EXPECT_EQ(message["artworkID"], NowPlayingEncoder::artworkID(*step.snapshot->artwork));
            if (step.sendsArtwork) {
                const QByteArray bytes = QByteArray::fromBase64(
                    QByteArray::fromStdString(message["artwork"].get<std::string>()));
                EXPECT_EQ(bytes.toStdString(), *step.snapshot->artwork) << "bytes exactly";
            }
        } else if (step.snapshot) {
            EXPECT_TRUE(message["artworkID"].is_null());
        }
    }
}

// ---- choosing the player ----

using Status = PlayerChooser::Status;

struct ChoiceStep {
    std::string name;
    Status status;
    std::string track;
    bool vanishes = false;
};

struct ChoiceCase {
    const char* sentence;
    std::vector<ChoiceStep> steps;
    std::optional<std::string> expected;
};

class PlayerChooserTest : public testing::TestWithParam<ChoiceCase> {};

TEST_P(PlayerChooserTest, Chooses) {
    PlayerChooser chooser;
    for (const ChoiceStep& step : GetParam().steps) {
        if (step.vanishes) {
            chooser.remove(step.name);
        } else {
            chooser.update(step.name, step.status, step.track);
        }
    }
    EXPECT_EQ(chooser.current(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Players, PlayerChooserTest,
    testing::Values(
        ChoiceCase{"no players", {}, std::nullopt},
        ChoiceCase{"a stopped player is never chosen", {{"a", Status::stopped, "t"}}, std::nullopt},
        ChoiceCase{"a paused player appearing later does not steal",
                   {{"a", Status::playing, "t"}, {"b", Status::paused, "t"}},
                   "a"},
        ChoiceCase{"a player pausing later does not steal",
                   {{"a", Status::paused, "t"},
                    {"b", Status::playing, "t"},
                    {"a", Status::playing, "t"},
                    {"a", Status::paused, "t"}},
                   "b"},
        ChoiceCase{"the newest playing player wins",
                   {{"a", Status::playing, "t"}, {"b", Status::playing, "t"}},
                   "b"},
        ChoiceCase{"resuming makes a player the newest",
                   {{"a", Status::playing, "t"},
                    {"b", Status::playing, "t"},
                    {"a", Status::paused, "t"},
                    {"a", Status::playing, "t"}},
                   "a"},
        ChoiceCase{
            "a new track while playing makes a player the newest",
            {{"a", Status::playing, "1"}, {"b", Status::playing, "1"}, {"a", Status::playing, "2"}},
            "a"},
        ChoiceCase{
            "repeating the same state changes nothing",
            {{"a", Status::playing, "1"}, {"b", Status::playing, "1"}, {"a", Status::playing, "1"}},
            "b"},
        ChoiceCase{"with none playing the most recently active paused one",
                   {{"a", Status::playing, "t"},
                    {"b", Status::playing, "t"},
                    {"b", Status::paused, "t"},
                    {"a", Status::paused, "t"}},
                   "a"},
        ChoiceCase{"a vanished player hands over to the other",
                   {{"a", Status::paused, "t"}, {"b", Status::playing, "t"}, {"b", {}, "", true}},
                   "a"}),
    test::SentenceName());

// ---- the helper's loop on the manual clock ----

class FakeSource : public NowPlayingSource {
public:
    void start(std::function<void()> started) override { started_ = std::move(started); }
    void query(std::function<void(std::optional<NowPlayingSnapshot>)> answer) override {
        answers.push_back(std::move(answer));
    }
    void send(const HelperCommand& command, std::function<void()> done) override {
        sent.push_back(command);
        deliveries.push_back(std::move(done));
    }

    void finishStart() { std::exchange(started_, nullptr)(); }

    std::vector<std::function<void(std::optional<NowPlayingSnapshot>)>> answers;
    std::vector<HelperCommand> sent;
    std::vector<std::function<void()>> deliveries;

private:
    std::function<void()> started_;
};

class FakeProcesses : public ProcessMonitor {
public:
    class FakeWatch : public Watch {
    public:
        FakeWatch(FakeProcesses& owner, pid_t pid) : owner_(owner), pid_(pid) {}
        ~FakeWatch() override { owner_.watched.erase(pid_); }

    private:
        FakeProcesses& owner_;
        pid_t pid_;
    };

    std::unique_ptr<Watch> watch(pid_t pid, std::function<void()> exited) override {
        watched[pid] = std::move(exited);
        return std::make_unique<FakeWatch>(*this, pid);
    }
    bool isGone(pid_t pid) const override { return gone.contains(pid); }

    std::map<pid_t, std::function<void()>> watched;
    std::set<pid_t> gone;
};

class MediaHelperTest : public testing::Test {
public:
    MediaHelperTest() {
        helper.start();
        source.finishStart();
    }

    std::vector<nlohmann::json> messages() const {
        std::vector<nlohmann::json> result;
        for (const std::string& line : lines) {
            result.push_back(nlohmann::json::parse(line));
        }
        return result;
    }

    ManualClock clock;
    FakeSource source;
    FakeProcesses processes;
    std::vector<std::string> lines;
    MediaHelper helper{source, processes, clock,
                       [this](std::string_view line) { lines.emplace_back(line); }};
};

TEST_F(MediaHelperTest, ReadyFirstThenTheStateAtOnce) {
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "{\"type\":\"ready\"}\n");
    ASSERT_EQ(source.answers.size(), 1u) << "asked without delay";
    source.answers[0](std::nullopt);
    EXPECT_EQ(messages().back(), (nlohmann::json{{"type", "nowPlaying"}, {"playing", false}}));
}

TEST_F(MediaHelperTest, ABurstGivesOneRefreshOnceQuietForTheLastDelay) {
    source.onChange(NowPlayingSource::Change::player);
    clock.advance(30ms);
    source.onChange(NowPlayingSource::Change::player);
    clock.advance(59ms);
    EXPECT_EQ(source.answers.size(), 1u);
    clock.advance(1ms);
    EXPECT_EQ(source.answers.size(), 2u) << "60 ms after the second";
    clock.advance(1s);
    EXPECT_EQ(source.answers.size(), 2u);
}

struct DelayCase {
    const char* sentence;
    std::function<void(MediaHelperTest&)> trigger;
    std::chrono::milliseconds delay;
};

class MediaHelperDelayTest : public MediaHelperTest,
                             public testing::WithParamInterface<DelayCase> {};

TEST_P(MediaHelperDelayTest, RefreshesAfterItsDelay) {
    const DelayCase& delays = GetParam();
    // A player with a process, so there is something to exit.
    NowPlayingSnapshot playing = track("T", std::nullopt);
    playing.pid = 4242;
    source.answers[0](playing);
    delays.trigger(*this);
    clock.advance(delays.delay - 1ms);
    EXPECT_EQ(source.answers.size(), 1u);
    clock.advance(1ms);
    EXPECT_EQ(source.answers.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Triggers, MediaHelperDelayTest,
    testing::Values(
        DelayCase{"a player change",
                  [](MediaHelperTest& t) { t.source.onChange(NowPlayingSource::Change::player); },
                  60ms},
        DelayCase{"a player leaving",
                  [](MediaHelperTest& t) { t.source.onChange(NowPlayingSource::Change::vanished); },
                  200ms},
        DelayCase{"a command", [](MediaHelperTest& t) { t.helper.handleLine("next"); }, 150ms},
        DelayCase{"a refresh", [](MediaHelperTest& t) { t.helper.handleLine("refresh"); }, 150ms},
        DelayCase{"the watched process exiting",
                  [](MediaHelperTest& t) { t.processes.watched.at(4242)(); }, 250ms}),
    test::SentenceName());

TEST_F(MediaHelperTest, IgnoredLinesScheduleNothingAndSendNothing) {
    for (const char* line : {"Pause", "seek", "", "stop"}) {
        helper.handleLine(line);
    }
    EXPECT_FALSE(helper.isRefreshPending());
    EXPECT_TRUE(source.sent.empty());
    helper.handleLine("seek 42.5");
    EXPECT_TRUE(helper.isRefreshPending());
    EXPECT_EQ(source.sent, (std::vector<HelperCommand>{{Kind::seek, 42.5}}));
}

TEST_F(MediaHelperTest, AnAnswerToAnOlderQueryIsDropped) {
    helper.refreshNow();
    ASSERT_EQ(source.answers.size(), 2u);
    source.answers[0](track("old", std::nullopt));
    EXPECT_EQ(lines.size(), 1u);
    source.answers[1](track("new", std::nullopt));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(messages().back()["title"], "new");
}

TEST_F(MediaHelperTest, FollowsTheNowPlayingProcessAndReportsItGone) {
    NowPlayingSnapshot first = track("T", std::nullopt);
    first.pid = 100;
    source.answers[0](first);
    EXPECT_EQ(processes.watched.size(), 1u);
    EXPECT_TRUE(processes.watched.contains(100));

    // A new player: the old watch ends, the new one starts; even without a title.
    helper.refreshNow();
    NowPlayingSnapshot untitled;
    untitled.pid = 200;
    source.answers[1](untitled);
    EXPECT_FALSE(processes.watched.contains(100));
    EXPECT_TRUE(processes.watched.contains(200));

    // The framework still names the player but its process is gone.
    processes.gone.insert(200);
    helper.refreshNow();
    NowPlayingSnapshot stale = track("T", std::string("img"));
    stale.pid = 200;
    source.answers[2](stale);
    EXPECT_EQ(messages().back(), (nlohmann::json{{"type", "nowPlaying"}, {"playing", false}}));

    helper.refreshNow();
    source.answers[3](std::nullopt);
    EXPECT_TRUE(processes.watched.empty());
    EXPECT_EQ(helper.watchedPid(), 0);
}

TEST_F(MediaHelperTest, EndOfInputWaitsForCommandsOnTheirWayButNotForever) {
    bool finished = false;
    helper.handleLine("pause");
    helper.finish([&] { finished = true; });
    EXPECT_FALSE(finished);
    source.deliveries[0]();
    EXPECT_TRUE(finished);

    bool finishedAgain = false;
    helper.handleLine("play");
    helper.finish([&] { finishedAgain = true; });
    clock.advance(MediaHelper::finishGrace - 1ms);
    EXPECT_FALSE(finishedAgain);
    clock.advance(1ms);
    EXPECT_TRUE(finishedAgain);
    source.deliveries[1](); // late: nothing more happens
}

TEST_F(MediaHelperTest, EndOfInputWithNothingOnItsWayEndsAtOnce) {
    bool finished = false;
    helper.finish([&] { finished = true; });
    EXPECT_TRUE(finished);
}

// ---- artwork sources ----

TEST(ArtworkStoreTest, DataUrlsDecodeBase64AndPercentEncoding) {
    EXPECT_EQ(ArtworkStore::decodeDataUrl("data:image/png;base64,aGVsbG8="), "hello");
    EXPECT_EQ(ArtworkStore::decodeDataUrl("data:image/png;base64,aGVs%62G8%3D"), "hello");
    EXPECT_EQ(ArtworkStore::decodeDataUrl("data:,a%00b"), std::string("a\0b", 3));
    EXPECT_EQ(ArtworkStore::decodeDataUrl("data:image/png;base64,!!!"), std::nullopt);
    EXPECT_EQ(ArtworkStore::decodeDataUrl("data:image/png;base64"), std::nullopt);
}

TEST(ArtworkStoreTest, ReadsRegularFilesOnly) {
    const test::TemporaryDirectory directory;
    const auto image = directory.path() / "cover.png";
    std::ofstream(image, std::ios::binary) << std::string("\x89PNG\0\x01", 6);
    ManualClock clock;
    ArtworkStore store(clock);
    EXPECT_EQ(store.lookup(QUrl::fromLocalFile(QString::fromStdString(image)).toString()),
              std::string("\x89PNG\0\x01", 6));

    // A FIFO would block the loop, a device would never end.
    const auto fifo = directory.path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ArtworkStore::readFile(QString::fromStdString(fifo)), std::nullopt);
    EXPECT_EQ(ArtworkStore::readFile("/dev/zero"), std::nullopt);
    EXPECT_EQ(ArtworkStore::readFile(QString::fromStdString(directory.path() / "missing")),
              std::nullopt);
    EXPECT_EQ(store.lookup("ftp://example.invalid/cover.png"), std::nullopt);
}

} // namespace
} // namespace orlet
