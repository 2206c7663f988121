#include "ChildProcess.h"
#include "FakeOrlet.h"
#include "OrletKit/ActivityMessage.h"
#include "OrletKit/AtomicFile.h"
#include "OrletKit/ShellHook.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace orlet {
namespace {

namespace fs = std::filesystem;
using test::ChildProcess;
using test::FakeOrlet;

// The real helper binary against a stand-in application in a private home directory.
class HelperProcess : public testing::Test {
protected:
    std::string socketPath() const {
        return (home_ / "Library/Application Support/Orlet/orlet.sock").string();
    }

    ChildProcess::Result helper(std::vector<std::string> arguments,
                                const std::string& input = "") const {
        arguments.insert(arguments.begin(), ORLET_HELPER_PATH);
        return ChildProcess::run(arguments, {{"HOME", home_.string()}, {"PATH", "/usr/bin:/bin"}},
                                 input);
    }

    test::TemporaryDirectory directory_;
    const fs::path& home_ = directory_.path();
};

const std::string claudePrompt =
    R"({"hook_event_name":"UserPromptSubmit","session_id":"4f1c2a9e-77aa-4b7e-9d61-0c1f","cwd":"/home/me/src/orlet","prompt":"Make the tests pass"})";

TEST_F(HelperProcess, AgentHookSendsTheTranslatedLineByteForByte) {
    FakeOrlet orlet(socketPath());
    const auto result = helper({"agent-hook", "claude"}, claudePrompt);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "") << "Claude Code expects no output";
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(
        orlet.settle(),
        std::vector<std::string>{
            R"({"id":"claude-4f1c2a9e-77a","kind":"agent","state":"running","step":"Make the tests pass","subtitle":"orlet","title":"Claude","ttl":1800,"type":"activity.start","v":1})"
            "\n"});
}

TEST_F(HelperProcess, TheOlderClaudeHookSendsTheSameLine) {
    FakeOrlet orlet(socketPath());
    const auto result = helper({"claude-hook"}, claudePrompt);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "");
    const auto received = orlet.settle();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_TRUE(received[0].starts_with(R"({"id":"claude-4f1c2a9e-77a",)"));
}

struct QuietCase {
    const char* sentence;
    std::vector<std::string> arguments;
    std::string input;
    bool listening;
    const char* out;
    const char* errorContains; // "" for no error output
};

class HelperHookNeverDisturbs : public HelperProcess,
                                public testing::WithParamInterface<QuietCase> {};

TEST_P(HelperHookNeverDisturbs, PrintsOnlyTheReplyAndExitsZero) {
    const QuietCase& c = GetParam();
    std::optional<FakeOrlet> orlet;
    if (c.listening) {
        orlet.emplace(socketPath());
    }
    const auto result = helper(c.arguments, c.input);
    EXPECT_EQ(result.exitCode, 0) << c.sentence;
    EXPECT_EQ(result.out, c.out) << c.sentence;
    if (std::string(c.errorContains).empty()) {
        EXPECT_EQ(result.err, "") << c.sentence;
    } else {
        EXPECT_NE(result.err.find(c.errorContains), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HelperHookNeverDisturbs,
    testing::Values(
        QuietCase{"cursor gets its reply",
                  {"agent-hook", "cursor"},
                  R"({"hook_event_name":"stop","conversation_id":"c"})",
                  true,
                  "{}",
                  ""},
        QuietCase{"gemini gets its reply when Orlet is not running",
                  {"agent-hook", "gemini"},
                  R"({"hook_event_name":"AfterAgent","session_id":"s"})",
                  false,
                  "{}",
                  "Orlet is not running"},
        QuietCase{"claude stays silent on stdout when Orlet is not running",
                  {"agent-hook", "claude"},
                  claudePrompt,
                  false,
                  "",
                  "Orlet is not running"},
        QuietCase{"input that is not JSON",
                  {"agent-hook", "cursor"},
                  "not json",
                  true,
                  "{}",
                  "not a JSON object"},
        QuietCase{"empty input", {"agent-hook", "codex"}, "", true, "", "not a JSON object"},
        QuietCase{"an event that reports nothing does not connect",
                  {"agent-hook", "codex"},
                  R"({"hook_event_name":"Notification"})",
                  false,
                  "",
                  ""},
        QuietCase{"an unknown agent", {"agent-hook", "copilot"}, "{}", true, "", "unknown agent"},
        QuietCase{"a missing agent", {"agent-hook"}, "{}", true, "", "needs an agent"},
        QuietCase{"a finished interactive command is not reported",
                  {"shell-done", "--status", "0", "--seconds", "99", "--", "vim notes.txt"},
                  "",
                  false,
                  "",
                  ""},
        QuietCase{"shell-done with a bad status",
                  {"shell-done", "--status", "x", "--", "make"},
                  "",
                  true,
                  "",
                  "shell-done needs"}),
    test::SentenceName());

TEST_F(HelperProcess, DeeplyNestedToolInputIsReportedWithoutCrashing) {
    FakeOrlet orlet(socketPath());
    const std::string nested = std::string(200000, '[') + std::string(200000, ']');
    const auto result = helper(
        {"agent-hook", "gemini"},
        R"({"hook_event_name":"BeforeTool","session_id":"s","tool_name":"x","tool_input":{"a":)" +
            nested + "}}");
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "{}");
    EXPECT_EQ(orlet.settle().size(), 1u);
}

TEST_F(HelperProcess, AHookWhoseInputNeverEndsGivesUp) {
    const auto result = ChildProcess::run({ORLET_HELPER_PATH, "agent-hook", "cursor"},
                                          {{"HOME", home_.string()}}, "", true);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "{}");
    EXPECT_NE(result.err.find("no hook input arrived"), std::string::npos) << result.err;
}

