#include "Activity/ActivityCenter.h"

#include "Platform/DefaultsStore.h"
#include "Platform/ManualClock.h"
#include "QtTestSupport.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace orlet {
namespace {

using namespace std::chrono_literals;

class FakePrompt : public ApprovalPrompt {
public:
    void ask(const Request& request, std::function<void(bool)> answer) override {
        requests.push_back(request);
        answers.push_back(std::move(answer));
    }
    void answer(std::size_t index, bool allowed) { answers.at(index)(allowed); }

    std::vector<Request> requests;
    std::vector<std::function<void(bool)>> answers;
};

struct Wire {
    std::vector<std::pair<int, std::string>> sent;
    bool failToStart = false;
    bool started = false;
};

class FakeServer : public ActivityTransport {
public:
    explicit FakeServer(Wire& wire) : wire_(wire) {}
    void start() override {
        if (wire_.failToStart) {
            throw std::system_error(EADDRINUSE, std::generic_category(), "bind");
        }
        wire_.started = true;
    }
    void stop() override { wire_.started = false; }
    void send(const ActivityMessage& message, int fd) override {
        std::string line = message.line();
        line.pop_back();
        wire_.sent.emplace_back(fd, line);
    }

private:
    Wire& wire_;
};

const ClientIdentity terminal{"org.gnome.Terminal", "Terminal",
                              "/usr/share/applications/org.gnome.Terminal.desktop"};
const ClientIdentity editor{"code", "Visual Studio Code", std::nullopt};

// A center with a fake server and prompt on a manual clock, its defaults in a private file.
class Center : public testing::Test {
protected:
    Center() { rebuild(); }

    void rebuild() {
        center_.reset();
        center_ = std::make_unique<ActivityCenter>(ActivityCenter::Environment{
            clock_, store_, prompt_,
            [this](const TransientActivity& activity) { transients_.push_back(activity); },
            [this](const std::string&, ActivityTransport::Events) {
                return std::make_unique<FakeServer>(wire_);
            },
            "/tmp/orlet-test.sock",
            [](const std::string&) { return std::optional<QString>("utilities-terminal"); }});
        center_->onChange = [this](bool attention) { changes_.push_back(attention); };
        center_->start();
    }

    ActivityCenter& center() { return *center_; }

    void line(int fd, const std::string& text) { center_->received(fd, text); }

    // The lines sent to `fd` since the last call, without line feeds.
    std::vector<std::string> replies(int fd) {
        std::vector<std::string> result;
        for (const auto& [to, text] : wire_.sent) {
            if (to == fd) {
                result.push_back(text);
            }
        }
        std::erase_if(wire_.sent, [fd](const auto& entry) { return entry.first == fd; });
        return result;
    }

    // An application the user has already allowed, connected on `fd`.
    void allowed(int fd, const ClientIdentity& identity) {
        center_->connected(fd, identity);
        line(fd, R"({"type":"ping"})");
        clock_.advance(0ms);
        prompt_.answer(prompt_.answers.size() - 1, true);
        replies(fd);
    }

    const TransientActivity::App& lastPopUp() const { return *transients_.back().asApp(); }

