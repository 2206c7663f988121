#include "OrletKit/ActivityMessage.h"

#include "OrletKit/OrletAPI.h"
#include "TestNames.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace orlet {
namespace {

ActivityMessage make(std::string type) {
    return ActivityMessage(std::move(type));
}

struct LineCase {
    const char* sentence;
    ActivityMessage message;
    const char* expected;
};

class ActivityMessageLine : public testing::TestWithParam<LineCase> {};

TEST_P(ActivityMessageLine, WritesCompactSortedJSONWithOneLineFeed) {
    EXPECT_EQ(GetParam().message.line(), GetParam().expected) << GetParam().sentence;
}

ActivityMessage everyField() {
    ActivityMessage m = make("activity.start");
    m.persistent = true;
    m.name = "n";
    m.id = "a";
    m.kind = "agent";
    m.title = "T";
    m.subtitle = "S";
    m.step = "st";
    m.progress = 0.25;
    m.state = ActivityState::waiting;
    m.actions = std::vector<ActivityAction>{{"x", "X"}};
    m.ttl = 1800;
    m.result = ActivityState::cancelled;
    m.quiet = false;
    m.message = "m";
    m.severity = "warning";
    m.activity = "act";
    m.action = "x";
    return m;
}

ActivityMessage withMessage(std::string type, std::string text) {
    ActivityMessage m = make(std::move(type));
    m.message = std::move(text);
    return m;
}

ActivityMessage withID(std::string id) {
    ActivityMessage m = make("activity.update");
    m.id = std::move(id);
    return m;
}

ActivityMessage withoutVersion() {
    ActivityMessage m = make("ping");
    m.v.reset();
    return m;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ActivityMessageLine,
    testing::Values(
        LineCase{"a record with only a type carries the version", make("ping"),
                 "{\"type\":\"ping\",\"v\":1}\n"},
        LineCase{"the welcome reply", make("welcome"), "{\"type\":\"welcome\",\"v\":1}\n"},
        LineCase{"an error reply sorts message before type",
                 withMessage("error", "notify needs a message"),
                 "{\"message\":\"notify needs a message\",\"type\":\"error\",\"v\":1}\n"},
        LineCase{"every field appears in sorted key order", everyField(),
                 "{\"action\":\"x\",\"actions\":[{\"id\":\"x\",\"title\":\"X\"}],"
                 "\"activity\":\"act\",\"id\":\"a\",\"kind\":\"agent\",\"message\":\"m\","
                 "\"name\":\"n\",\"persistent\":true,\"progress\":0.25,\"quiet\":false,"
                 "\"result\":\"cancelled\",\"severity\":\"warning\",\"state\":\"waiting\","
                 "\"step\":\"st\",\"subtitle\":\"S\",\"title\":\"T\",\"ttl\":1800,"
                 "\"type\":\"activity.start\",\"v\":1}\n"},
        LineCase{"slashes in paths stay unescaped", withID("/home/me/src/a b"),
                 "{\"id\":\"/home/me/src/a b\",\"type\":\"activity.update\",\"v\":1}\n"},
        LineCase{"non-ASCII text is written as UTF-8 and control characters are escaped",
                 withMessage("notify", "make \u00b7 \U0001F600\n\"q\""),
                 "{\"message\":\"make \u00b7 \U0001F600\\n\\\"q\\\"\",\"type\":\"notify\","
                 "\"v\":1}\n"},
        LineCase{"invalid UTF-8 is repaired instead of losing the line",
                 withMessage("notify", "a\xff"
                                       "b"),
                 "{\"message\":\"a\uFFFDb\",\"type\":\"notify\",\"v\":1}\n"},
        LineCase{"an absent version is left out", withoutVersion(), "{\"type\":\"ping\"}\n"}),
    test::SentenceName());

TEST(ActivityMessageLine, NumbersThatCannotBeWrittenGiveABareLineFeed) {
    ActivityMessage m = make("activity.update");
    m.progress = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(m.line(), "\n");
}

struct DecodeCase {
    const char* sentence;
    const char* line;
    bool decodes;
};

class ActivityMessageDecode : public testing::TestWithParam<DecodeCase> {};

TEST_P(ActivityMessageDecode, AcceptsOnlyValidRecords) {
    EXPECT_EQ(ActivityMessage::decode(GetParam().line).has_value(), GetParam().decodes)
        << GetParam().sentence << ": " << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ActivityMessageDecode,
    testing::Values(
        DecodeCase{"a ping", R"({"type":"ping"})", true},
        DecodeCase{"unknown keys are ignored", R"({"type":"ping","extra":{"x":1}})", true},
        DecodeCase{"null counts as absent", R"({"type":"ping","id":null,"actions":null})", true},
        DecodeCase{"an unknown state string",
                   R"({"type":"activity.start","id":"a","state":"paused"})", false},
        DecodeCase{"an unknown result string", R"({"type":"activity.end","id":"a","result":"ok"})",
                   false},
        DecodeCase{"an action without title", R"({"type":"activity.start","actions":[{"id":"x"}]})",
                   false},
        DecodeCase{"one bad action among good ones",
                   R"({"type":"x","actions":[{"id":"a","title":"A"},3]})", false},
        DecodeCase{"actions that are not an array",
                   R"({"type":"x","actions":{"id":"a","title":"A"}})", false},
        DecodeCase{"no type", R"({"id":"a"})", false},
        DecodeCase{"a null type", R"({"type":null})", false},
        DecodeCase{"a type that is not a string", R"({"type":1})", false},
        DecodeCase{"a boolean given as a number", R"({"type":"hello","persistent":1})", false},
        DecodeCase{"a boolean given as a string", R"({"type":"activity.end","quiet":"true"})",
                   false},
        DecodeCase{"a fractional version", R"({"type":"ping","v":1.5})", false},
        DecodeCase{"a version given as a string", R"({"type":"ping","v":"1"})", false},
        DecodeCase{"progress as a string", R"({"type":"x","progress":"0.5"})", false},
        DecodeCase{"ttl as an integer", R"({"type":"x","ttl":60})", true},
        DecodeCase{"a string field given a number", R"({"type":"x","title":5})", false},
        DecodeCase{"not an object", R"(["type","ping"])", false},
        DecodeCase{"truncated JSON", R"({"type":"ping")", false},
        DecodeCase{"two objects on one line", R"({"type":"ping"}{"type":"ping"})", false},
        DecodeCase{"invalid UTF-8 inside a string", "{\"type\":\"p\xff\"}", false},
        DecodeCase{"an empty line", "", false},
        DecodeCase{"a trailing carriage return is whitespace", "{\"type\":\"ping\"}\r", true}),
    test::SentenceName());

TEST(ActivityMessageDecode, ReadsEveryFieldBack) {
    const ActivityMessage original = everyField();
    std::string line = original.line();
    line.pop_back();
    const std::optional<ActivityMessage> decoded = ActivityMessage::decode(line);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, original);
}

