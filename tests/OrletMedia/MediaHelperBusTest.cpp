// The real host and library on a private session bus, against the scriptable test player.

#include "ChildProcess.h"
#include "OrletMedia/NowPlayingEncoder.h"
#include "PipedProcess.h"
#include "Platform/ProcessInfo.h"
#include "TemporaryDirectory.h"

#include <QByteArray>
#include <QUrl>
#include <cctype>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <unistd.h>

namespace orlet {
namespace {

using nlohmann::json;
using test::PipedProcess;
using namespace std::chrono_literals;

const json nothingPlaying = {{"type", "nowPlaying"}, {"playing", false}};

std::vector<json> parsedLines(const PipedProcess& process) {
    std::vector<json> result;
    for (const std::string& line : process.lines()) {
        result.push_back(json::parse(line));
    }
    return result;
}

// A private bus per test, so tests run side by side and never touch the user's session.
class MediaHelperBusTest : public testing::Test {
protected:
    void SetUp() override {
        bus_ = std::make_unique<PipedProcess>(
            std::vector<std::string>{"dbus-daemon", "--session", "--nofork", "--print-address=1"},
            test::environmentWith({}));
        ASSERT_TRUE(bus_->waitForLines(1)) << bus_->err();
        environment_ = test::environmentWith({{"DBUS_SESSION_BUS_ADDRESS", bus_->lines()[0]},
                                              {"XDG_RUNTIME_DIR", runtime_.path().string()},
                                              {"DISPLAY", ""},
                                              {"WAYLAND_DISPLAY", ""}});
    }

    std::unique_ptr<PipedProcess> startPlayer(const std::string& name,
                                              const std::string& desktopEntry = "") {
        std::vector<std::string> argv = {"/usr/bin/python3",
                                         ORLET_SOURCE_DIR "/tests/support/mpris_test_player.py",
                                         "--name", name};
        if (!desktopEntry.empty()) {
            argv.insert(argv.end(), {"--desktop-entry", desktopEntry});
        }
        auto player = std::make_unique<PipedProcess>(argv, environment_);
        EXPECT_TRUE(player->waitForLines(1)) << player->err();
        EXPECT_EQ(player->lines().at(0), "{\"ready\":true}");
        return player;
    }

    std::unique_ptr<PipedProcess> startHelper() {
        auto helper = std::make_unique<PipedProcess>(
            std::vector<std::string>{ORLET_MEDIA_HOST_PATH, ORLET_MEDIA_LIBRARY_PATH},
            environment_);
        EXPECT_TRUE(helper->waitForLines(2)) << helper->err();
        EXPECT_EQ(helper->lines().at(0), "{\"type\":\"ready\"}");
        return helper;
    }

    // The first nowPlaying line after `from` that satisfies `matches`.
    static std::optional<json> waitForMessage(const PipedProcess& helper, std::size_t from,
                                              const std::function<bool(const json&)>& matches) {
        std::optional<json> found;
        test::eventually([&] {
            const std::vector<json> messages = parsedLines(helper);
            for (std::size_t index = from; index < messages.size(); ++index) {
                if (matches(messages[index])) {
                    found = messages[index];
                    return true;
                }
            }
            return false;
        });
        return found;
    }

    static std::function<bool(const json&)> titled(const std::string& title, bool playing) {
        return [=](const json& message) {
            return message.value("title", "") == title && message["playing"] == playing;
        };
    }

    // A playing track; its id is the title made a valid object path.
    static std::string playing(const std::string& title, const std::string& extra = "") {
        std::string id = title;
        for (char& c : id) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return R"({"set":{"PlaybackStatus":"Playing","Metadata":{"xesam:title":")" + title +
               R"(","mpris:trackid":"/t/)" + id + "\"" + extra + "}}}";
    }

