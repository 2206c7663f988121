#include "LoopbackHttpServer.h"
#include "Media/LRC.h"
#include "Media/LRCLib.h"
#include "Media/LyricsQuery.h"
#include "QtTestSupport.h"
#include "TestNames.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>

namespace orlet {

void PrintTo(const LyricLine& line, std::ostream* out) {
    *out << "{" << line.time << ", \"" << line.text << "\"}";
}

void PrintTo(const LyricsState& state, std::ostream* out) {
    *out << "state " << static_cast<int>(state.kind()) << " with " << state.lines().size()
         << " lines";
}

namespace {

using test::LoopbackHttpServer;
using test::SentenceName;
using Record = LRCLib::Record;
using Case = LyricsState::Case;

QByteArray fixture(const char* name) {
    QFile file(QStringLiteral(ORLET_SOURCE_DIR "/tests/Media/fixtures/lrclib/") +
               QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

// ---- LRC ----

struct ParseCase {
    const char* sentence;
    const char* text;
    std::vector<LyricLine> lines;
};

class LRCParse : public testing::TestWithParam<ParseCase> {};

TEST_P(LRCParse, YieldsTimedLines) {
    EXPECT_EQ(LRC::parse(GetParam().text), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Lyrics, LRCParse,
    testing::Values(
        ParseCase{"two stamps give two lines with one text",
                  "[00:12.00][01:30.5]Chorus",
                  {{12.0, "Chorus"}, {90.5, "Chorus"}}},
        ParseCase{"a metadata tag gives nothing", "[ar:Someone]", {}},
        ParseCase{"a stamp alone gives an empty line", "[00:05.00]", {{5.0, ""}}},
        ParseCase{"three pieces are no stamp", "[00:01:02]words", {}},
        ParseCase{"offsets are ignored, not applied", "[offset:+500]\n[00:01.00]a", {{1.0, "a"}}},
        ParseCase{"tags before a stamp are removed", "[ar:x][00:03]y", {{3.0, "y"}}},
        ParseCase{"fractions in the minutes count", "[0.5:01]half", {{31.0, "half"}}},
        ParseCase{"empty pieces of a tag are dropped", "[:00:07]x", {{7.0, "x"}}},
        ParseCase{"sorted by time, equal times in order",
                  "[00:02]b\n[00:01]a\n[00:01]c",
                  {{1.0, "a"}, {1.0, "c"}, {2.0, "b"}}},
        ParseCase{"every kind of line break splits, empty lines dropped",
                  "[00:01]a\r\n\r\n[00:02]b\u2028[00:03]c\u0085[00:04]d\f[00:05]e\u2029[00:06]f",
                  {{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}, {5, "e"}, {6, "f"}}},
        ParseCase{"the text is trimmed of blanks and tabs",
                  "[00:01] \t hello world\t ",
                  {{1.0, "hello world"}}},
        ParseCase{"a tag without its bracket ends the tags",
                  "[00:01][00:02 oops",
                  {{1.0, "[00:02 oops"}}},
        ParseCase{"blanks inside a number make no stamp", "[00: 05]x\n[ 00:05]y", {}},
        ParseCase{
            "signs are numbers, doubled signs are not", "[+00:-01]a\n[+-1:00]b", {{-1.0, "a"}}},
        ParseCase{"infinite and undefined times are refused",
                  "[nan:00]x\n[inf:00]y\n[1e308:00]z\n[00:01]ok",
                  {{1.0, "ok"}}},
        ParseCase{"a stamp after the text is text", "words [00:01]", {}},
        ParseCase{"a blank before the second stamp keeps it as text",
                  "[00:01] [00:02]x",
                  {{1.0, "[00:02]x"}}}),
    SentenceName());

TEST(LRCParse, ReadsTheRecordedSyncedLyrics) {
    const QJsonObject record = QJsonDocument::fromJson(fixture("get-found.json")).object();
    const std::vector<LyricLine> lines =
        LRC::parse(record.value("syncedLyrics").toString().toStdString());
    ASSERT_EQ(lines.size(), 47u);
    EXPECT_EQ(lines.front(), (LyricLine{17.12, "I feel your breath upon my neck"}));
    EXPECT_EQ(lines.back(), (LyricLine{205.72, ""}));
}

struct IndexCase {
    const char* sentence;
    std::vector<LyricLine> lines;
    double position;
    std::optional<std::size_t> index;
};

class LRCIndex : public testing::TestWithParam<IndexCase> {};

TEST_P(LRCIndex, FindsTheLastLineAtOrBefore) {
    EXPECT_EQ(LRC::index(GetParam().position, GetParam().lines), GetParam().index);
}

const std::vector<LyricLine> threeLines{{5, "a"}, {10, "b"}, {15, "c"}};

INSTANTIATE_TEST_SUITE_P(
    Lyrics, LRCIndex,
    testing::Values(
        IndexCase{"no lines, no line", {}, 3, std::nullopt},
        IndexCase{"before the first line, none", threeLines, 4.999, std::nullopt},
        IndexCase{"exactly at a line's time, that line", threeLines, 10, 1},
        IndexCase{"between lines, the earlier", threeLines, 14.99, 1},
        IndexCase{"after the last, the last", threeLines, 1e9, 2},
        IndexCase{"equal times, the last of them", {{1, "a"}, {2, "b"}, {2, "c"}, {3, "d"}}, 2, 2}),
    SentenceName());

// ---- Query ----

struct CleanCase {
    const char* sentence;
    const char* text;
    const char* cleaned;
};

class LyricsClean : public testing::TestWithParam<CleanCase> {};

TEST_P(LyricsClean, DropsDecorations) {
    EXPECT_EQ(LyricsQuery::clean(GetParam().text), GetParam().cleaned);
}

INSTANTIATE_TEST_SUITE_P(
    Lyrics, LyricsClean,
    testing::Values(CleanCase{"a live and a remaster tag go",
                              "Song (Live at Wembley) [Remastered 2011]", "Song"},
                    CleanCase{"a featuring stays", "Song (feat. X)", "Song (feat. X)"},
                    CleanCase{"a channel after a bar goes", "Song | Topic", "Song"},
                    CleanCase{"only the first bar counts", "A | B | C", "A"},
                    CleanCase{"a bar without blanks stays", "AC|DC", "AC|DC"},
                    CleanCase{"words match in any case", "Song (OFFICIAL MUSIC VIDEO)", "Song"},
                    CleanCase{"words match inside other words", "Song (Alive Mix) [4K60]", "Song"},
                    CleanCase{"decorations go from the last one back",
                              "Song (feat. X) (Official Video) (HD)", "Song (feat. X)"},
                    CleanCase{"a kept pair stops that bracket kind", "Song (Official) (Demo)",
                              "Song (Official) (Demo)"},
                    CleanCase{"the last opening bracket without a closing one stops",
                              "Song (Video) (", "Song (Video) ("},
                    CleanCase{"nested brackets are seen from the innermost",
                              "Song (Edit (Official Audio))", "Song (Edit )"},
                    CleanCase{"square brackets come after round ones", "Song [MV] (Lyric Video)",
                              "Song"},
                    CleanCase{"blanks and tabs are trimmed", " \tSong\t ", "Song"},
                    CleanCase{"non-ASCII words are lowered too", "Canción (VÍDEO OFICIAL) (Audio)",
                              "Canción (VÍDEO OFICIAL)"}),
    SentenceName());

NowPlayingInfo playingInfo(std::string title, std::optional<std::string> artist = std::nullopt,
                           std::optional<std::string> app = std::nullopt) {
    NowPlayingInfo info;
    info.title = std::move(title);
    info.artist = std::move(artist);
    info.appBundleID = std::move(app);
    return info;
}

struct QueryCase {
    const char* sentence;
    NowPlayingInfo info;
    const char* title;
    std::optional<std::string> artist;
};

class LyricsQueryFromInfo : public testing::TestWithParam<QueryCase> {};

TEST_P(LyricsQueryFromInfo, FindsTitleAndArtist) {
    const LyricsQuery query(GetParam().info);
    EXPECT_EQ(query.title, GetParam().title);
    EXPECT_EQ(query.artist, GetParam().artist);
}

INSTANTIATE_TEST_SUITE_P(
    Lyrics, LyricsQueryFromInfo,
    testing::Values(QueryCase{"a VEVO upload is taken apart",
                              playingInfo("Artist - Song (Official Video)", "ArtistVEVO"), "Song",
                              "Artist"},
                    QueryCase{"a music player's title with an artist stays",
                              playingInfo("A - B", "C", "org.gnome.Rhythmbox3"), "A - B", "C"},
                    QueryCase{"without an artist the title names it", playingInfo("Artist - Song"),
                              "Song", "Artist"},
                    QueryCase{"a browser tab names the artist on Linux",
                              playingInfo("Artist - Song", "Some Channel", "firefox"), "Song",
                              "Artist"},
                    QueryCase{"a browser tab names the artist by bundle identifier",
                              playingInfo("Artist - Song", "Some Channel", "com.google.Chrome"),
                              "Song", "Artist"},
                    QueryCase{"a Flatpak browser counts",
                              playingInfo("Artist - Song", "Channel", "org.chromium.Chromium"),
                              "Song", "Artist"},
                    QueryCase{"an en dash separates when there is no hyphen",
                              playingInfo("Artist \u2013 Song"), "Song", "Artist"},
                    QueryCase{"a hyphen wins over an earlier en dash",
                              playingInfo("A \u2013 B - C"), "C", "A \u2013 B"},
                    QueryCase{"the first hyphen splits", playingInfo("A - B - C"), "B - C", "A"},
                    QueryCase{"a hyphen without blanks does not split", playingInfo("Jay-Z"),
                              "Jay-Z", std::nullopt},
                    QueryCase{"VEVO is dropped from an artist in any case",
                              playingInfo("Song", "ArtistVevo"), "Song", "Artist"},
                    QueryCase{"an artist that is only VEVO becomes empty",
                              playingInfo("Song", "VEVO"), "Song", ""},
                    QueryCase{"the artist is cleaned as well",
                              playingInfo("Song", "Artist (Official)"), "Song", "Artist"}),
    SentenceName());

TEST(LyricsQueryFromInfo, CopiesAlbumAndDurationAndKeysInLowerCase) {
    NowPlayingInfo playing = playingInfo("Ärger (Live)", "BÄND");
    playing.album = "Album";
    playing.duration = 201.5;
    const LyricsQuery query(playing);
    EXPECT_EQ(query.album, "Album");
    EXPECT_EQ(query.duration, 201.5);
    EXPECT_EQ(query.cacheKey(), "ärger|bänd");
    EXPECT_EQ(LyricsQuery(playingInfo("Song")).cacheKey(), "song|");
}

// ---- Choosing a candidate ----

Record candidate(std::optional<double> duration, std::optional<std::string> synced,
                 std::optional<std::string> plain = std::nullopt) {
    return Record{duration, std::move(synced), std::move(plain), std::nullopt};
}

struct PickCase {
    const char* sentence;
    std::vector<Record> candidates;
    std::optional<double> duration;
    LyricsState expected;
};

class LyricsPick : public testing::TestWithParam<PickCase> {};

TEST_P(LyricsPick, ChoosesTheClosestSyncedCandidate) {
    EXPECT_EQ(LRCLib::pick(GetParam().candidates, GetParam().duration), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lyrics, LyricsPick,
    testing::Values(
        PickCase{"ten seconds off is near",
                 {candidate(210, "[00:01]near")},
                 200,
                 LyricsState::synced({{1, "near"}})},
        PickCase{"ten and a half seconds off is not",
                 {candidate(210.5, "[00:01]far", "far")},
                 200,
                 LyricsState::notFound()},
        PickCase{"the closest duration wins",
                 {candidate(208, "[00:01]eight"), candidate(199, "[00:01]one"),
                  candidate(203, "[00:01]three")},
                 200,
                 LyricsState::synced({{1, "one"}})},
        PickCase{"ties keep the service's order",
                 {candidate(202, "[00:01]first"), candidate(198, "[00:01]second")},
                 200,
                 LyricsState::synced({{1, "first"}})},
        PickCase{"a missing duration counts as zero, far from the track's",
                 {candidate(201, "[00:01]timed"), candidate(std::nullopt, "[00:01]untimed")},
                 200,
                 LyricsState::synced({{1, "timed"}})},
        PickCase{"without a query duration everything is near and measured from zero",
                 {candidate(300, "[00:01]long"), candidate(100, "[00:01]short")},
                 std::nullopt,
                 LyricsState::synced({{1, "short"}})},
        PickCase{"empty synced lyrics are no synced candidate",
                 {candidate(200, ""), candidate(205, "[00:01]real")},
                 200,
                 LyricsState::synced({{1, "real"}})},
        PickCase{"only plain lyrics give unsynced",
                 {candidate(200, std::nullopt, "words")},
                 200,
                 LyricsState::unsynced()},
        PickCase{"synced lyrics without stamps fall back to plain ones",
                 {candidate(200, "no stamps here", "words")},
                 200,
                 LyricsState::unsynced()},
        PickCase{"only the closest synced candidate is parsed",
                 {candidate(200, "no stamps"), candidate(201, "[00:01]later")},
                 200,
                 LyricsState::notFound()},
        PickCase{"plain lyrics of a far candidate do not count",
                 {candidate(200, std::nullopt, ""), candidate(250, std::nullopt, "far")},
                 200,
                 LyricsState::notFound()},
        PickCase{"no candidates, not found", {}, 200, LyricsState::notFound()}),
    SentenceName());

// ---- The client against a local server ----

// A running local LRCLIB and a client pointed at it.
class LRCLibClient : public testing::Test {
protected:
    LyricsFetcher::Outcome fetch(const LyricsQuery& query) {
        std::optional<LyricsFetcher::Outcome> outcome;
        const std::unique_ptr<LyricsFetcher::Task> task =
            client.fetch(query, [&](LyricsFetcher::Outcome result) { outcome = result; });
        EXPECT_TRUE(LoopbackHttpServer::waitFor([&] { return outcome.has_value(); }));
        return outcome.value_or(LyricsFailure{"no answer"});
    }

    static LyricsQuery fullQuery() {
        LyricsQuery query;
        query.title = "I Want to Live";
        query.artist = "Borislav Slavov";
        query.album = "Baldur's Gate 3 (Original Game Soundtrack)";
        query.duration = 232.5;
        return query;
    }

    LoopbackHttpServer server;
    LRCLib client{server.url(), std::chrono::milliseconds(300)};
};

const QByteArray getQuery = "album_name=Baldur%27s%20Gate%203%20%28Original%20Game%20Soundtrack%29"
                            "&artist_name=Borislav%20Slavov&duration=233"
                            "&track_name=I%20Want%20to%20Live";
const QByteArray searchQuery = "artist_name=Borislav%20Slavov&track_name=I%20Want%20to%20Live";

QByteArray array(std::initializer_list<QByteArray> records) {
    QByteArray body = "[";
    for (const QByteArray& record : records) {
        body += (body.size() > 1 ? "," : "") + record.trimmed();
    }
    return body + "]";
}

struct ClientCase {
    const char* sentence;
    std::optional<LoopbackHttpServer::Response> get;
    std::optional<LoopbackHttpServer::Response> search;
    Case expected;
    std::vector<QByteArray> requests; // path?query, in order
};

class LRCLibFetch : public LRCLibClient, public testing::WithParamInterface<ClientCase> {};

TEST_P(LRCLibFetch, AsksAndChooses) {
    const ClientCase& c = GetParam();
    if (c.get) {
        server.route("/api/get", *c.get);
    }
    if (c.search) {
        server.route("/api/search", *c.search);
    }
    const LyricsFetcher::Outcome outcome = fetch(fullQuery());
    if (c.expected == Case::failed) {
        EXPECT_TRUE(std::holds_alternative<LyricsFailure>(outcome));
    } else {
        ASSERT_TRUE(std::holds_alternative<LyricsState>(outcome))
            << std::get<LyricsFailure>(outcome).description.toStdString();
        EXPECT_EQ(std::get<LyricsState>(outcome).kind(), c.expected);
    }
    std::vector<QByteArray> asked;
    for (const LoopbackHttpServer::Request& request : server.requests()) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.headers.value("user-agent"), "Orlet/dev (Linux notch app)");
        const QByteArray target = request.path.toUtf8() + "?" + request.rawQuery;
        // Qt sends a GET again when its connection broke before an answer.
        if (asked.empty() || asked.back() != target) {
            asked.push_back(target);
        }
    }
    EXPECT_EQ(asked, c.requests);
}

const QByteArray askGet = "/api/get?" + getQuery;
const QByteArray askSearch = "/api/search?" + searchQuery;
const QByteArray plainOnly = R"({"duration":233,"plainLyrics":"words","syncedLyrics":null})";

INSTANTIATE_TEST_SUITE_P(
    Lyrics, LRCLibFetch,
    testing::Values(
        ClientCase{"a synced record from get is enough",
                   LoopbackHttpServer::json(fixture("get-found.json")),
                   std::nullopt,
                   Case::synced,
                   {askGet}},
        ClientCase{"a 404 of get falls back to the search",
                   LoopbackHttpServer::json(fixture("get-404.json"), 404),
                   LoopbackHttpServer::json(array({fixture("get-found.json")})),
                   Case::synced,
                   {askGet, askSearch}},
        ClientCase{"a get answer of null falls back to the search",
                   LoopbackHttpServer::json("null"),
                   LoopbackHttpServer::json(array({plainOnly})),
                   Case::unsynced,
                   {askGet, askSearch}},
        ClientCase{"a plain record from get is kept as a candidate",
                   LoopbackHttpServer::json(plainOnly),
                   LoopbackHttpServer::json("[]"),
                   Case::unsynced,
                   {askGet, askSearch}},
        ClientCase{"an instrumental is not found",
                   LoopbackHttpServer::json(fixture("instrumental.json")),
                   LoopbackHttpServer::json(array({fixture("instrumental.json")})),
                   Case::notFound,
                   {askGet, askSearch}},
        ClientCase{"a malformed get answer only leads to the search",
                   LoopbackHttpServer::json("{\"duration\":"),
                   LoopbackHttpServer::json(array({fixture("get-found.json")})),
                   Case::synced,
                   {askGet, askSearch}},
        ClientCase{"a get record of the wrong shape only leads to the search",
                   LoopbackHttpServer::json(R"({"duration":"long","syncedLyrics":"[00:01]x"})"),
                   LoopbackHttpServer::json("[]"),
                   Case::notFound,
                   {askGet, askSearch}},
        ClientCase{"a get that never answers times out into the search",
                   LoopbackHttpServer::held(),
                   LoopbackHttpServer::json(array({fixture("get-found.json")})),
                   Case::synced,
                   {askGet, askSearch}},
        ClientCase{"a search failing with 500 fails the fetch",
                   LoopbackHttpServer::json("", 404),
                   LoopbackHttpServer::json("{\"error\":\"boom\"}", 500),
                   Case::failed,
                   {askGet, askSearch}},
        ClientCase{"a 404 of the search fails the fetch",
                   std::nullopt,
                   std::nullopt,
                   Case::failed,
                   {askGet, askSearch}},
        ClientCase{"malformed JSON of the search fails the fetch",
                   LoopbackHttpServer::json("", 404),
                   LoopbackHttpServer::json("[{\"dur"),
                   Case::failed,
                   {askGet, askSearch}},
        ClientCase{"a search answer that is no list fails the fetch",
                   LoopbackHttpServer::json("", 404),
                   LoopbackHttpServer::json(plainOnly),
                   Case::failed,
                   {askGet, askSearch}},
        ClientCase{"a malformed record in the search fails the fetch",
                   LoopbackHttpServer::json("", 404),
                   LoopbackHttpServer::json(R"([{"plainLyrics":"a"},{"instrumental":"no"}])"),
                   Case::failed,
                   {askGet, askSearch}},
        ClientCase{"a search answering garbage fails the fetch",
                   LoopbackHttpServer::json("", 404),
                   LoopbackHttpServer::garbled(),
                   Case::failed,
                   {askGet, askSearch}},
        ClientCase{"a search that never answers times out",
                   LoopbackHttpServer::json("", 404),
                   LoopbackHttpServer::held(),
                   Case::failed,
                   {askGet, askSearch}}),
    SentenceName());

struct QueryStringCase {
    const char* sentence;
    LyricsQuery query;
    std::vector<QByteArray> requests;
};

class LRCLibQueryString : public LRCLibClient,
                          public testing::WithParamInterface<QueryStringCase> {};

TEST_P(LRCLibQueryString, SortsAndEscapes) {
    server.route("/api/get", LoopbackHttpServer::json("null"));
    server.route("/api/search", LoopbackHttpServer::json("[]"));
    EXPECT_EQ(std::get<LyricsState>(fetch(GetParam().query)), LyricsState::notFound());
    std::vector<QByteArray> asked;
    for (const LoopbackHttpServer::Request& request : server.requests()) {
        asked.push_back(request.path.toUtf8() + "?" + request.rawQuery);
    }
    EXPECT_EQ(asked, GetParam().requests);
}

LyricsQuery query(std::string title, std::optional<std::string> artist,
                  std::optional<std::string> album, std::optional<double> duration) {
    LyricsQuery query;
    query.title = std::move(title);
    query.artist = std::move(artist);
    query.album = std::move(album);
    query.duration = duration;
    return query;
}

INSTANTIATE_TEST_SUITE_P(
    Lyrics, LRCLibQueryString,
    testing::Values(
        QueryStringCase{"without an album only the search is asked",
                        query("Song", "Artist", std::nullopt, 200),
                        {"/api/search?artist_name=Artist&track_name=Song"}},
        QueryStringCase{"without an artist the search names only the track",
                        query("Song", std::nullopt, "Album", 200),
                        {"/api/search?track_name=Song"}},
        QueryStringCase{"half a second rounds up, less rounds down",
                        query("S", "A", "B", 199.5),
                        {"/api/get?album_name=B&artist_name=A&duration=200&track_name=S",
                         "/api/search?artist_name=A&track_name=S"}},
        QueryStringCase{"a duration just under a half rounds down",
                        query("S", "A", "B", 199.49),
                        {"/api/get?album_name=B&artist_name=A&duration=199&track_name=S",
                         "/api/search?artist_name=A&track_name=S"}},
        QueryStringCase{"an endless duration skips the get",
                        query("S", "A", "B", std::numeric_limits<double>::infinity()),
                        {"/api/search?artist_name=A&track_name=S"}},
        QueryStringCase{"plus, ampersand, equals and non-ASCII are escaped",
                        query("A+B & C=D", "Sigur Rós", std::nullopt, std::nullopt),
                        {"/api/search?artist_name=Sigur%20R%C3%B3s"
                         "&track_name=A%2BB%20%26%20C%3DD"}}),
    SentenceName());

TEST_F(LRCLibClient, EscapedValuesReachTheServerIntact) {
    server.route("/api/search", LoopbackHttpServer::json("[]"));
    fetch(query("A+B & C=D", "Sigur Rós", std::nullopt, std::nullopt));
    ASSERT_EQ(server.requests().size(), 1u);
    const auto items = server.requests().front().queryItems;
    EXPECT_EQ(items, (QList<QPair<QString, QString>>{{"artist_name", "Sigur Rós"},
                                                     {"track_name", "A+B & C=D"}}));
}

TEST_F(LRCLibClient, CancellingClosesTheConnectionAndNeverCompletes) {
    server.route("/api/search", LoopbackHttpServer::held());
    bool completed = false;
    std::unique_ptr<LyricsFetcher::Task> task =
        client.fetch(query("Song", std::nullopt, std::nullopt, std::nullopt),
                     [&](LyricsFetcher::Outcome) { completed = true; });
    ASSERT_TRUE(LoopbackHttpServer::waitFor([&] { return server.requests().size() == 1; }));
    ASSERT_EQ(server.openConnections(), 1);
    task.reset();
    EXPECT_TRUE(LoopbackHttpServer::waitFor([&] { return server.openConnections() == 0; }));
    EXPECT_FALSE(completed);
}

TEST_F(LRCLibClient, AnUnreachableServiceFails) {
    LRCLib closed(QUrl("http://127.0.0.1:1"), std::chrono::milliseconds(2000));
    std::optional<LyricsFetcher::Outcome> outcome;
    const auto task = closed.fetch(query("Song", std::nullopt, std::nullopt, std::nullopt),
                                   [&](LyricsFetcher::Outcome result) { outcome = result; });
    ASSERT_TRUE(LoopbackHttpServer::waitFor([&] { return outcome.has_value(); }));
    EXPECT_TRUE(std::holds_alternative<LyricsFailure>(*outcome));
}

TEST(LRCLibSetup, TheEnvironmentNamesTheService) {
    struct Case {
        const char* value;
        const char* expected;
    };
    for (const Case& c : {Case{nullptr, "https://lrclib.net"},
                          Case{"http://127.0.0.1:8080", "http://127.0.0.1:8080"},
                          Case{"ftp://example.org", "https://lrclib.net"},
                          Case{"not a url", "https://lrclib.net"}}) {
        if (c.value) {
            qputenv("ORLET_LYRICS_URL", c.value);
        } else {
            qunsetenv("ORLET_LYRICS_URL");
        }
        EXPECT_EQ(LRCLib::fromEnvironment()->baseURL(), QUrl(c.expected)) << c.expected;
    }
    qunsetenv("ORLET_LYRICS_URL");
    EXPECT_EQ(LRCLib(QUrl("http://h/prefix/")).url("get", {{"b", "2"}, {"a", "1"}}),
              QUrl("http://h/prefix/api/get?a=1&b=2"));
}

} // namespace
} // namespace orlet