TEST_F(HelperProcess, AgentHookGivesUpOnAnApplicationThatNeverAccepts) {
    FakeOrlet orlet(socketPath(), {}, 0, false);
    // Fill the listen queue so that further connections cannot even be queued.
    std::vector<int> fillers;
    for (int i = 0; i < 64; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, socketPath().c_str());
        const bool queued =
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        fillers.push_back(fd);
        if (!queued) {
            break;
        }
    }
    const auto result =
        helper({"agent-hook", "gemini"}, R"({"hook_event_name":"AfterAgent","session_id":"s"})");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "{}");
    EXPECT_NE(result.err.find("in time"), std::string::npos) << result.err;
    for (int fd : fillers) {
        ::close(fd);
    }
}

TEST_F(HelperProcess, ShellDoneSendsTheNotification) {
    FakeOrlet orlet(socketPath());
    const auto result = helper({"shell-done", "--status", "2", "--seconds", "95", "--", "make"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(orlet.settle(),
              std::vector<std::string>{
                  "{\"message\":\"make failed (exit 2) \u00b7 1m 35s\",\"severity\":\"warning\","
                  "\"type\":\"notify\",\"v\":1}\n"});
}

TEST_F(HelperProcess, ShellInitPrintsTheScriptForItsOwnPath) {
    const auto result = helper({"shell-init", "zsh"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, ShellHook::zshInit(fs::canonical(ORLET_HELPER_PATH).string()) + "\n");
    EXPECT_EQ(helper({"shell-init", "fish"}).exitCode, 2);
}

std::vector<std::string> answer(const std::string& line, const char* helloReply) {
    const auto message = ActivityMessage::decode(line);
    if (!message) {
        return {R"({"message":"invalid JSON message","type":"error","v":1})"
                "\n"};
    }
    if (message->type == "hello") {
        return {helloReply};
    }
    if (message->type == "ping") {
        return {ActivityMessage("pong").line()};
    }
    return {};
}

const char* welcome = "{\"type\":\"welcome\",\"v\":1}\n";
const char* pending = "{\"type\":\"pending\",\"v\":1}\n";
const char* denied = "{\"message\":\"tmux is not allowed in Orlet's Settings \u2192 Connections\","
                     "\"type\":\"denied\",\"v\":1}\n";

TEST_F(HelperProcess, NotifySaysHelloThenSendsTheText) {
    FakeOrlet orlet(socketPath(), [](const std::string& line) { return answer(line, welcome); });
    const auto result = helper({"notify", "--severity", "success", "Deploy", "finished"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(orlet.settle(),
              std::vector<std::string>{"{\"type\":\"hello\",\"v\":1}\n"
                                       "{\"message\":\"Deploy finished\",\"severity\":\"success\","
                                       "\"type\":\"notify\",\"v\":1}\n"});
}

struct NotifyCase {
    const char* sentence;
    std::vector<std::string> arguments;
    const char* helloReply; // nullptr: nothing listens
    int exitCode;
    const char* errorContains;
};

class HelperNotify : public HelperProcess, public testing::WithParamInterface<NotifyCase> {};

TEST_P(HelperNotify, ReportsWhatHappened) {
    const NotifyCase& c = GetParam();
    std::optional<FakeOrlet> orlet;
    if (c.helloReply != nullptr) {
        orlet.emplace(socketPath(),
                      [&](const std::string& line) { return answer(line, c.helloReply); });
    }
    const auto result = helper(c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.sentence << ": " << result.err;
    EXPECT_NE(result.err.find(c.errorContains), std::string::npos)
        << c.sentence << ": " << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HelperNotify,
    testing::Values(NotifyCase{"not running", {"notify", "hi"}, nullptr, 1, "Orlet is not running"},
                    NotifyCase{"denied", {"notify", "hi"}, denied, 1, "tmux is not allowed"},
                    NotifyCase{
                        "awaiting approval", {"notify", "hi"}, pending, 0, "once you allow it"},
                    NotifyCase{"no text", {"notify"}, welcome, 2, "needs a text"},
                    NotifyCase{"blank text", {"notify", " \n "}, welcome, 2, "needs a text"},
                    NotifyCase{"unknown severity",
                               {"notify", "--severity", "loud", "hi"},
                               welcome,
                               2,
                               "unknown severity"},
                    NotifyCase{"unknown option",
                               {"notify", "--color", "red", "hi"},
                               welcome,
                               2,
                               "unknown option --color"},
                    NotifyCase{"no answer", {"notify", "hi"}, "", 1, "did not answer"}),
    test::SentenceName());

TEST_F(HelperProcess, StatusListsToolsAndAsksTheApplication) {
    fs::create_directories(home_ / ".claude");
    ASSERT_EQ(helper({"connect", "claude"}).exitCode, 0);
    {
        FakeOrlet orlet(socketPath(),
                        [](const std::string& line) { return answer(line, welcome); });
        const auto result = helper({"status"});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_NE(result.out.find("Claude Code     connected\n"), std::string::npos) << result.out;
        EXPECT_NE(result.out.find("Cursor          not connected (not found)\n"), std::string::npos)
            << result.out;
        EXPECT_NE(result.out.find("Orlet           running, answers\n"), std::string::npos)
            << result.out;
    }
    const auto absent = helper({"status"});
    EXPECT_EQ(absent.exitCode, 1);
    EXPECT_NE(absent.out.find("Orlet           not running\n"), std::string::npos);
}

TEST_F(HelperProcess, ConnectThenDisconnectLeavesTheSettingsFileAsItWas) {
    const std::string original = "{\n  \"model\": \"opus\",\n  \"hooks\": {\"Stop\": [{\"hooks\": "
                                 "[{\"type\": \"command\", \"command\": \"say done\"}]}]}\n}\n";
    fs::create_directories(home_ / ".claude");
    std::ofstream(home_ / ".claude/settings.json") << original;

    const auto connected = helper({"connect", "claude"});
    EXPECT_EQ(connected.exitCode, 0) << connected.err;
    EXPECT_EQ(connected.out, "Connected Claude Code (~/.claude/settings.json).\n");
    const std::string withHooks = AtomicFile::read(home_ / ".claude/settings.json").value();
    EXPECT_NE(withHooks.find(fs::canonical(ORLET_HELPER_PATH).string() + " agent-hook claude"),
              std::string::npos);
    EXPECT_NE(withHooks.find("say done"), std::string::npos);

    const auto disconnected = helper({"disconnect", "claude"});
    EXPECT_EQ(disconnected.exitCode, 0) << disconnected.err;
    EXPECT_EQ(AtomicFile::read(home_ / ".claude/settings.json").value(), original);
}

TEST_F(HelperProcess, ConnectReportsAFileItWillNotTouch) {
    fs::create_directories(home_ / ".cursor");
    std::ofstream(home_ / ".cursor/hooks.json") << "{broken";
    const auto result = helper({"connect", "cursor"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("isn't valid JSON, so Orlet left it alone"), std::string::npos);
    EXPECT_EQ(AtomicFile::read(home_ / ".cursor/hooks.json").value(), "{broken");
    EXPECT_EQ(helper({"connect", "vscode"}).exitCode, 2);
    EXPECT_EQ(helper({"connect"}).exitCode, 2);
}

TEST_F(HelperProcess, ConnectTerminalPrintsTheNextStep) {
    const auto result = helper({"connect", "terminal"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "Connected Terminal (zsh) (~/.zshrc).\n"
                          "Open a new Terminal window to start it.\n");
}

std::vector<nlohmann::json> lines(const std::string& bytes) {
    std::vector<nlohmann::json> result;
    std::size_t start = 0;
    for (std::size_t feed; (feed = bytes.find('\n', start)) != std::string::npos;
         start = feed + 1) {
        result.push_back(nlohmann::json::parse(bytes.substr(start, feed - start)));
    }
    return result;
}

TEST_F(HelperProcess, RunReportsTheCommandAndPassesItsStatusThrough) {
    FakeOrlet orlet(socketPath(), [](const std::string& line) { return answer(line, welcome); });
    const auto result = helper({"run", "--title", "Build", "--", "sh", "-c", "cat; exit 3"},
                               "input passes through");
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out, "input passes through");
    const auto received = orlet.settle();
    ASSERT_EQ(received.size(), 1u) << "one connection for the whole run";
    const auto sent = lines(received[0]);
    ASSERT_EQ(sent.size(), 3u) << received[0];
    EXPECT_EQ(sent[0], (nlohmann::json{{"type", "hello"}, {"persistent", true}, {"v", 1}}));
    EXPECT_EQ(sent[1]["type"], "activity.start");
    EXPECT_EQ(sent[1]["title"], "Build");
    EXPECT_EQ(sent[1]["kind"], "progress");
    EXPECT_EQ(sent[2]["type"], "activity.end");
    EXPECT_EQ(sent[2]["id"], sent[1]["id"]);
    EXPECT_EQ(sent[2]["result"], "failed");
    EXPECT_EQ(sent[2]["message"], "Build failed (exit 3)");
}

TEST_F(HelperProcess, RunEndsWithTheSignalThatEndedTheCommand) {
    FakeOrlet orlet(socketPath());
    const auto result = helper({"run", "--", "sh", "-c", "kill -TERM $$"});
    EXPECT_EQ(result.signal, SIGTERM);
    const auto sent = lines(orlet.settle().at(0));
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1]["title"], "sh -c kill -TERM $$");
    EXPECT_EQ(sent[2]["result"], "failed");
}

struct InheritedCase {
    const char* sentence;
    const char* script; // runs `orlet run` through exec, as $0
    int exitCode;
};

class HelperRunInherits : public HelperProcess,
                          public testing::WithParamInterface<InheritedCase> {};

TEST_P(HelperRunInherits, WhatItsCallerSetUp) {
    const auto result = ChildProcess::run({"sh", "-c", GetParam().script, ORLET_HELPER_PATH},
                                          {{"HOME", home_.string()}, {"PATH", "/usr/bin:/bin"}});
    EXPECT_EQ(result.signal, 0) << GetParam().sentence;
    EXPECT_EQ(result.exitCode, GetParam().exitCode) << GetParam().sentence << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HelperRunInherits,
    testing::Values(InheritedCase{"an ignored SIGCHLD does not hide the exit status",
                                  R"(trap '' CHLD; exec "$0" run -- sh -c 'exit 7')", 7},
                    InheritedCase{"a hang-up ignored by nohup stays ignored",
                                  R"(trap '' HUP; exec "$0" run -- sh -c 'kill -HUP $$; exit 3')",
                                  3},
                    InheritedCase{"an interrupt ignored by a background job stays ignored",
                                  R"(trap '' INT; exec "$0" run -- sh -c 'kill -INT $$; exit 4')",
                                  4}),
    test::SentenceName());

TEST_F(HelperProcess, RunWithATitleButNoValueIsAUsageError) {
    const auto result = helper({"run", "--title", "--", "true"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("run needs a command"), std::string::npos);
}

TEST_F(HelperProcess, RunWorksWithoutTheApplication) {
    const auto result = helper({"run", "--", "sh", "-c", "echo out; echo err >&2; exit 0"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "out\n");
    EXPECT_EQ(result.err, "err\n");
    const auto missing = helper({"run", "--", "/no/such/program"});
    EXPECT_EQ(missing.exitCode, 127);
    EXPECT_NE(missing.err.find("cannot run /no/such/program"), std::string::npos);
}

TEST_F(HelperProcess, EverySubcommandHasHelp) {
    for (const char* command : {"agent-hook", "claude-hook", "shell-init", "shell-done", "notify",
                                "connect", "disconnect", "status", "run"}) {
        const auto result = helper({command, "--help"});
        EXPECT_EQ(result.exitCode, 0) << command;
        EXPECT_TRUE(result.out.starts_with(std::string("usage: orlet ") + command)) << result.out;
    }
    EXPECT_EQ(helper({"--help"}).exitCode, 0);
    EXPECT_EQ(helper({}).exitCode, 2);
    EXPECT_EQ(helper({"frobnicate"}).exitCode, 2);
}

} // namespace
} // namespace orlet