    test::TemporaryDirectory runtime_;
    std::unique_ptr<PipedProcess> bus_;
    std::map<std::string, std::string> environment_;
};

TEST_F(MediaHelperBusTest, ReadyThenExactlyNothingPlayingWithoutPlayers) {
    const auto helper = startHelper();
    EXPECT_EQ(helper->settle(), 2u);
    EXPECT_EQ(parsedLines(*helper).at(1), nothingPlaying);
}

TEST_F(MediaHelperBusTest, ReportsThePlayerWithAllTwelveKeys) {
    const std::string image = std::string("\x89PNG\r\n\x1a\n\0\x01\x02", 11);
    const auto cover = runtime_.path() / "cover.png";
    std::ofstream(cover, std::ios::binary) << image;
    const auto player = startPlayer("test1", "org.example.Player.desktop");
    player->writeLine(
        R"({"set":{"PlaybackStatus":"Playing","Rate":1.5,"Metadata":{"xesam:title":"T","xesam:artist":["A","B"],"xesam:album":"Al","mpris:length":215000000,"mpris:trackid":"/t/1","mpris:artUrl":")" +
        QUrl::fromLocalFile(QString::fromStdString(cover.string())).toString().toStdString() +
        "\"}}}");
    player->writeLine(R"({"position":12500000})");
    ASSERT_TRUE(test::eventually([&] { return player->lines().size() == 1; }));

    const double before =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    const auto helper = startHelper();
    const std::optional<json> message = waitForMessage(*helper, 1, titled("T", true));
    ASSERT_TRUE(message) << helper->err();
    const std::optional<std::string> processApp =
        ProcessInfo::shared().applicationId(player->pid());
    json expected = {{"type", "nowPlaying"},
                     {"title", "T"},
                     {"artist", "A, B"},
                     {"album", "Al"},
                     {"duration", 215.0},
                     {"elapsed", 12.5},
                     {"rate", 1.5},
                     {"timestamp", (*message)["timestamp"]},
                     {"playing", true},
                     {"bundleID", "org.example.Player"},
                     {"parentBundleID", processApp && *processApp != "org.example.Player"
                                            ? json(*processApp)
                                            : json(nullptr)},
                     {"artworkID", NowPlayingEncoder::artworkID(image)},
                     {"artwork", QByteArray::fromStdString(image).toBase64().toStdString()}};
    EXPECT_EQ(*message, expected);
    const double timestamp = (*message)["timestamp"].get<double>();
    EXPECT_GE(timestamp, before - 1);
    EXPECT_LE(timestamp, before + 60);
}

TEST_F(MediaHelperBusTest, ArtworkIsSentOnceKeptAcrossATrackWithoutItAndResentAfterNothing) {
    const std::string imageA = "image A bytes";
    const std::string urlA =
        "data:image/png;base64," + QByteArray::fromStdString(imageA).toBase64().toStdString();
    const std::string art = R"(,"mpris:artUrl":")" + urlA + "\"";
    const auto player = startPlayer("art");
    const auto helper = startHelper();

    struct Step {
        std::string command;
        std::string title;
        bool playing;
        bool artwork;
        bool nothing = false;
    };
    const Step steps[] = {
        {playing("one", art), "one", true, true},
        {R"({"set":{"PlaybackStatus":"Paused"}})", "one", false, false},
        {playing("two"), "two", true, false},
        {playing("three", art), "three", true, false},
        {R"({"set":{"PlaybackStatus":"Stopped"}})", "", false, false, true},
        {playing("four", art), "four", true, true},
    };
    for (const Step& step : steps) {
        const std::size_t from = helper->settle();
        player->writeLine(step.command);
        const auto message = waitForMessage(*helper, from, [&](const json& m) {
            return step.nothing ? m == nothingPlaying : titled(step.title, step.playing)(m);
        });
        ASSERT_TRUE(message) << step.command;
        EXPECT_EQ(message->contains("artwork"), step.artwork) << step.command;
        if (step.artwork) {
            EXPECT_EQ((*message)["artwork"],
                      QByteArray::fromStdString(imageA).toBase64().toStdString());
        }
        if (step.title == "two") {
            EXPECT_TRUE((*message)["artworkID"].is_null());
        } else if (!step.nothing) {
            EXPECT_EQ((*message)["artworkID"], NowPlayingEncoder::artworkID(imageA));
        }
    }
}

