#include "Media/NativePlayerState.h"

#include "MediaPrinters.h"
#include "TestNames.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace orlet {
namespace {

using namespace std::chrono_literals;
using PlayerState = NativePlayerState::PlayerState;

const Clock::Date now = Clock::Date(1767225600s);

QVariantMap properties(const char* status, QVariantMap metadata = {},
                       std::optional<QVariant> position = std::nullopt) {
    QVariantMap map{{"PlaybackStatus", QString::fromUtf8(status)},
                    {"Metadata", metadata},
                    {"Volume", 0.5},
                    {"Rate", 1.0}};
    if (position) {
        map.insert("Position", *position);
    }
    return map;
}

NativePlayerState state(PlayerState playerState, std::string title) {
    NativePlayerState result;
    result.bundleID = "org.gnome.Rhythmbox3";
    result.state = playerState;
    result.title = std::move(title);
    result.positionDate = now;
    result.updatedAt = now;
    return result;
}

template <typename Change>
NativePlayerState state(PlayerState s, std::string title, Change change) {
    NativePlayerState result = state(s, std::move(title));
    change(result);
    return result;
}

struct BuildCase {
    const char* sentence;
    QVariantMap properties;
    std::optional<NativePlayerState> expected;
};

class NativePlayerStateBuild : public testing::TestWithParam<BuildCase> {};

TEST_P(NativePlayerStateBuild, FromPlayerProperties) {
    EXPECT_EQ(NativePlayerState::fromProperties("org.gnome.Rhythmbox3", GetParam().properties, now),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NativePlayerStateBuild,
    testing::Values(
        BuildCase{"a full track",
                  properties("Playing", {{"xesam:title", "Song"},
                                         {"xesam:artist", QStringList{"A", "B"}},
                                         {"xesam:album", "Record"},
                                         {"mpris:length", qlonglong(215'000'000)},
                                         {"mpris:trackid", "/t/1"}}),
                  state(PlayerState::playing, "Song",
                        [](NativePlayerState& s) {
                            s.artist = "A, B";
                            s.album = "Record";
                            s.duration = 215;
                        })},
        BuildCase{"a length of 0 is no duration",
                  properties("Paused", {{"xesam:title", "Song"}, {"mpris:length", qlonglong(0)}}),
                  state(PlayerState::paused, "Song")},
        BuildCase{
            "a length of another number type still counts",
            properties("Paused", {{"xesam:title", "Song"}, {"mpris:length", 1.5e6}}),
            state(PlayerState::paused, "Song", [](NativePlayerState& s) { s.duration = 1.5; })},
        BuildCase{
            "an artist sent as one text",
            properties("Paused", {{"xesam:title", "Song"}, {"xesam:artist", "Solo"}}),
            state(PlayerState::paused, "Song", [](NativePlayerState& s) { s.artist = "Solo"; })},
        BuildCase{"empty artist list and album are absent",
                  properties("Paused", {{"xesam:title", "Song"},
                                        {"xesam:artist", QStringList{}},
                                        {"xesam:album", ""}}),
                  state(PlayerState::paused, "Song")},
        BuildCase{
            "a measured position in microseconds",
            properties("Paused", {{"xesam:title", "Song"}}, qlonglong(12'500'000)),
            state(PlayerState::paused, "Song", [](NativePlayerState& s) { s.position = 12.5; })},
        BuildCase{"stopped without a title", properties("Stopped"),
                  state(PlayerState::stopped, "")},
        BuildCase{"playing without a title fails", properties("Playing"), std::nullopt},
        BuildCase{"paused with a title that is not text fails",
                  properties("Paused", {{"xesam:title", 7}}), std::nullopt},
        BuildCase{"an unknown state fails", properties("Buffering", {{"xesam:title", "Song"}}),
                  std::nullopt},
        BuildCase{"no state fails", QVariantMap{{"Metadata", QVariantMap{{"xesam:title", "S"}}}},
                  std::nullopt}),
    test::SentenceName());

TEST(NativePlayerState, InfoCarriesTheTrackAtRateOne) {
    const NativePlayerState native = state(PlayerState::playing, "Song", [](NativePlayerState& s) {
        s.artist = "Band";
        s.duration = 200;
        s.position = 30;
        s.positionDate = now - 5s;
    });
    NowPlayingInfo expected;
    expected.title = "Song";
    expected.artist = "Band";
    expected.duration = 200;
    expected.elapsed = 30;
    expected.timestamp = now - 5s;
    expected.rate = 1;
    expected.isPlaying = true;
    expected.appBundleID = "org.gnome.Rhythmbox3";
    EXPECT_EQ(native.info(), expected);
    EXPECT_EQ(native.info().position(now), 35);
}

// The preference rule -----------------------------------------------------------------------------

struct PreferenceCase {
    const char* sentence;
    std::optional<PlayerState> native; // none: no native state
    std::optional<bool> remotePlaying; // none: no remote info
    std::optional<std::string> remoteApp;
    Clock::Date nativeUpdated;
    Clock::Date remoteChanged;
    bool prefersNative;
};

class NativePreference : public testing::TestWithParam<PreferenceCase> {};

TEST_P(NativePreference, FirstMatchingRuleWins) {
    const PreferenceCase& c = GetParam();
    std::optional<NativePlayerState> native;
    if (c.native) {
        native = state(*c.native, *c.native == PlayerState::stopped ? "" : "Native");
        native->updatedAt = c.nativeUpdated;
    }
    std::optional<NowPlayingInfo> remote;
    if (c.remotePlaying) {
        remote = NowPlayingInfo{};
        remote->title = "Remote";
        remote->isPlaying = *c.remotePlaying;
        remote->appBundleID = c.remoteApp;
    }
    EXPECT_EQ(NativePlayerState::prefersNative(native, remote, c.remoteChanged), c.prefersNative);
}

const Clock::Date earlier = now - 10s;

INSTANTIATE_TEST_SUITE_P(
    Rules, NativePreference,
    testing::Values(
        PreferenceCase{
            "no native state shows the helper", std::nullopt, true, {}, now, earlier, false},
        PreferenceCase{"no native state and no helper info",
                       std::nullopt,
                       std::nullopt,
                       {},
                       now,
                       earlier,
                       false},
        PreferenceCase{"a stopped native player shows the helper",
                       PlayerState::stopped,
                       std::nullopt,
                       {},
                       now,
                       earlier,
                       false},
        PreferenceCase{"no helper info shows the native player",
                       PlayerState::paused,
                       std::nullopt,
                       {},
                       earlier,
                       now,
                       true},
        PreferenceCase{"the helper reporting the same player wins", PlayerState::playing, false,
                       "org.gnome.Rhythmbox3", now, earlier, false},
        PreferenceCase{"native playing beats a paused helper that changed later",
                       PlayerState::playing, false, "firefox", earlier, now, true},
        PreferenceCase{"native paused loses to a playing helper that changed earlier",
                       PlayerState::paused, true, "firefox", now, earlier, false},
        PreferenceCase{"both playing: the native player changed later", PlayerState::playing, true,
                       "firefox", now, earlier, true},
        PreferenceCase{"both playing: the helper changed later", PlayerState::playing, true,
                       "firefox", earlier, now, false},
        PreferenceCase{"both paused: a tie goes to the helper", PlayerState::paused, false,
                       std::nullopt, now, now, false},
        PreferenceCase{"both paused: the native player changed later", PlayerState::paused, false,
                       std::nullopt, now, earlier, true}),
    test::SentenceName());

} // namespace
} // namespace orlet