    test::TemporaryDirectory directory_;
    ManualClock clock_;
    DefaultsStore store_{QString::fromStdString((directory_.path() / "defaults.json").string())};
    FakePrompt prompt_;
    Wire wire_;
    std::vector<TransientActivity> transients_;
    std::vector<bool> changes_;
    std::unique_ptr<ActivityCenter> center_;
};

TEST_F(Center, AnUnknownApplicationIsAskedOnceAndItsQueuedHelloIsWelcomedAfterAllow) {
    center().connected(5, terminal);
    line(5, R"({"type":"hello"})");
    line(5, R"({"type":"ping"})");
    EXPECT_EQ(replies(5), std::vector<std::string>{R"({"type":"pending","v":1})"});
    EXPECT_TRUE(prompt_.requests.empty()) << "never asked inside the message handler";

    clock_.advance(0ms);
    ASSERT_EQ(prompt_.requests.size(), 1u);
    const ApprovalPrompt::Request& request = prompt_.requests.front();
    EXPECT_EQ(request.message, "Allow \u201cTerminal\u201d to show activities in the notch?");
    EXPECT_EQ(request.informative,
              "Terminal wants to show its progress (for example a working agent) in Orlet. You "
              "can change this any time in Settings \u2192 Connections.");
    EXPECT_EQ(request.allowTitle, "Allow");
    EXPECT_EQ(request.denyTitle, "Don't Allow");
    EXPECT_EQ(request.desktopEntryPath, "/usr/share/applications/org.gnome.Terminal.desktop");

    line(5, R"({"type":"ping"})");
    clock_.advance(0ms);
    EXPECT_EQ(prompt_.requests.size(), 1u) << "one question per application";

    prompt_.answer(0, true);
    EXPECT_EQ(replies(5),
              (std::vector<std::string>{R"({"type":"welcome","v":1})", R"({"type":"pong","v":1})",
                                        R"({"type":"pong","v":1})"}));
    ASSERT_EQ(center().knownApps().size(), 1u);
    EXPECT_EQ(center().knownApps().front(),
              (ActivityCenter::KnownApp{terminal.id, terminal.name, true, terminal.bundlePath}));
}

TEST_F(Center, DenyingAnswersEveryQueuedMessageAndLaterOnesWithTheReason) {
    center().connected(5, terminal);
    line(5, R"({"type":"hello"})");
    line(5, R"({"type":"activity.start","id":"a"})");
    replies(5);
    clock_.advance(0ms);
    prompt_.answer(0, false);
    EXPECT_EQ(replies(5), (std::vector<std::string>{R"({"type":"denied","v":1})",
                                                    R"({"type":"denied","v":1})"}));
    EXPECT_TRUE(center().active().empty());
    line(5, R"({"type":"ping"})");
    EXPECT_EQ(replies(5), std::vector<std::string>{
                              "{\"message\":\"Terminal is not allowed in Orlet's Settings \u2192 "
                              "Connections\",\"type\":\"denied\",\"v\":1}"});
}

TEST_F(Center, AnswersSurviveARestartAndForgettingAsksAgain) {
    allowed(5, terminal);
    center().connected(6, editor);
    line(6, R"({"type":"ping"})");
    clock_.advance(0ms);
    prompt_.answer(1, false);

    rebuild();
    EXPECT_EQ(center().knownApps().size(), 2u);
    center().connected(7, terminal);
    line(7, R"({"type":"ping"})");
    EXPECT_EQ(replies(7), std::vector<std::string>{R"({"type":"pong","v":1})"});

    center().forget(terminal.id);
    rebuild();
    center().connected(7, terminal);
    line(7, R"({"type":"ping"})");
    clock_.advance(0ms);
    EXPECT_EQ(prompt_.requests.size(), 3u);
    EXPECT_TRUE(replies(7).empty());
}

TEST_F(Center, AtMostFiftyMessagesWaitForTheAnswer) {
    center().connected(5, terminal);
    for (int i = 0; i < 60; ++i) {
        line(5, R"({"type":"ping"})");
    }
    clock_.advance(0ms);
    prompt_.answer(0, true);
    EXPECT_EQ(replies(5).size(), 50u);
}

TEST_F(Center, QueuedMessagesOfAClosedConnectionAreAppliedButAnswerNobody) {
    center().connected(5, terminal);
    line(5, R"({"type":"hello","persistent":true})");
    line(5, R"({"type":"activity.start","id":"build"})");
    replies(5);
    center().disconnected(5);
    center().connected(5, editor); // the number comes back for another client
    clock_.advance(0ms);
    prompt_.answer(0, true);
    EXPECT_TRUE(replies(5).empty());
    ASSERT_EQ(center().active().size(), 1u);
    EXPECT_FALSE(center().active().front().connection) << "not bound to a stranger";
}

struct ErrorCase {
    const char* sentence;
    const char* line;
    const char* reply; // "" for none
};

class CenterReplies : public Center, public testing::WithParamInterface<ErrorCase> {};

TEST_P(CenterReplies, AnswerEachMessageAsTheProtocolSays) {
    allowed(5, editor);
    line(5, GetParam().line);
    const std::vector<std::string> sent = replies(5);
    if (std::string(GetParam().reply).empty()) {
        EXPECT_TRUE(sent.empty()) << GetParam().sentence;
    } else {
        EXPECT_EQ(sent, std::vector<std::string>{GetParam().reply}) << GetParam().sentence;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CenterReplies,
    testing::Values(
        ErrorCase{"bad JSON", "{nope",
                  R"({"message":"invalid JSON message","type":"error","v":1})"},
        ErrorCase{"an unknown state", R"({"type":"activity.start","id":"a","state":"paused"})",
                  R"({"message":"invalid JSON message","type":"error","v":1})"},
        ErrorCase{"unknown keys are fine", R"({"type":"ping","extra":{"x":1}})",
                  R"({"type":"pong","v":1})"},
        ErrorCase{"a start without id", R"({"type":"activity.start"})",
                  R"({"message":"activity.start needs an id","type":"error","v":1})"},
        ErrorCase{"an update of an unknown id", R"({"type":"activity.update","id":"x"})", ""},
        ErrorCase{"an end without id", R"({"type":"activity.end"})", ""},
        ErrorCase{"a notification without text", R"({"type":"notify","message":""})",
                  R"({"message":"notify needs a message","type":"error","v":1})"},
        ErrorCase{"an unknown type", R"({"type":"launch"})",
                  R"({"message":"unknown message type launch","type":"error","v":1})"},
        ErrorCase{"a notification", R"({"type":"notify","message":"hi"})", ""}),
    test::SentenceName());

TEST_F(Center, LinesFromUnknownConnectionsAreDropped) {
    line(9, R"({"type":"ping"})");
    clock_.advance(0ms);
    EXPECT_TRUE(replies(9).empty());
    EXPECT_TRUE(prompt_.requests.empty());
}

struct NotifyCase {
    const char* sentence;
    const char* severity;
    TransientActivity::Tone tone;
    const char* symbol;
};

class CenterNotify : public Center, public testing::WithParamInterface<NotifyCase> {};

TEST_P(CenterNotify, PopsUpWithTheSeveritysLook) {
    allowed(5, terminal);
    nlohmann::json message{{"type", "notify"}, {"message", "Deploy finished"}};
    if (*GetParam().severity != '\0') {
        message["severity"] = GetParam().severity;
    }
    line(5, message.dump());
    ASSERT_EQ(transients_.size(), 1u);
    EXPECT_EQ(transients_.back(),
              TransientActivity::app(QString::fromStdString(terminal.id), GetParam().symbol,
                                     "Deploy finished", GetParam().tone));
    EXPECT_EQ(center().icon(terminal.id), "utilities-terminal");
    EXPECT_TRUE(center().active().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CenterNotify,
    testing::Values(
        NotifyCase{"success", "success", TransientActivity::Tone::success, "checkmark.circle.fill"},
        NotifyCase{"warning", "warning", TransientActivity::Tone::attention,
                   "exclamationmark.bubble.fill"},
        NotifyCase{"critical", "critical", TransientActivity::Tone::failure, "xmark.octagon.fill"},
        NotifyCase{"info is not a listed severity", "info", TransientActivity::Tone::info,
                   "bell.fill"},
        NotifyCase{"no severity", "", TransientActivity::Tone::info, "bell.fill"}),
    test::SentenceName());

TEST_F(Center, AStartReplacesTheSameActivityAndMovesItToTheEnd) {
    allowed(5, terminal);
    line(5, R"({"type":"activity.start","id":"a","title":"First","progress":1.5})");
    clock_.advance(10s);
    line(5, R"({"type":"activity.start","id":"b"})");
    line(5, R"({"type":"activity.start","id":"a","kind":"agent"})");
    ASSERT_EQ(center().active().size(), 2u);
    const ActivityItem& item = center().active().back();
    EXPECT_EQ(item.activityID, "a");
    EXPECT_EQ(item.title, "Terminal") << "the sender's name by default";
    EXPECT_EQ(item.kind, "agent");
    EXPECT_EQ(item.startedAt, clock_.now());
    EXPECT_EQ(center().active().front().progress, std::nullopt);
    EXPECT_EQ(changes_, (std::vector<bool>{false, false, false}));
}

TEST_F(Center, ProgressIsClampedAndActionsReplaced) {
    allowed(5, terminal);
    line(5,
         R"({"type":"activity.start","id":"a","progress":1.5,"actions":[{"id":"x","title":"X"}]})");
    EXPECT_EQ(center().active().front().progress, 1.0);
    line(5, R"({"type":"activity.update","id":"a","progress":-2,"actions":[]})");
    EXPECT_EQ(center().active().front().progress, 0.0);
    EXPECT_TRUE(center().active().front().actions.empty());
}

TEST_F(Center, WaitingAsksForTheUserAndRunningAgainClearsTheWaitingStep) {
    allowed(5, terminal);
    line(5, R"({"type":"activity.start","id":"a","kind":"agent","step":"Reading"})");
    line(5, R"({"type":"activity.update","id":"a","state":"waiting","step":"Allow Bash?"})");
    ASSERT_FALSE(transients_.empty());
    EXPECT_EQ(transients_.back(), TransientActivity::app(QString::fromStdString(terminal.id),
                                                         "exclamationmark.bubble.fill", "Needs you",
                                                         TransientActivity::Tone::attention));
    EXPECT_EQ(changes_.back(), true);
    line(5, R"({"type":"activity.update","id":"a","state":"running"})");
    EXPECT_EQ(center().active().front().step, std::nullopt);
    EXPECT_EQ(changes_.back(), false);
    line(5, R"({"type":"activity.update","id":"a","state":"waiting"})");
    line(5, R"({"type":"activity.update","id":"a","state":"running","step":"Editing"})");
    EXPECT_EQ(center().active().front().step, "Editing");
}

TEST_F(Center, AnUnchangedUpdateChangesNothingButTheTime) {
    allowed(5, terminal);
    line(5, R"({"type":"activity.start","id":"a","step":"x"})");
    const std::size_t before = changes_.size();
    clock_.advance(1s);
    line(5, R"({"type":"activity.update","id":"a","step":"x"})");
    EXPECT_EQ(changes_.size(), before + 1) << "updatedAt moved";
    EXPECT_EQ(center().active().front().updatedAt, clock_.now());
}

struct EndCase {
    const char* sentence;
    const char* end;
    const char* text; // "" for no announcement
    TransientActivity::Tone tone;
    const char* symbol;
};

class CenterEnds : public Center, public testing::WithParamInterface<EndCase> {};

TEST_P(CenterEnds, MoveTheActivityToRecentAndAnnounceIt) {
    allowed(5, terminal);
    line(5, R"({"type":"activity.start","id":"a","step":"Working"})");
    clock_.advance(65s);
    transients_.clear();
    line(5, GetParam().end);
    EXPECT_TRUE(center().active().empty());
    ASSERT_EQ(center().recent().size(), 1u);
    EXPECT_EQ(center().recent().front().step, std::nullopt);
    EXPECT_EQ(center().recent().front().endedAt, clock_.now());
    if (std::string(GetParam().text).empty()) {
        EXPECT_TRUE(transients_.empty()) << GetParam().sentence;
    } else {
        ASSERT_EQ(transients_.size(), 1u);
        EXPECT_EQ(transients_.front(),
                  TransientActivity::app(QString::fromStdString(terminal.id), GetParam().symbol,
                                         GetParam().text, GetParam().tone))
            << GetParam().sentence;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CenterEnds,
    testing::Values(
        EndCase{"done with its duration", R"({"type":"activity.end","id":"a"})",
                "Done \u00b7 1m 5s", TransientActivity::Tone::success, "checkmark.circle.fill"},
        EndCase{"done with a message", R"({"type":"activity.end","id":"a","message":"Built"})",
                "Built \u00b7 1m 5s", TransientActivity::Tone::success, "checkmark.circle.fill"},
        EndCase{"failed", R"({"type":"activity.end","id":"a","result":"failed"})", "Failed",
                TransientActivity::Tone::failure, "xmark.octagon.fill"},
        EndCase{"cancelled", R"({"type":"activity.end","id":"a","result":"cancelled"})", "Stopped",
                TransientActivity::Tone::info, "bell.fill"},
        EndCase{"quiet", R"({"type":"activity.end","id":"a","quiet":true})", "",
                TransientActivity::Tone::info, ""}),
    test::SentenceName());

TEST_F(Center, RecentKeepsTheSixNewest) {
    allowed(5, terminal);
    for (int i = 0; i < 7; ++i) {
        const std::string id = std::to_string(i);
        line(5, R"({"type":"activity.start","id":")" + id + "\"}");
        line(5, R"({"type":"activity.end","quiet":true,"id":")" + id + "\"}");
    }
    ASSERT_EQ(center().recent().size(), 6u);
    EXPECT_EQ(center().recent().front().activityID, "6");
    EXPECT_EQ(center().recent().back().activityID, "1");
    center().dismissRecent(center().recent().front());
    EXPECT_EQ(center().recent().front().activityID, "5");
}

TEST_F(Center, SilentActivitiesExpireAtTheFirstPassAfterTheirLifetime) {
    allowed(5, terminal);
    line(5, R"({"type":"activity.start","id":"a","ttl":60})");
    changes_.clear();
    clock_.advance(89s);
    EXPECT_EQ(center().active().size(), 1u) << "at 60 s it was not yet more than 60 s";
    clock_.advance(1s);
    EXPECT_TRUE(center().active().empty());
    EXPECT_TRUE(center().recent().empty());
    EXPECT_EQ(changes_, std::vector<bool>{false});
    EXPECT_TRUE(transients_.empty());
    EXPECT_EQ(clock_.pendingCount(), 0u) << "nothing left to expire, no pass scheduled";
}

TEST_F(Center, ActivitiesOfAPersistentConnectionLiveAndDieWithIt) {
    allowed(5, terminal);
    line(5, R"({"type":"hello","persistent":true})");
    line(5, R"({"type":"activity.start","id":"a","ttl":1})");
    EXPECT_EQ(center().active().front().connection, 5);
    clock_.advance(2h);
    EXPECT_EQ(center().active().size(), 1u);
    center().disconnected(5);
    EXPECT_TRUE(center().active().empty());
    EXPECT_TRUE(center().recent().empty());
}

TEST_F(Center, DisallowingRemovesTheApplicationsActivities) {
    allowed(5, terminal);
    allowed(6, editor);
    line(5, R"({"type":"activity.start","id":"a"})");
    line(6, R"({"type":"activity.start","id":"b"})");
    center().setAllowed(terminal.id, false);
    ASSERT_EQ(center().active().size(), 1u);
    EXPECT_EQ(center().active().front().appID, editor.id);
    line(5, R"({"type":"ping"})");
    EXPECT_EQ(replies(5).size(), 1u);
    center().setAllowed("nobody", true);
    EXPECT_EQ(center().knownApps().size(), 2u);
}

TEST_F(Center, TheFeaturedItemIsTheWaitingOneElseTheLatest) {
    allowed(5, terminal);
    EXPECT_FALSE(center().featured());
    line(5, R"({"type":"activity.start","id":"a"})");
    line(5, R"({"type":"activity.start","id":"b"})");
    EXPECT_EQ(center().featured()->activityID, "a") << "a tie goes to the earlier";
    clock_.advance(1s);
    line(5, R"({"type":"activity.update","id":"b","step":"x"})");
    EXPECT_EQ(center().featured()->activityID, "b");
    line(5, R"({"type":"activity.update","id":"a","state":"waiting"})");
    clock_.advance(1s);
    line(5, R"({"type":"activity.update","id":"b","step":"y"})");
    EXPECT_EQ(center().featured()->activityID, "a");
}

TEST_F(Center, AServerThatCannotStartIsLoggedAndRepliesAreSkipped) {
    wire_.failToStart = true;
    test::LogCapture log;
    rebuild();
    EXPECT_FALSE(center().isListening());
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.lines().front().message.startsWith("API failed to start: "));
    center().connected(5, terminal);
    line(5, R"({"type":"hello"})");
    EXPECT_TRUE(wire_.sent.empty());
}

TEST_F(Center, StartingLogsTheSocketAndStoppingStopsTheServer) {
    test::LogCapture log;
    rebuild();
    EXPECT_TRUE(center().isListening());
    EXPECT_TRUE(wire_.started);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines().front().message, "API listening on /tmp/orlet-test.sock");
    center().stop();
    EXPECT_FALSE(wire_.started);
    EXPECT_FALSE(center().isListening());
}

TEST(ActivityCenterShortDuration, UsesTheShortForm) {
    EXPECT_EQ(ActivityCenter::shortDuration(45), "45s");
    EXPECT_EQ(ActivityCenter::shortDuration(59), "59s");
    EXPECT_EQ(ActivityCenter::shortDuration(60), "1m 0s");
    EXPECT_EQ(ActivityCenter::shortDuration(200), "3m 20s");
    EXPECT_EQ(ActivityCenter::shortDuration(3600), "1h 0m");
    EXPECT_EQ(ActivityCenter::shortDuration(3900), "1h 5m");
}

} // namespace
} // namespace orlet