TEST_F(MediaHelperBusTest, ABurstOfChangesGivesOneLine) {
    const auto player = startPlayer("burst");
    const auto helper = startHelper();
    player->writeLine(playing("first"));
    ASSERT_TRUE(waitForMessage(*helper, 1, titled("first", true)));
    const std::size_t before = helper->settle();

    std::string burst;
    for (int index = 0; index < 20; ++index) {
        burst += playing("burst" + std::to_string(index)) + "\n";
    }
    burst.pop_back();
    player->writeLine(burst);
    ASSERT_TRUE(waitForMessage(*helper, before, titled("burst19", true)));
    EXPECT_EQ(helper->settle(), before + 1);
}

TEST_F(MediaHelperBusTest, CommandsReachTheChosenPlayer) {
    const auto player = startPlayer("commands");
    const auto helper = startHelper();
    player->writeLine(playing("1"));
    ASSERT_TRUE(waitForMessage(*helper, 1, titled("1", true)));
    const std::size_t before = helper->settle();

    for (const char* line : {"  pause  ", "Pause", "seek 42.5", "seek x", "seek", "toggle", "next",
                             "previous", "play", "refresh", "stop"}) {
        helper->writeLine(line);
    }
    const std::vector<std::string> expected = {R"({"call":"Pause"})",
                                               R"({"call":"SetPosition","args":["/t/1",42500000]})",
                                               R"({"call":"SetPosition","args":["/t/1",0]})",
                                               R"({"call":"PlayPause"})",
                                               R"({"call":"Next"})",
                                               R"({"call":"Previous"})",
                                               R"({"call":"Play"})"};
    ASSERT_TRUE(player->waitForLines(1 + expected.size()));
    EXPECT_EQ(player->settle(), 1 + expected.size());
    const std::vector<std::string> calls = player->lines();
    EXPECT_EQ(std::vector<std::string>(calls.begin() + 1, calls.end()), expected);
    // The commands' refreshes, collapsed.
    EXPECT_GE(helper->settle(), before + 1);

    // Without a track id a seek is a jump relative to the position now.
    player->writeLine(R"({"set":{"Metadata":{"xesam:title":"no id"}}})");
    player->writeLine(R"({"position":10000000})");
    ASSERT_TRUE(waitForMessage(*helper, before, titled("no id", true)));
    helper->writeLine("seek 12.5");
    // mpv reports its position behind its audio buffer, a fraction of a second short.
    ASSERT_TRUE(player->waitForLines(2 + expected.size()));
    EXPECT_EQ(player->lines().back(), R"({"call":"Seek","args":[2500000]})");
}

TEST_F(MediaHelperBusTest, APausedPlayerNeverStealsAndTheNewestPlayingWins) {
    const auto a = startPlayer("a", "org.example.A");
    const auto helper = startHelper();
    a->writeLine(playing("song a"));
    ASSERT_TRUE(waitForMessage(*helper, 1, titled("song a", true)));

    auto b = startPlayer("b", "org.example.B");
    b->writeLine(R"({"set":{"PlaybackStatus":"Paused","Metadata":{"xesam:title":"song b"}}})");
    std::size_t from = helper->settle();
    for (const json& message : parsedLines(*helper)) {
        EXPECT_NE(message.value("title", ""), "song b");
    }

    b->writeLine(playing("song b"));
    ASSERT_TRUE(waitForMessage(*helper, from, titled("song b", true)));
    from = helper->settle();
    EXPECT_EQ(parsedLines(*helper).back()["bundleID"], "org.example.B");

    // b leaves: a, still playing, is what plays.
    b->closeInput();
    ASSERT_EQ(b->waitForExit(), 0);
    const auto afterB = waitForMessage(*helper, from, titled("song a", true));
    ASSERT_TRUE(afterB);
    EXPECT_EQ((*afterB)["bundleID"], "org.example.A");

    from = helper->settle();
    a->closeInput();
    ASSERT_EQ(a->waitForExit(), 0);
    EXPECT_TRUE(waitForMessage(*helper, from, [](const json& m) { return m == nothingPlaying; }));
}

