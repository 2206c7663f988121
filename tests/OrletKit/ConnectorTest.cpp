#include "OrletKit/Connector.h"

#include "OrletKit/AtomicFile.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

namespace orlet {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr const char* cli = "/opt/orlet/libexec/orlet/orlet";

class TempHome : public testing::Test {
protected:
    Connector::Home home() const { return {home_}; }
    fs::path path(std::string_view relative) const { return home_ / relative; }

    void put(std::string_view relative, const std::string& content) const {
        fs::create_directories(path(relative).parent_path());
        std::ofstream(path(relative), std::ios::binary) << content;
    }
    std::string get(std::string_view relative) const {
        return AtomicFile::read(path(relative)).value_or("<missing>");
    }
    json getJSON(std::string_view relative) const { return json::parse(get(relative)); }

    static std::string fixture(const char* name) {
        return AtomicFile::read(fs::path(ORLET_SOURCE_DIR) / "tests/OrletKit/fixtures" / name)
            .value();
    }

    test::TemporaryDirectory directory_;
    const fs::path& home_ = directory_.path();
};

std::vector<std::string> commandsOf(const json& root, const std::string& event) {
    std::vector<std::string> commands;
    for (const json& group : root["hooks"][event]) {
        if (group.contains("hooks")) {
            for (const json& entry : group["hooks"]) {
                commands.push_back(entry.value("command", ""));
            }
        } else {
            commands.push_back(group.value("command", ""));
        }
    }
    return commands;
}

using ConnectorFiles = TempHome;

TEST_F(ConnectorFiles, ClaudeHooksAreAddedForEveryEventWithMatchers) {
    Connector(Connector::Tool::claude).connect(cli, home());
    const json root = getJSON(".claude/settings.json");
    const json expectedEntry = {
        {"hooks", {{{"command", std::string(cli) + " agent-hook claude"}, {"type", "command"}}}},
        {"matcher", "*"}};
    EXPECT_EQ(root["hooks"]["PreToolUse"], json::array({expectedEntry}));
    EXPECT_FALSE(root["hooks"]["Stop"][0].contains("matcher"));
    std::vector<std::string> events;
    for (const auto& [event, value] : root["hooks"].items()) {
        events.push_back(event);
    }
    EXPECT_EQ(events, (std::vector<std::string>{"Notification", "PostToolUse", "PreToolUse",
                                                "SessionEnd", "Stop", "UserPromptSubmit"}));
    EXPECT_TRUE(get(".claude/settings.json").ends_with("}\n"));
    EXPECT_FALSE(fs::exists(path(".claude/settings.json.orlet-backup")))
        << "no backup of a file that did not exist";
}

struct AgentFileCase {
    Connector::Tool tool;
    const char* file;
    const char* firstEvent;
    const char* matcher; // of the first event's entry, "" when none
};

class ConnectorAgents : public TempHome, public testing::WithParamInterface<AgentFileCase> {};

TEST_P(ConnectorAgents, AnEmptyFileGetsOnlyTheHooks) {
    const AgentFileCase& c = GetParam();
    put(c.file, "");
    const Connector connector(c.tool);
    connector.connect("/a b/orlet", home());
    const json root = getJSON(c.file);
    const std::string command = "\"/a b/orlet\" agent-hook " + std::string(connector.id());
    EXPECT_EQ(commandsOf(root, c.firstEvent), std::vector<std::string>{command});
    EXPECT_TRUE(connector.isConnected(home()));
    if (c.tool == Connector::Tool::cursor) {
        EXPECT_EQ(root, (json{{"hooks", root["hooks"]}, {"version", 1}}));
        EXPECT_EQ(root["hooks"][c.firstEvent][0], (json{{"command", command}}));
    } else {
        EXPECT_EQ(root, (json{{"hooks", root["hooks"]}}));
        const json& entry = root["hooks"][c.firstEvent][0];
        EXPECT_EQ(entry.value("matcher", ""), c.matcher);
    }
    connector.disconnect(home());
    EXPECT_FALSE(connector.isConnected(home()));
    const json empty = c.tool == Connector::Tool::cursor ? json{{"version", 1}} : json::object();
    EXPECT_EQ(getJSON(c.file), empty);
}

INSTANTIATE_TEST_SUITE_P(
    Agents, ConnectorAgents,
    testing::Values(
        AgentFileCase{Connector::Tool::claude, ".claude/settings.json", "PreToolUse", "*"},
        AgentFileCase{Connector::Tool::codex, ".codex/hooks.json", "PermissionRequest", ""},
        AgentFileCase{Connector::Tool::cursor, ".cursor/hooks.json", "afterShellExecution", ""},
        AgentFileCase{Connector::Tool::gemini, ".gemini/settings.json", "BeforeTool", ".*"}),
    [](const auto& info) { return test::caseName(info.index, info.param.file); });

TEST_F(ConnectorFiles, GeminiToolEventsMatchEveryTool) {
    Connector(Connector::Tool::gemini).connect(cli, home());
    const json root = getJSON(".gemini/settings.json");
    EXPECT_EQ(root["hooks"]["BeforeTool"][0]["matcher"], ".*");
    EXPECT_EQ(root["hooks"]["AfterTool"][0]["matcher"], ".*");
    EXPECT_FALSE(root["hooks"]["BeforeAgent"][0].contains("matcher"));
}

TEST_F(ConnectorFiles, ConnectingTwiceLeavesOneEntryPerEvent) {
    const Connector claude(Connector::Tool::claude);
    claude.connect(cli, home());
    claude.connect("/new/place/orlet", home());
    const json root = getJSON(".claude/settings.json");
    EXPECT_EQ(commandsOf(root, "Stop"),
              std::vector<std::string>{"/new/place/orlet agent-hook claude"});
}

TEST_F(ConnectorFiles, UserHooksAndSettingsSurviveAndDisconnectRestoresTheFileExactly) {
    const std::string original = fixture("claude-settings.json");
    put(".claude/settings.json", original);
    ::chmod(path(".claude/settings.json").c_str(), 0600);
    const Connector claude(Connector::Tool::claude);

    claude.connect(cli, home());
    EXPECT_EQ(get(".claude/settings.json.orlet-backup"), original);
    json root = getJSON(".claude/settings.json");
    EXPECT_EQ(
        commandsOf(root, "PreToolUse"),
        (std::vector<std::string>{"~/bin/audit-bash", std::string(cli) + " agent-hook claude"}));
    EXPECT_EQ(root["model"], "opus");
    EXPECT_EQ(root["env"]["BIG"], 12345678901234);
    EXPECT_EQ(root["statusLine"]["command"], "~/bin/line ✓");
    struct stat info {};
    ASSERT_EQ(::stat(path(".claude/settings.json").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "a private settings file stays private";

    // A later connect keeps the first backup.
    claude.connect(cli, home());
    EXPECT_EQ(get(".claude/settings.json.orlet-backup"), original);

    claude.disconnect(home());
    EXPECT_EQ(get(".claude/settings.json"), original);
}

TEST_F(ConnectorFiles, DisconnectKeepsChangesMadeSinceConnecting) {
    put(".claude/settings.json", fixture("claude-settings.json"));
    const Connector claude(Connector::Tool::claude);
    claude.connect(cli, home());
    json root = getJSON(".claude/settings.json");
    root["model"] = "sonnet";
    put(".claude/settings.json", root.dump(2));

    claude.disconnect(home());
    root = getJSON(".claude/settings.json");
    EXPECT_EQ(root["model"], "sonnet");
    EXPECT_EQ(commandsOf(root, "PreToolUse"), std::vector<std::string>{"~/bin/audit-bash"});
    EXPECT_FALSE(root["hooks"].contains("Stop")) << "an event emptied by disconnect goes away";
    EXPECT_EQ(root["hooks"]["SubagentStop"], json::array()) << "the user's own empty event stays";
    EXPECT_FALSE(claude.isConnected(home()));
}

TEST_F(ConnectorFiles, AnEmptyHooksObjectIsRemovedOnDisconnect) {
    put(".codex/hooks.json", R"({"other": true})");
    const Connector codex(Connector::Tool::codex);
    codex.connect(cli, home());
    codex.disconnect(home());
    EXPECT_EQ(getJSON(".codex/hooks.json"), (json{{"other", true}}));
}

TEST_F(ConnectorFiles, DisconnectLeavesAFileWithoutOurHooksUntouched) {
    const std::string text = "{ \"hooks\": {\"Stop\": [{\"hooks\": [{\"command\": \"mine\"}]}]} }";
    put(".claude/settings.json", text);
    Connector(Connector::Tool::claude).disconnect(home());
    EXPECT_EQ(get(".claude/settings.json"), text);
}

TEST_F(ConnectorFiles, CursorEntriesOfOlderVersionsAreReplacedAndTheVersionKept) {
    put(".cursor/hooks.json",
        R"({"version": 2, "hooks": {"stop": [{"command": "/old/orlet agent-hook cursor"},
                                            {"command": "notify-send done"}]}})");
    const Connector cursor(Connector::Tool::cursor);
    cursor.connect(cli, home());
    json root = getJSON(".cursor/hooks.json");
    EXPECT_EQ(root["version"], 2);
    EXPECT_EQ(
        commandsOf(root, "stop"),
        (std::vector<std::string>{"notify-send done", std::string(cli) + " agent-hook cursor"}));
    cursor.disconnect(home());
    root = getJSON(".cursor/hooks.json");
    EXPECT_EQ(commandsOf(root, "stop"), std::vector<std::string>{"notify-send done"});
    EXPECT_EQ(root["version"], 2);
}

