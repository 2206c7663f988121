#include "OrletKit/AgentHook.h"

#include "OrletKit/ClaudeHook.h"
#include "OrletKit/Graphemes.h"
#include "TestNames.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace orlet {
namespace {

using nlohmann::json;

// The wire line without its line feed: compares every field at once and reads well on failure.
std::string translate(const json& payload, Agent agent) {
    const std::vector<ActivityMessage> messages = AgentHook::messages(payload, agent);
    if (messages.empty()) {
        return "";
    }
    EXPECT_EQ(messages.size(), 1u);
    std::string line = messages.front().line();
    line.pop_back();
    return line;
}

struct HookCase {
    const char* sentence;
    Agent agent;
    json payload;
    const char* expected; // "" for no message
};

class AgentHookMessages : public testing::TestWithParam<HookCase> {};

TEST_P(AgentHookMessages, TranslatesTheEvent) {
    EXPECT_EQ(translate(GetParam().payload, GetParam().agent), GetParam().expected)
        << GetParam().sentence;
}

const json session = {{"session_id", "0123456789abcdefXYZ"}, {"cwd", "/home/me/src/orlet"}};

json event(const char* name, json extra = json::object()) {
    json payload = session;
    payload["hook_event_name"] = name;
    payload.update(extra);
    return payload;
}

INSTANTIATE_TEST_SUITE_P(
    Claude, AgentHookMessages,
    testing::Values(
        HookCase{
            "a prompt starts an agent activity named after the folder", Agent::claude,
            event("UserPromptSubmit", {{"prompt", "Fix the\nbuild"}}),
            R"({"id":"claude-0123456789ab","kind":"agent","state":"running","step":"Fix the build","subtitle":"orlet","title":"Claude","ttl":1800,"type":"activity.start","v":1})"},
        HookCase{
            "a tool call becomes the step", Agent::claude,
            event("PreToolUse", {{"tool_name", "Bash"}, {"tool_input", {{"command", "make -j2"}}}}),
            R"({"id":"claude-0123456789ab","state":"running","step":"$ make -j2","ttl":1800,"type":"activity.update","v":1})"},
        HookCase{
            "after a tool the agent is working without a step", Agent::claude, event("PostToolUse"),
            R"({"id":"claude-0123456789ab","state":"running","ttl":1800,"type":"activity.update","v":1})"},
        HookCase{
            "a notification means the agent waits for the user", Agent::claude,
            event("Notification", {{"message", "Claude needs your permission to use Bash"}}),
            R"({"id":"claude-0123456789ab","state":"waiting","step":"Claude needs your permission to use Bash","ttl":1800,"type":"activity.update","v":1})"},
        HookCase{
            "stop ends the activity as done", Agent::claude, event("Stop"),
            R"({"id":"claude-0123456789ab","message":"Done","result":"done","type":"activity.end","v":1})"},
        HookCase{
            "the end of a session ends quietly as cancelled", Agent::claude, event("SessionEnd"),
            R"({"id":"claude-0123456789ab","quiet":true,"result":"cancelled","type":"activity.end","v":1})"},
        HookCase{"an event of another agent gives nothing", Agent::claude,
                 event("PermissionRequest"), ""},
        HookCase{"event names are case-sensitive", Agent::claude, event("stop"), ""},
        HookCase{"no event name gives nothing", Agent::claude, session, ""},
        HookCase{"an event name of the wrong type gives nothing", Agent::claude,
                 json{{"hook_event_name", 3}}, ""},
        HookCase{"a payload that is not an object gives nothing", Agent::claude,
                 json::array({1, 2}), ""},
        HookCase{
            "without any session the id ends in default", Agent::claude,
            json{{"hook_event_name", "Stop"}},
            R"({"id":"claude-default","message":"Done","result":"done","type":"activity.end","v":1})"},
        HookCase{
            "a conversation id stands in for the session", Agent::claude,
            json{{"hook_event_name", "Stop"}, {"conversation_id", "conv"}},
            R"({"id":"claude-conv","message":"Done","result":"done","type":"activity.end","v":1})"}),
    test::SentenceName());

INSTANTIATE_TEST_SUITE_P(
    Codex, AgentHookMessages,
    testing::Values(
        HookCase{
            "a permission request names the tool", Agent::codex,
            event("PermissionRequest", {{"tool_name", "shell"}}),
            R"({"id":"codex-0123456789ab","state":"waiting","step":"Codex wants to use shell","ttl":1800,"type":"activity.update","v":1})"},
        HookCase{
            "a permission request without a tool", Agent::codex, event("PermissionRequest"),
            R"({"id":"codex-0123456789ab","state":"waiting","step":"Codex wants to use a tool","ttl":1800,"type":"activity.update","v":1})"},
        HookCase{
            "an interrupt is announced as stopped", Agent::codex, event("Interrupt"),
            R"({"id":"codex-0123456789ab","message":"Stopped","result":"cancelled","type":"activity.end","v":1})"},
        HookCase{"codex has no notification event", Agent::codex, event("Notification"), ""}),
    test::SentenceName());

INSTANTIATE_TEST_SUITE_P(
    Cursor, AgentHookMessages,
    testing::Values(
        HookCase{
            "the folder comes from the workspace roots", Agent::cursor,
            json{{"hook_event_name", "beforeSubmitPrompt"},
                 {"conversation_id", "c1"},
                 {"workspace_roots", {"/w/site", "/w/other"}},
                 {"prompt", "hi"}},
            R"({"id":"cursor-c1","kind":"agent","state":"running","step":"hi","subtitle":"site","title":"Cursor","ttl":1800,"type":"activity.start","v":1})"},
        HookCase{
            "a shell execution shows the command", Agent::cursor,
            json{{"hook_event_name", "afterShellExecution"},
                 {"conversation_id", "c1"},
                 {"command", "npm\ntest"}},
            R"({"id":"cursor-c1","state":"running","step":"$ npm test","ttl":1800,"type":"activity.update","v":1})"},
        HookCase{
            "a file edit names the file", Agent::cursor,
            json{{"hook_event_name", "afterFileEdit"},
                 {"conversation_id", "c1"},
                 {"file_path", "/w/site/index.html"}},
            R"({"id":"cursor-c1","state":"running","step":"Editing index.html","ttl":1800,"type":"activity.update","v":1})"},
        HookCase{
            "stop with an error fails", Agent::cursor,
            json{{"hook_event_name", "stop"}, {"conversation_id", "c1"}, {"status", "error"}},
            R"({"id":"cursor-c1","message":"Failed","result":"failed","type":"activity.end","v":1})"},
        HookCase{
            "stop when aborted is cancelled", Agent::cursor,
            json{{"hook_event_name", "stop"}, {"conversation_id", "c1"}, {"status", "aborted"}},
            R"({"id":"cursor-c1","message":"Stopped","result":"cancelled","type":"activity.end","v":1})"},
        HookCase{
            "stop with any other status is done", Agent::cursor,
            json{{"hook_event_name", "stop"}, {"conversation_id", "c1"}, {"status", "completed"}},
            R"({"id":"cursor-c1","message":"Done","result":"done","type":"activity.end","v":1})"}),
    test::SentenceName());

INSTANTIATE_TEST_SUITE_P(
    Gemini, AgentHookMessages,
    testing::Values(
        HookCase{
            "a notification without a message says the agent needs you", Agent::gemini,
            event("Notification"),
            R"({"id":"gemini-0123456789ab","state":"waiting","step":"Gemini needs you","ttl":1800,"type":"activity.update","v":1})"},
        HookCase{
            "after the agent it is done", Agent::gemini, event("AfterAgent"),
            R"({"id":"gemini-0123456789ab","message":"Done","result":"done","type":"activity.end","v":1})"}),
    test::SentenceName());

TEST(AgentHookMessages, ALongMultiLinePromptBecomesOneLineOfEightyCharacters) {
    std::string prompt;
    for (int i = 0; i < 20; ++i) {
        prompt += "line " + std::to_string(i) + " abc\n";
    }
    prompt.resize(200, 'x');
    const auto messages =
        AgentHook::messages(event("UserPromptSubmit", {{"prompt", prompt}}), Agent::claude);
    ASSERT_EQ(messages.size(), 1u);
    const std::string& step = *messages.front().step;
    EXPECT_EQ(Graphemes::count(step), 80u);
    EXPECT_TRUE(step.ends_with("\u2026"));
    EXPECT_EQ(step.find('\n'), std::string::npos);
    EXPECT_TRUE(step.starts_with("line 0 abc line 1 abc"));
}

TEST(AgentHookMessages, CutsPromptsAndSessionsBetweenCharactersNotBytes) {
    // Each family emoji is one character of 25 bytes; a byte cut would corrupt it.
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";
    std::string prompt;
    std::string sessionID;
    for (int i = 0; i < 100; ++i) {
        prompt += family;
        sessionID += "e\u0301";
    }
    json payload = event("UserPromptSubmit", {{"prompt", prompt}});
    payload["session_id"] = sessionID;
    const auto messages = AgentHook::messages(payload, Agent::claude);
    ASSERT_EQ(messages.size(), 1u);
    std::string expectedStep;
    for (int i = 0; i < 79; ++i) {
        expectedStep += family;
    }
    EXPECT_EQ(*messages.front().step, expectedStep + "\u2026");
    std::string expectedID = "claude-";
    for (int i = 0; i < 12; ++i) {
        expectedID += "e\u0301";
    }
    EXPECT_EQ(*messages.front().id, expectedID);
}

TEST(AgentHookMessages, ClaudeHookIsTheClaudeTranslation) {
    const json payload = event("PreToolUse", {{"tool_name", "Read"}});
    EXPECT_EQ(ClaudeHook::messages(payload), AgentHook::messages(payload, Agent::claude));
    EXPECT_EQ(ClaudeHook::ttl, 1800);
}

struct ToolCase {
    const char* sentence;
    std::optional<std::string> name;
    json input;
    const char* phrase;
};

class DescribeTool : public testing::TestWithParam<ToolCase> {};

TEST_P(DescribeTool, GivesAShortPhrase) {
    EXPECT_EQ(AgentHook::describeTool(GetParam().name, GetParam().input), GetParam().phrase)
        << GetParam().sentence;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DescribeTool,
    testing::Values(
        ToolCase{"no name means working", std::nullopt, json(), "Working"},
        ToolCase{"a command array is joined with spaces", "Bash",
                 json{{"command", {"git", "status"}}}, "$ git status"},
        ToolCase{"a command of another type is empty", "exec_command", json{{"command", 7}}, "$ "},
        ToolCase{"a mixed command array is empty", "shell", json{{"command", {"ls", 1}}}, "$ "},
        ToolCase{"a long command is cut to sixty characters", "Bash",
                 json{{"command", std::string(70, 'a')}},
                 "$ aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\u2026"},
        ToolCase{"a command of exactly fifty-eight characters stays whole", "Bash",
                 json{{"command", std::string(58, 'a')}},
                 "$ aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"},
        ToolCase{"read without input reads a file", "Read", json(), "Reading a file"},
        ToolCase{"edit names the last path component", "Edit", json{{"path", "/a/b/c.txt"}},
                 "Editing c.txt"},
        ToolCase{"file_path wins over path", "Write",
                 json{{"path", "/x/p.txt"}, {"file_path", "/x/f.txt"}}, "Editing f.txt"},
        ToolCase{"a present path of the wrong type is a file", "read_file",
                 json{{"file_path", 3}, {"path", "/x/p.txt"}}, "Reading a file"},
        ToolCase{"search tools search", "Grep", json(), "Searching"},
        ToolCase{"web tools browse", "google_web_search", json(), "Browsing the web"},
        ToolCase{"task runs a subagent", "Task", json(), "Running a subagent"},
        ToolCase{"todo lists plan", "write_todos", json(), "Planning"},
        ToolCase{"an MCP tool uses its last name piece", "mcp__files__open", json(), "Using open"},
        ToolCase{"tool names are case-sensitive", "bash", json(), "bash"},
        ToolCase{"an unlisted tool comes back unchanged", "Frobnicate", json(), "Frobnicate"}),
    test::SentenceName());

TEST(AgentHookFileName, TakesTheLastPathComponentOfStringsOnly) {
    const json path = "/a/b/report.pdf";
    const json number = 4;
    EXPECT_EQ(AgentHook::fileName(&path), "report.pdf");
    EXPECT_EQ(AgentHook::fileName(&number), "a file");
    EXPECT_EQ(AgentHook::fileName(nullptr), "a file");
}

} // namespace
} // namespace orlet