TEST_F(MediaHelperBusTest, AKilledPlayerIsNothingPlaying) {
    const auto player = startPlayer("killed");
    const auto helper = startHelper();
    player->writeLine(playing("gone soon"));
    ASSERT_TRUE(waitForMessage(*helper, 1, titled("gone soon", true)));
    const std::size_t from = helper->settle();
    player->kill(SIGKILL);
    ASSERT_TRUE(player->waitForExit());
    EXPECT_TRUE(waitForMessage(*helper, from, [](const json& m) { return m == nothingPlaying; }));
    EXPECT_EQ(parsedLines(*helper).back(), nothingPlaying);
}

TEST_F(MediaHelperBusTest, EndOfInputEndsTheHelperWithStatusZero) {
    const auto helper = startHelper();
    helper->writeLine("refresh");
    helper->closeInput();
    EXPECT_EQ(helper->waitForExit(), 0);
}

TEST_F(MediaHelperBusTest, WithoutASessionBusAnErrorLineAndStatusTwo) {
    environment_["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + (runtime_.path() / "none").string();
    PipedProcess helper({ORLET_MEDIA_HOST_PATH, ORLET_MEDIA_LIBRARY_PATH}, environment_);
    EXPECT_EQ(helper.waitForExit(), 2);
    helper.settle(100ms);
    ASSERT_EQ(helper.lines().size(), 1u) << helper.err();
    EXPECT_EQ(json::parse(helper.lines()[0]),
              (json{{"type", "error"}, {"message", "D-Bus session bus not reachable"}}));
}

TEST_F(MediaHelperBusTest, TheHostSaysWhyItCannotLoadTheLibrary) {
    PipedProcess host({ORLET_MEDIA_HOST_PATH, (runtime_.path() / "missing.so").string()},
                      environment_);
    EXPECT_EQ(host.waitForExit(), 2);
    EXPECT_TRUE(
        test::eventually([&] { return host.err().find("cannot load") != std::string::npos; }));
    EXPECT_TRUE(host.lines().empty());
}

// ---- against mpv with its MPRIS plugin, cross-checked with playerctl ----

const char* const mprisPlugin = "/usr/lib/mpv-mpris/mpris.so";

// A seekable two-minute sine tone, 8 kHz mono unsigned 8-bit.
void writeTone(const std::filesystem::path& path) {
    const std::uint32_t rate = 8000;
    const std::uint32_t samples = rate * 120;
    std::string data(samples, '\0');
    for (std::uint32_t index = 0; index < samples; ++index) {
        data[index] = static_cast<char>(128 + 60 * std::sin(2 * M_PI * 440 * index / rate));
    }
    const auto u32 = [](std::uint32_t value) {
        return std::string{static_cast<char>(value), static_cast<char>(value >> 8),
                           static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
    };
    const auto u16 = [](std::uint16_t value) {
        return std::string{static_cast<char>(value), static_cast<char>(value >> 8)};
    };
    std::ofstream(path, std::ios::binary)
        << "RIFF" << u32(36 + samples) << "WAVEfmt " << u32(16) << u16(1) << u16(1) << u32(rate)
        << u32(rate) << u16(1) << u16(8) << "data" << u32(samples) << data;
}

class MediaHelperMpvTest : public MediaHelperBusTest {
protected:
    void SetUp() override {
        if (::access("/usr/bin/mpv", X_OK) != 0 || ::access(mprisPlugin, R_OK) != 0) {
            GTEST_SKIP() << "mpv with its MPRIS plugin is not installed";
        }
        MediaHelperBusTest::SetUp();
        writeTone(runtime_.path() / "tone.wav");
        mpv_ = std::make_unique<PipedProcess>(
            std::vector<std::string>{
                "mpv", "--no-config", "--really-quiet", "--idle=no", "--vo=null", "--ao=null",
                "--hr-seek=yes", std::string("--script=") + mprisPlugin,
                "--force-media-title=Orlet Tone", (runtime_.path() / "tone.wav").string()},
            environment_);
        ASSERT_TRUE(test::eventually([&] { return playerctl({"status"}) == "Playing"; }))
            << mpv_->err();
    }

    std::string playerctl(const std::vector<std::string>& arguments) const {
        std::vector<std::string> argv = {"playerctl", "-p", "mpv"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::string out = test::ChildProcess::run(argv, environment_).out;
        while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) {
            out.pop_back();
        }
        return out;
    }

    double playerctlPosition() const { return std::stod(playerctl({"position"})); }

    // Where the helper's message puts the player now.
    static double positionNow(const json& message) {
        const double now =
            std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        const double elapsed = message["elapsed"].get<double>();
        return message["playing"].get<bool>()
                   ? elapsed +
                         (now - message["timestamp"].get<double>()) * message["rate"].get<double>()
                   : elapsed;
    }

    std::unique_ptr<PipedProcess> mpv_;
};

TEST_F(MediaHelperMpvTest, ReportsWhatPlayerctlSees) {
    const auto helper = startHelper();
    // mpv names the track before it knows its length: wait for the line that has both.
    const auto message = waitForMessage(*helper, 1, [](const json& m) {
        return titled("Orlet Tone", true)(m) && m["duration"].is_number() &&
               m["elapsed"].is_number();
    });
    ASSERT_TRUE(message) << helper->err();
    EXPECT_EQ((*message)["title"], playerctl({"metadata", "--format", "{{title}}"}));
    EXPECT_DOUBLE_EQ((*message)["duration"].get<double>(),
                     std::stod(playerctl({"metadata", "mpris:length"})) / 1e6);
    EXPECT_EQ((*message)["bundleID"], "mpv");
    EXPECT_EQ((*message)["rate"], 1.0);
    EXPECT_TRUE((*message)["artworkID"].is_null());
    EXPECT_NEAR(positionNow(*message), playerctlPosition(), 1.0);
}

TEST_F(MediaHelperMpvTest, PausePlayAndSeekChangeMpv) {
    const auto helper = startHelper();
    ASSERT_TRUE(waitForMessage(*helper, 1, titled("Orlet Tone", true)));

    std::size_t from = helper->settle();
    helper->writeLine("pause");
    EXPECT_TRUE(test::eventually([&] { return playerctl({"status"}) == "Paused"; }));
    const auto paused = waitForMessage(*helper, from, [](const json& m) {
        return titled("Orlet Tone", false)(m) && m["elapsed"].is_number();
    });
    ASSERT_TRUE(paused);
    EXPECT_NEAR((*paused)["elapsed"].get<double>(), playerctlPosition(), 0.2);

    from = helper->settle();
    helper->writeLine("seek 12.5");
    // mpv reports its position behind its audio buffer, a fraction of a second short.
    EXPECT_TRUE(test::eventually([&] { return std::abs(playerctlPosition() - 12.5) < 0.5; }));
    const auto sought = waitForMessage(*helper, from, [](const json& m) {
        return m.contains("elapsed") && std::abs(m["elapsed"].get<double>() - 12.5) < 0.5;
    });
    EXPECT_TRUE(sought);

    from = helper->settle();
    helper->writeLine("play");
    EXPECT_TRUE(test::eventually([&] { return playerctl({"status"}) == "Playing"; }));
    const auto resumed = waitForMessage(*helper, from, titled("Orlet Tone", true));
    ASSERT_TRUE(resumed);
    EXPECT_NEAR(positionNow(*resumed), playerctlPosition(), 1.0);
    EXPECT_GE(playerctlPosition(), 12.0);
}

} // namespace
} // namespace orlet