TEST_F(ConnectorFiles, TheOlderClaudeHookCountsAsConnectedAndIsRemoved) {
    put(".claude/settings.json",
        R"({"hooks": {"Stop": [{"hooks": [{"type": "command", "command": "/Apps/orlet claude-hook"}]}]}})");
    const Connector claude(Connector::Tool::claude);
    EXPECT_TRUE(claude.isConnected(home()));
    claude.disconnect(home());
    EXPECT_FALSE(claude.isConnected(home()));
    EXPECT_EQ(getJSON(".claude/settings.json"), json::object());
}

TEST_F(ConnectorFiles, ValuesThatAreNotArraysOfObjectsAreKept) {
    put(".claude/settings.json",
        R"({"hooks": {"Custom": "keep me", "Mixed": [1, {"command": "orlet agent-hook x"}]}})");
    const Connector claude(Connector::Tool::claude);
    claude.connect(cli, home());
    claude.disconnect(home());
    const json root = getJSON(".claude/settings.json");
    EXPECT_EQ(root["hooks"]["Custom"], "keep me");
    EXPECT_EQ(root["hooks"]["Mixed"].size(), 2u);
}

struct UnreadableCase {
    const char* sentence;
    const char* content;
};

class ConnectorUnreadable : public TempHome, public testing::WithParamInterface<UnreadableCase> {};

