#include "Media/MprisNativePlayers.h"

#include "LoopbackHttpServer.h"
#include "MediaPeers.h"
#include "MediaPrinters.h"
#include "Platform/ManualClock.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"

#include <QBuffer>
#include <QDBusMessage>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace orlet {
namespace {

using namespace std::chrono_literals;
using PlayerState = NativePlayerState::PlayerState;
using test::Peer;

const std::string rhythmbox = NativePlayers::musicBundleID;

// MprisNativePlayers on a private bus with the scriptable test player as Rhythmbox.
class MprisNativePlayersTest : public testing::Test {
protected:
    void SetUp() override {
        if (bus_.address().isEmpty()) {
            GTEST_SKIP() << "dbus-daemon did not start";
        }
        connection_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(bus_.address(), connectionName));
        ASSERT_TRUE(connection_->isConnected());
        players = std::make_unique<MprisNativePlayers>(*connection_, clock);
        players->onChange = [this](const NativePlayerState& state) { states.push_back(state); };
        players->onQuit = [this](const std::string& bundleID) { quits.push_back(bundleID); };
    }

    void TearDown() override {
        players.reset();
        player.reset();
        connection_.reset();
        QDBusConnection::disconnectFromBus(connectionName);
    }

    void startPlayer() {
        player = std::make_unique<Peer>(
            QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral(ORLET_SOURCE_DIR "/tests/support/mpris_test_player.py"),
                        QStringLiteral("--name"), QStringLiteral("rhythmbox"),
                        QStringLiteral("--desktop-entry"), QStringLiteral("rhythmbox")},
            bus_.environment());
        ASSERT_TRUE(player->waitForOut(R"({"ready":true})")) << player->out().toStdString();
    }

    // Starts watching with the player present and waits for its first state.
    void startBoth() {
        startPlayer();
        players->start();
        ASSERT_TRUE(test::processUntil([&] { return !states.empty(); }));
    }

    // Sends a change and waits for the state it causes.
    void set(const QByteArray& json) {
        const std::size_t before = states.size();
        player->write(R"({"set":)" + json + "}");
        ASSERT_TRUE(test::processUntil([&] { return states.size() > before; })) << json.data();
    }

    std::pair<std::optional<double>, std::optional<QByteArray>> details() {
        std::optional<std::pair<std::optional<double>, std::optional<QByteArray>>> answer;
        players->fetchMusicDetails(
            [&](std::optional<double> position, std::optional<QByteArray> artwork) {
                answer.emplace(position, std::move(artwork));
            });
        EXPECT_TRUE(test::processUntil([&] { return answer.has_value(); }));
        return answer.value_or(std::make_pair(std::nullopt, std::nullopt));
    }

    // Everything the bus sent before this answer has been delivered afterwards: the player's
    // last signals and the bus's note that it left come before the reply.
    void roundTrip() {
        connection_->call(QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
        QCoreApplication::processEvents();
    }

    static constexpr const char* connectionName = "orlet-native-players-test";
    test::PrivateBus bus_;
    std::unique_ptr<QDBusConnection> connection_;
    ManualClock clock;
    std::unique_ptr<MprisNativePlayers> players;
    std::unique_ptr<Peer> player;
    std::vector<NativePlayerState> states;
    std::vector<std::string> quits;
};

TEST_F(MprisNativePlayersTest, PropertyChangesBecomeStates) {
    startBoth();
    // The first state comes from all properties, read when the name was found.
    EXPECT_EQ(states[0].bundleID, rhythmbox);
    EXPECT_EQ(states[0].state, PlayerState::stopped);
    EXPECT_EQ(states[0].position, 0.0) << "read together with the other properties";

    set(R"({"PlaybackStatus":"Playing","Metadata":{"xesam:title":"Song",)"
        R"("xesam:artist":["A","B"],"xesam:album":"Record","mpris:length":215000000,)"
        R"("mpris:trackid":"/t/1"}})");
    NativePlayerState expected;
    expected.bundleID = rhythmbox;
    expected.state = PlayerState::playing;
    expected.title = "Song";
    expected.artist = "A, B";
    expected.album = "Record";
    expected.duration = 215;
    expected.positionDate = clock.date();
    expected.updatedAt = clock.date();
    EXPECT_EQ(states.back(), expected);

    // A volume change says nothing about the track: the next state is the pause itself,
    // with the track kept from before.
    player->write(R"({"set":{"Volume":0.25}})");
    set(R"({"PlaybackStatus":"Paused"})");
    expected.state = PlayerState::paused;
    EXPECT_EQ(states.size(), 3u);
    EXPECT_EQ(states.back(), expected);

    const std::size_t before = states.size();
    player->write(R"({"seeked":12500000})");
    ASSERT_TRUE(test::processUntil([&] { return states.size() > before; }));
    expected.position = 12.5;
    EXPECT_EQ(states.back(), expected);

    // A player state without a title while playing is no usable state.
    player->write(R"({"set":{"Metadata":{}}})");
    set(R"({"PlaybackStatus":"Stopped"})");
    EXPECT_EQ(states.back().state, PlayerState::stopped);
    EXPECT_EQ(states.size(), 5u);
}