TEST(ActivityMessageDecode, KeepsProgressOutsideTheUnitRangeForTheReceiverToClamp) {
    const auto decoded = ActivityMessage::decode(R"({"type":"activity.update","progress":1.5})");
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->progress, 1.5);
}

TEST(ActivityMessageDecode, AnEndWithAResultHasNoQuietFlag) {
    const auto decoded =
        ActivityMessage::decode(R"({"type":"activity.end","id":"a","result":"failed"})");
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->result, ActivityState::failed);
    EXPECT_FALSE(decoded->quiet);
    EXPECT_FALSE(decoded->v) << "a record without \"v\" keeps it absent";
}

TEST(ActivityMessageDecode, SurvivesDeeplyNestedUnknownValues) {
    std::string line = R"({"type":"ping","x":)";
    line += std::string(100000, '[') + std::string(100000, ']') + "}";
    EXPECT_TRUE(ActivityMessage::decode(line));
}

TEST(OrletAPI, PutsTheSocketUnderTheHomeDirectory) {
    const char* saved = std::getenv("HOME");
    const std::string previous = saved ? saved : "";
    setenv("HOME", "/home/ada", 1);
    EXPECT_EQ(OrletAPI::socketPath(), "/home/ada/Library/Application Support/Orlet/orlet.sock");
    setenv("HOME", "/home/ada/", 1);
    EXPECT_EQ(OrletAPI::socketPath(), "/home/ada/Library/Application Support/Orlet/orlet.sock");
    setenv("HOME", previous.c_str(), 1);
    EXPECT_EQ(OrletAPI::protocolVersion, 1);
}

} // namespace
} // namespace orlet