TEST_P(ConnectorUnreadable, RefusesAndLeavesTheFileUntouched) {
    put(".gemini/settings.json", GetParam().content);
    const Connector gemini(Connector::Tool::gemini);
    try {
        gemini.connect(cli, home());
        FAIL() << GetParam().sentence << ": connect did not refuse";
    } catch (const Connector::Failure& failure) {
        EXPECT_EQ(std::string(failure.what()),
                  path(".gemini/settings.json").string() +
                      " isn't valid JSON, so Orlet left it alone. Fix it, then try again.");
    }
    EXPECT_EQ(get(".gemini/settings.json"), GetParam().content);
    EXPECT_EQ(get(".gemini/settings.json.orlet-backup"), GetParam().content)
        << "the backup is made before the check";
    EXPECT_THROW(gemini.disconnect(home()), Connector::Failure);
    EXPECT_EQ(get(".gemini/settings.json"), GetParam().content);
}

INSTANTIATE_TEST_SUITE_P(Cases, ConnectorUnreadable,
                         testing::Values(UnreadableCase{"an array", "[1,2]"},
                                         UnreadableCase{"a trailing comma", "{\"a\": 1,}"},
                                         UnreadableCase{"a string", "\"hooks\""},
                                         UnreadableCase{"comments", "// mine\n{}"}),
                         test::SentenceName());

TEST_F(ConnectorFiles, TerminalBlockIsAppendedOnceAndRemovedByteForByte) {
    const std::string original = "export EDITOR=vim\n\nsource ~/.aliases\n";
    put(".zshrc", original);
    const Connector terminal(Connector::Tool::terminal);
    terminal.connect("/opt/it's/orlet", home());
    terminal.connect("/opt/it's/orlet", home());
    const std::string expectedBlock =
        "# >>> orlet >>> (added by Orlet: long commands pop up in the notch when they finish)\n"
        "[[ -o interactive && -x '/opt/it'\\''s/orlet' ]] && eval \"$('/opt/it'\\''s/orlet' "
        "shell-init zsh)\"\n"
        "# <<< orlet <<<\n";
    EXPECT_EQ(get(".zshrc"), original + expectedBlock);
    EXPECT_TRUE(terminal.isConnected(home()));

    terminal.disconnect(home());
    EXPECT_EQ(get(".zshrc"), original);
    EXPECT_FALSE(terminal.isConnected(home()));
}

