#include "Media/HelperMessage.h"

#include "MediaPrinters.h"
#include "TestNames.h"

#include <gtest/gtest.h>

namespace orlet {
namespace {

using namespace std::chrono_literals;

TEST(HelperMessageDecode, ReadsEveryKeyOfAFullLine) {
    const auto message = HelperMessage::decode(
        R"({"type":"nowPlaying","title":"Song","artist":"Band","album":"Record","duration":215.5,)"
        R"("elapsed":12.25,"rate":1,"timestamp":1767225600.5,"playing":true,"bundleID":"firefox",)"
        R"("parentBundleID":null,"artworkID":"3-abc","artwork":"AAEC","message":"m"})");
    ASSERT_TRUE(message);
    HelperMessage expected;
    expected.type = "nowPlaying";
    expected.message = "m";
    expected.title = "Song";
    expected.artist = "Band";
    expected.album = "Record";
    expected.duration = 215.5;
    expected.elapsed = 12.25;
    expected.rate = 1;
    expected.timestamp = 1767225600.5;
    expected.playing = true;
    expected.bundleID = "firefox";
    expected.artworkID = "3-abc";
    expected.artwork = "AAEC";
    EXPECT_EQ(*message, expected);
}

TEST(HelperMessageDecode, KeysOfTheWrongTypeReadAsAbsent) {
    const auto message = HelperMessage::decode(
        R"({"type":"nowPlaying","title":5,"artist":["a"],"duration":"215","playing":1})");
    ASSERT_TRUE(message);
    EXPECT_EQ(message->title, std::nullopt);
    EXPECT_EQ(message->artist, std::nullopt);
    EXPECT_EQ(message->duration, std::nullopt);
    EXPECT_EQ(message->playing, std::nullopt);
}

TEST(HelperMessageDecode, LinesThatAreNotMessagesDecodeToNothing) {
    for (const char* line : {"", "not json", "[1,2]", "\"ready\"", R"({"title":"x"})",
                             R"({"type":1})", R"({"type":"ready")"}) {
        EXPECT_EQ(HelperMessage::decode(line), std::nullopt) << line;
    }
}

struct InfoCase {
    const char* sentence;
    const char* line;
    std::optional<NowPlayingInfo> expected;
};

NowPlayingInfo song() {
    NowPlayingInfo info;
    info.title = "Song";
    return info;
}

template <typename Change> NowPlayingInfo song(Change change) {
    NowPlayingInfo info = song();
    change(info);
    return info;
}

class HelperMessageInfo : public testing::TestWithParam<InfoCase> {};

TEST_P(HelperMessageInfo, DerivesWhatIsPlaying) {
    const auto message = HelperMessage::decode(GetParam().line);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->info(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HelperMessageInfo,
    testing::Values(
        InfoCase{"nothing playing", R"({"type":"nowPlaying","playing":false})", std::nullopt},
        InfoCase{"an empty title is nothing", R"({"type":"nowPlaying","title":""})", std::nullopt},
        InfoCase{"only nowPlaying carries info", R"({"type":"ready","title":"Song"})",
                 std::nullopt},
        InfoCase{"defaults: rate 1, not playing", R"({"type":"nowPlaying","title":"Song"})",
                 song()},
        InfoCase{"empty artist and album are absent",
                 R"({"type":"nowPlaying","title":"Song","artist":"","album":""})", song()},
        InfoCase{"duration only when positive",
                 R"({"type":"nowPlaying","title":"Song","duration":0,"elapsed":-1})",
                 song([](NowPlayingInfo& i) { i.elapsed = -1; })},
        InfoCase{"the hosting application wins over the player",
                 R"({"type":"nowPlaying","title":"Song","bundleID":"a","parentBundleID":"b"})",
                 song([](NowPlayingInfo& i) { i.appBundleID = "b"; })},
        InfoCase{"the player when there is no host",
                 R"({"type":"nowPlaying","title":"Song","bundleID":"a","parentBundleID":null})",
                 song([](NowPlayingInfo& i) { i.appBundleID = "a"; })},
        InfoCase{"every value carried over",
                 R"({"type":"nowPlaying","title":"Song","artist":"Band","album":"Record",)"
                 R"("duration":200,"elapsed":12.5,"rate":0.5,"timestamp":1767225600.25,)"
                 R"("playing":true,"artworkID":"9-ff"})",
                 song([](NowPlayingInfo& i) {
                     i.artist = "Band";
                     i.album = "Record";
                     i.duration = 200;
                     i.elapsed = 12.5;
                     i.rate = 0.5;
                     i.timestamp = Clock::Date(1767225600s + 250ms);
                     i.isPlaying = true;
                     i.artworkID = "9-ff";
                 })}),
    test::SentenceName());

} // namespace
} // namespace orlet
