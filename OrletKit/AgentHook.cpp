#include "OrletKit/AgentHook.h"

#include "OrletKit/Graphemes.h"
#include "OrletKit/Text.h"

#include <array>
#include <nlohmann/json.hpp>
#include <span>

namespace orlet {
namespace {

using nlohmann::json;

constexpr std::size_t stepLimit = 80;
constexpr std::size_t shellLimit = 60;

enum class Build {
    startWithPrompt,
    stepForTool,
    working,
    waitingWithMessage,
    waitingForPermission,
    ended,
    interrupted,
    sessionEnded,
    shellExecuted,
    fileEdited,
    stoppedWithStatus,
};

struct Rule {
    std::string_view event;
    Build build;
};

constexpr std::array claudeRules{
    Rule{"UserPromptSubmit", Build::startWithPrompt},
    Rule{"PreToolUse", Build::stepForTool},
    Rule{"PostToolUse", Build::working},
    Rule{"Notification", Build::waitingWithMessage},
    Rule{"Stop", Build::ended},
    Rule{"SessionEnd", Build::sessionEnded},
};

constexpr std::array codexRules{
    Rule{"UserPromptSubmit", Build::startWithPrompt},
    Rule{"PreToolUse", Build::stepForTool},
    Rule{"PostToolUse", Build::working},
    Rule{"PermissionRequest", Build::waitingForPermission},
    Rule{"Stop", Build::ended},
    Rule{"Interrupt", Build::interrupted},
    Rule{"SessionEnd", Build::sessionEnded},
};

constexpr std::array cursorRules{
    Rule{"beforeSubmitPrompt", Build::startWithPrompt},
    Rule{"preToolUse", Build::stepForTool},
    Rule{"afterShellExecution", Build::shellExecuted},
    Rule{"afterFileEdit", Build::fileEdited},
    Rule{"postToolUse", Build::working},
    Rule{"stop", Build::stoppedWithStatus},
    Rule{"sessionEnd", Build::sessionEnded},
};

constexpr std::array geminiRules{
    Rule{"BeforeAgent", Build::startWithPrompt},
    Rule{"BeforeTool", Build::stepForTool},
    Rule{"AfterTool", Build::working},
    Rule{"Notification", Build::waitingWithMessage},
    Rule{"AfterAgent", Build::ended},
    Rule{"SessionEnd", Build::sessionEnded},
};

std::span<const Rule> rules(Agent agent) {
    switch (agent) {
    case Agent::claude:
        return claudeRules;
    case Agent::codex:
        return codexRules;
    case Agent::cursor:
        return cursorRules;
    case Agent::gemini:
        return geminiRules;
    }
    return {};
}

// A member of the expected type, or nothing: a wrong type counts as absent.
const json* member(const json& object, const char* key) {
    if (!object.is_object()) {
        return nullptr;
    }
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

std::optional<std::string> string(const json& object, const char* key) {
    const json* value = member(object, key);
    if (value == nullptr || !value->is_string()) {
        return std::nullopt;
    }
    return value->get<std::string>();
}

bool isStringArray(const json& value) {
    if (!value.is_array()) {
        return false;
    }
    for (const json& element : value) {
        if (!element.is_string()) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> folder(const json& payload) {
    std::optional<std::string> path = string(payload, "cwd");
    if (!path) {
        const json* roots = member(payload, "workspace_roots");
        if (roots != nullptr && isStringArray(*roots) && !roots->empty()) {
            path = roots->front().get<std::string>();
        }
    }
    if (!path) {
        return std::nullopt;
    }
    return Text::lastPathComponent(*path);
}

std::string shellPhrase(std::string_view command) {
    return Text::shortened("$ " + Text::oneLine(command), shellLimit);
}

// A tool's command: a string as it is, an array of strings joined with spaces, else empty.
std::string toolCommand(const json* command) {
    std::string text;
    if (command != nullptr && command->is_string()) {
        text = command->get<std::string>();
    } else if (command != nullptr && isStringArray(*command)) {
        for (const json& word : *command) {
            if (!text.empty()) {
                text += ' ';
            }
            text += word.get_ref<const std::string&>();
        }
    }
    return text;
}

ActivityMessage update(const std::string& id, std::optional<std::string> step) {
    ActivityMessage message("activity.update");
    message.id = id;
    message.step = std::move(step);
    message.state = ActivityState::running;
    message.ttl = AgentHook::ttl;
    return message;
}

ActivityMessage waiting(const std::string& id, Agent agent,
                        const std::optional<std::string>& text) {
    ActivityMessage message("activity.update");
    message.id = id;
    message.step = text ? Text::shortened(Text::oneLine(*text), stepLimit)
                        : std::string(title(agent)) + " needs you";
    message.state = ActivityState::waiting;
    message.ttl = AgentHook::ttl;
    return message;
}

ActivityMessage ended(const std::string& id, ActivityState result, bool quiet) {
    ActivityMessage message("activity.end");
    message.id = id;
    message.result = result;
    if (quiet) {
        message.quiet = true;
    } else {
        message.message = result == ActivityState::failed      ? "Failed"
                          : result == ActivityState::cancelled ? "Stopped"
                                                               : "Done";
    }
    return message;
}

ActivityState cursorResult(const json& payload) {
    const std::optional<std::string> status = string(payload, "status");
    if (status == "aborted") {
        return ActivityState::cancelled;
    }
    if (status == "error") {
        return ActivityState::failed;
    }
    return ActivityState::done;
}

ActivityMessage build(Build kind, const json& payload, Agent agent, const std::string& id) {
    switch (kind) {
    case Build::startWithPrompt: {
        ActivityMessage message("activity.start");
        message.id = id;
        message.kind = "agent";
        message.title = std::string(title(agent));
        message.subtitle = folder(payload);
        if (const std::optional<std::string> prompt = string(payload, "prompt")) {
            message.step = Text::shortened(Text::oneLine(*prompt), stepLimit);
        }
        message.state = ActivityState::running;
        message.ttl = AgentHook::ttl;
        return message;
    }
    case Build::stepForTool: {
        // By reference: a copy of deeply nested input would recurse through all of it.
        static const json none;
        const json* input = member(payload, "tool_input");
        return update(id, AgentHook::describeTool(string(payload, "tool_name"),
                                                  input != nullptr ? *input : none));
    }
    case Build::working:
        return update(id, std::nullopt);
    case Build::waitingWithMessage:
        return waiting(id, agent, string(payload, "message"));
    case Build::waitingForPermission:
        return waiting(id, agent,
                       "Codex wants to use " + string(payload, "tool_name").value_or("a tool"));
    case Build::ended:
        return ended(id, ActivityState::done, false);
    case Build::interrupted:
        return ended(id, ActivityState::cancelled, false);
    case Build::sessionEnded:
        return ended(id, ActivityState::cancelled, true);
    case Build::shellExecuted:
        return update(id, shellPhrase(string(payload, "command").value_or("")));
    case Build::fileEdited:
        return update(id, "Editing " + AgentHook::fileName(member(payload, "file_path")));
    case Build::stoppedWithStatus:
        return ended(id, cursorResult(payload), false);
    }
    return update(id, std::nullopt);
}

struct ToolGroup {
    std::span<const std::string_view> names;
    enum class Phrase { shell, edit, read, fixed } phrase;
    std::string_view text; // the phrase for fixed groups
};

constexpr std::array<std::string_view, 6> shellTools{
    "Bash", "Shell", "shell", "exec_command", "run_shell_command", "local_shell"};
constexpr std::array<std::string_view, 10> editTools{
    "Edit",       "MultiEdit", "Write",     "NotebookEdit", "apply_patch",
    "write_file", "replace",   "edit_file", "StrReplace",   "Delete"};
constexpr std::array<std::string_view, 4> readTools{"Read", "read_file", "read_many_files",
                                                    "ReadFile"};
constexpr std::array<std::string_view, 9> searchTools{
    "Grep",           "Glob", "search_file_content", "glob", "Search", "codebase_search", "grep",
    "list_directory", "LS"};
constexpr std::array<std::string_view, 5> webTools{"WebFetch", "WebSearch", "web_fetch",
                                                   "google_web_search", "web_search"};
constexpr std::array<std::string_view, 2> subagentTools{"Task", "Agent"};
constexpr std::array<std::string_view, 3> planTools{"TodoWrite", "update_plan", "write_todos"};

const std::array<ToolGroup, 7> toolGroups{{
    {shellTools, ToolGroup::Phrase::shell, ""},
    {editTools, ToolGroup::Phrase::edit, ""},
    {readTools, ToolGroup::Phrase::read, ""},
    {searchTools, ToolGroup::Phrase::fixed, "Searching"},
    {webTools, ToolGroup::Phrase::fixed, "Browsing the web"},
    {subagentTools, ToolGroup::Phrase::fixed, "Running a subagent"},
    {planTools, ToolGroup::Phrase::fixed, "Planning"},
}};

std::string toolFile(const json& input) {
    for (const char* key : {"file_path", "path", "absolute_path"}) {
        if (const json* value = member(input, key)) {
            return AgentHook::fileName(value);
        }
    }
    return AgentHook::fileName(nullptr);
}

} // namespace

std::vector<ActivityMessage> AgentHook::messages(const json& payload, Agent agent) {
    const std::optional<std::string> event = string(payload, "hook_event_name");
    if (!event) {
        return {};
    }
    const std::string session =
        string(payload, "session_id")
            .value_or(string(payload, "conversation_id").value_or("default"));
    const std::string id = std::string(rawValue(agent)) + "-" + Graphemes::prefix(session, 12);
    for (const Rule& rule : rules(agent)) {
        if (rule.event == *event) {
            return {build(rule.build, payload, agent, id)};
        }
    }
    return {};
}

std::string AgentHook::describeTool(const std::optional<std::string>& name, const json& input) {
    if (!name) {
        return "Working";
    }
    for (const ToolGroup& group : toolGroups) {
        bool matches = false;
        for (std::string_view tool : group.names) {
            matches = matches || tool == *name;
        }
        if (!matches) {
            continue;
        }
        switch (group.phrase) {
        case ToolGroup::Phrase::shell:
            return shellPhrase(toolCommand(member(input, "command")));
        case ToolGroup::Phrase::edit:
            return "Editing " + toolFile(input);
        case ToolGroup::Phrase::read:
            return "Reading " + toolFile(input);
        case ToolGroup::Phrase::fixed:
            return std::string(group.text);
        }
    }
    if (name->starts_with("mcp__")) {
        std::string_view rest = *name;
        while (!rest.empty() && rest.back() == '_') {
            rest.remove_suffix(1);
        }
        const std::size_t underscore = rest.rfind('_');
        return "Using " + std::string(rest.substr(underscore + 1));
    }
    return *name;
}

std::string AgentHook::fileName(const json* value) {
    if (value == nullptr || !value->is_string()) {
        return "a file";
    }
    return Text::lastPathComponent(value->get<std::string>());
}

std::string AgentHook::oneLine(std::string_view text) {
    return Text::oneLine(text);
}

} // namespace orlet