TEST_F(MprisNativePlayersTest, CommandsAndSeeksAreMethodCalls) {
    startBoth();
    set(R"({"PlaybackStatus":"Playing","Metadata":{"xesam:title":"Song","mpris:trackid":"/t/1"}})");
    const struct {
        MediaCommand command;
        const char* call;
    } commands[] = {{MediaCommand::play, "Play"},
                    {MediaCommand::pause, "Pause"},
                    {MediaCommand::toggle, "PlayPause"},
                    {MediaCommand::next, "Next"},
                    {MediaCommand::previous, "Previous"}};
    for (const auto& command : commands) {
        players->send(command.command, rhythmbox);
        EXPECT_TRUE(player->waitForOut(QByteArray(R"({"call":")") + command.call + "\"}"))
            << command.call;
    }
    players->seek(42.5, rhythmbox);
    EXPECT_TRUE(player->waitForOut(R"({"call":"SetPosition","args":["/t/1",42500000]})"));
    players->seek(-5, rhythmbox);
    EXPECT_TRUE(player->waitForOut(R"({"call":"SetPosition","args":["/t/1",0]})"));

    // Without a track id: a relative jump from where the player says it is.
    // The position first: the state that follows shows the player has read both.
    player->write(R"({"position":10000000})");
    set(R"({"Metadata":{"xesam:title":"Stream"}})");
    players->seek(4, rhythmbox);
    EXPECT_TRUE(player->waitForOut(R"({"call":"Seek","args":[-6000000]})"))
        << player->out().toStdString();
}

TEST_F(MprisNativePlayersTest, APlayerThatAppearsLaterIsFollowedUntilItQuits) {
    players->start();
    startPlayer();
    ASSERT_TRUE(test::processUntil([&] { return !states.empty(); }));
    set(R"({"PlaybackStatus":"Paused","Metadata":{"xesam:title":"Song",)"
        R"("mpris:artUrl":"data:image/png;base64,AAEC"}})");
    player->write(R"({"quit":true})");
    ASSERT_TRUE(test::processUntil([&] { return !quits.empty(); }));
    EXPECT_EQ(quits, std::vector<std::string>{rhythmbox});
    // Gone: nothing to ask, and nothing remembered of it.
    const auto [position, artwork] = details();
    EXPECT_EQ(position, std::nullopt);
    EXPECT_EQ(artwork, std::nullopt);
}

TEST_F(MprisNativePlayersTest, StoppedPlayersReportNothing) {
    startBoth();
    players->stop();
    player->write(R"({"set":{"PlaybackStatus":"Playing","Metadata":{"xesam:title":"Song"}}})");
    player->write(R"({"quit":true})");
    ASSERT_TRUE(
        test::processUntil([&] { return player->process().state() == QProcess::NotRunning; }));
    roundTrip();
    EXPECT_EQ(states.size(), 1u);
    EXPECT_TRUE(quits.empty());
}

// The details query -------------------------------------------------------------------------------

QByteArray pngBytes() {
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::green);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

TEST_F(MprisNativePlayersTest, DetailsBringThePositionAndTheArtworkBytes) {
    test::TemporaryDirectory directory;
    const QByteArray bytes = pngBytes();
    const QString file = QString::fromStdString((directory.path() / "cover art.png").string());
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }
    test::LoopbackHttpServer server;
    server.route("/art.png", {200, bytes, "image/png", false, false});
    server.route("/empty.png", {200, {}, "image/png", false, false});

    const struct {
        const char* sentence;
        QString url;
        std::optional<QByteArray> expected;
    } cases[] = {
        {"a local file", QUrl::fromLocalFile(file).toString(), bytes},
        {"a data URL", "data:image/png;base64," + QString::fromLatin1(bytes.toBase64()), bytes},
        {"over HTTP", server.url().toString() + "/art.png", bytes},
        {"HTTP not found", server.url().toString() + "/missing.png", std::nullopt},
        {"HTTP with no bytes", server.url().toString() + "/empty.png", std::nullopt},
        {"a missing file", "file:///nonexistent/orlet/art.png", std::nullopt},
        {"a scheme nobody reads", "ftp://example.invalid/art.png", std::nullopt},
        {"no artwork", QString(), std::nullopt},
    };
    startBoth();
    player->write(R"({"position":12500000})");
    int track = 0;
    for (const auto& c : cases) {
        QJsonObject metadata{{"xesam:title", QString("Track %1").arg(++track)}};
        if (!c.url.isEmpty()) {
            metadata.insert("mpris:artUrl", c.url);
        }
        set(R"({"PlaybackStatus":"Playing","Metadata":)" +
            QJsonDocument(metadata).toJson(QJsonDocument::Compact) + "}");
        const auto [position, artwork] = details();
        EXPECT_EQ(position, 12.5) << c.sentence;
        EXPECT_EQ(artwork, c.expected) << c.sentence;
    }
}

TEST_F(MprisNativePlayersTest, ArtworkThatTakesTooLongIsGivenUp) {
    test::LoopbackHttpServer server;
    server.route("/slow.png", test::LoopbackHttpServer::held());
    startBoth();
    set(R"({"PlaybackStatus":"Playing","Metadata":{"xesam:title":"Song","mpris:artUrl":")" +
        server.url().toString().toUtf8() + R"(/slow.png"}})");
    std::optional<std::pair<std::optional<double>, std::optional<QByteArray>>> answer;
    players->fetchMusicDetails(
        [&](std::optional<double> position, std::optional<QByteArray> artwork) {
            answer.emplace(position, std::move(artwork));
        });
    ASSERT_TRUE(test::processUntil([&] { return !server.requests("/slow.png").empty(); }));
    clock.advance(MprisNativePlayers::artworkTimeout - 1ms);
    QCoreApplication::processEvents();
    EXPECT_FALSE(answer);
    clock.advance(1ms);
    ASSERT_TRUE(test::processUntil([&] { return answer.has_value(); }));
    EXPECT_EQ(answer->first, 0.0);
    EXPECT_EQ(answer->second, std::nullopt);
}

} // namespace
} // namespace orlet