TEST_F(ConnectorFiles, TerminalDisconnectRestoresAFileWithoutAFinalLineFeed) {
    const std::string original = fixture("zshrc-without-final-newline");
    ASSERT_NE(original.back(), '\n');
    put(".zshrc", original);
    const Connector terminal(Connector::Tool::terminal);
    terminal.connect(cli, home());
    EXPECT_EQ(get(".zshrc").substr(0, original.size() + 1), original + "\n");
    terminal.disconnect(home());
    EXPECT_EQ(get(".zshrc"), original);
}

TEST_F(ConnectorFiles, TerminalBlockInTheMiddleIsRemovedWithTheBlankLineAfterIt) {
    const Connector terminal(Connector::Tool::terminal);
    const std::string before = "a\n";
    const std::string after = "b\n";
    put(".zshrc", before + Connector::block(cli) + "\n" + after);
    terminal.disconnect(home());
    EXPECT_EQ(get(".zshrc"), before + after);
}

TEST_F(ConnectorFiles, ASymlinkedZshrcStaysALink) {
    put("dotfiles/zshrc", "setopt autocd\n");
    fs::create_symlink(path("dotfiles/zshrc"), path(".zshrc"));
    const Connector terminal(Connector::Tool::terminal);
    terminal.connect(cli, home());
    EXPECT_TRUE(fs::is_symlink(path(".zshrc")));
    EXPECT_TRUE(get("dotfiles/zshrc").starts_with("setopt autocd\n# >>> orlet >>>"));
    terminal.disconnect(home());
    EXPECT_TRUE(fs::is_symlink(path(".zshrc")));
    EXPECT_EQ(get("dotfiles/zshrc"), "setopt autocd\n");
}

TEST_F(ConnectorFiles, AMissingZshrcIsCreatedWithTheBlock) {
    Connector(Connector::Tool::terminal).connect(cli, home());
    EXPECT_EQ(get(".zshrc"), Connector::block(cli));
    EXPECT_FALSE(fs::exists(path(".zshrc.orlet-backup")));
}

TEST_F(ConnectorFiles, DisconnectingAMissingFileDoesNothing) {
    for (const Connector& connector : Connector::allCases()) {
        connector.disconnect(home());
        EXPECT_FALSE(fs::exists(path(connector.configPath()))) << connector.id();
    }
}

TEST_F(ConnectorFiles, AToolIsInstalledWhenItsFolderExists) {
    const Connector claude(Connector::Tool::claude);
    EXPECT_FALSE(claude.isInstalled(home()));
    fs::create_directories(path(".claude"));
    EXPECT_TRUE(claude.isInstalled(home()));
    EXPECT_TRUE(Connector(Connector::Tool::terminal).isInstalled(home()));
}

TEST_F(ConnectorFiles, AnUncreatableFolderIsReported) {
    put(".codex", "a file where the folder should be");
    EXPECT_THROW(Connector(Connector::Tool::codex).connect(cli, home()), fs::filesystem_error);
    EXPECT_EQ(get(".codex"), "a file where the folder should be");
}

TEST(Connector, DescribesEachTool) {
    std::vector<std::string> ids;
    for (const Connector& connector : Connector::allCases()) {
        ids.emplace_back(connector.id());
        EXPECT_EQ(Connector::fromID(connector.id()), connector);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"claude", "codex", "cursor", "gemini", "terminal"}));
    EXPECT_FALSE(Connector::fromID("Claude"));
    EXPECT_EQ(Connector(Connector::Tool::codex).afterConnecting(),
              "In Codex, type /hooks once and trust Orlet's hook.");
    EXPECT_FALSE(Connector(Connector::Tool::claude).afterConnecting());
    EXPECT_EQ(Connector(Connector::Tool::terminal).title(), "Terminal (zsh)");
}

} // namespace
} // namespace orlet
