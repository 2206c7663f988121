#include "OrletKit/Connector.h"

#include "OrletKit/AtomicFile.h"
#include "OrletKit/ShellHook.h"

#include <nlohmann/json.hpp>

namespace orlet {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct HookEvent {
    std::string_view name;
    std::optional<std::string_view> matcher;
};

constexpr std::array<HookEvent, 6> claudeEvents{{{"UserPromptSubmit", {}},
                                                 {"PreToolUse", "*"},
                                                 {"PostToolUse", "*"},
                                                 {"Notification", {}},
                                                 {"Stop", {}},
                                                 {"SessionEnd", {}}}};
constexpr std::array<HookEvent, 7> codexEvents{{{"UserPromptSubmit", {}},
                                                {"PreToolUse", {}},
                                                {"PostToolUse", {}},
                                                {"PermissionRequest", {}},
                                                {"Stop", {}},
                                                {"Interrupt", {}},
                                                {"SessionEnd", {}}}};
constexpr std::array<HookEvent, 6> cursorEvents{{{"beforeSubmitPrompt", {}},
                                                 {"afterShellExecution", {}},
                                                 {"afterFileEdit", {}},
                                                 {"postToolUse", {}},
                                                 {"stop", {}},
                                                 {"sessionEnd", {}}}};
constexpr std::array<HookEvent, 6> geminiEvents{{{"BeforeAgent", {}},
                                                 {"BeforeTool", ".*"},
                                                 {"AfterTool", ".*"},
                                                 {"Notification", {}},
                                                 {"AfterAgent", {}},
                                                 {"SessionEnd", {}}}};

std::span<const HookEvent> events(Connector::Tool tool) {
    switch (tool) {
    case Connector::Tool::claude:
        return claudeEvents;
    case Connector::Tool::codex:
        return codexEvents;
    case Connector::Tool::cursor:
        return cursorEvents;
    case Connector::Tool::gemini:
        return geminiEvents;
    case Connector::Tool::terminal:
        break;
    }
    return {};
}

constexpr std::array<Connector, 5> connectors{Connector::Tool::claude, Connector::Tool::codex,
                                              Connector::Tool::cursor, Connector::Tool::gemini,
                                              Connector::Tool::terminal};

bool isOrletCommand(const json& entry) {
    const auto command = entry.find("command");
    if (command == entry.end() || !command->is_string()) {
        return false;
    }
    const std::string& text = command->get_ref<const std::string&>();
    return text.find("orlet") != std::string::npos &&
           (text.find("agent-hook") != std::string::npos ||
            text.find("claude-hook") != std::string::npos);
}

bool isArrayOfObjects(const json& value) {
    if (!value.is_array()) {
        return false;
    }
    for (const json& element : value) {
        if (!element.is_object()) {
            return false;
        }
    }
    return true;
}

// Drops this application's entries from a hooks object; other values stay as they are. A group
// or event is dropped only when it became empty here: the user's own empty ones stay.
json removingOrlet(const json& hooks) {
    json result = json::object();
    for (const auto& [event, value] : hooks.items()) {
        if (!isArrayOfObjects(value)) {
            result[event] = value;
            continue;
        }
        json kept = json::array();
        for (const json& group : value) {
            const auto inner = group.find("hooks");
            if (inner != group.end() && isArrayOfObjects(*inner)) {
                json innerKept = json::array();
                for (const json& entry : *inner) {
                    if (!isOrletCommand(entry)) {
                        innerKept.push_back(entry);
                    }
                }
                if (!innerKept.empty() || inner->empty()) {
                    json copy = group;
                    copy["hooks"] = std::move(innerKept);
                    kept.push_back(std::move(copy));
                }
            } else if (!isOrletCommand(group)) {
                kept.push_back(group);
            }
        }
        if (!kept.empty() || value.empty()) {
            result[event] = std::move(kept);
        }
    }
    return result;
}

json readConfiguration(const fs::path& file) {
    const std::optional<std::string> text = AtomicFile::read(file);
    if (!text || text->empty()) {
        return json::object();
    }
    json root = json::parse(*text, nullptr, false);
    if (!root.is_object()) {
        throw Connector::Failure(file);
    }
    return root;
}

std::string pretty(const json& root) {
    return root.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

void backUp(const fs::path& file) {
    const fs::path backup = file.string() + ".orlet-backup";
    if (fs::exists(file) && !fs::exists(fs::symlink_status(backup))) {
        fs::copy_file(file, backup);
    }
}

std::optional<std::string> backupText(const fs::path& file) {
    return AtomicFile::read(file.string() + ".orlet-backup");
}

} // namespace

Connector::Failure::Failure(const fs::path& path)
    : std::runtime_error(path.string() +
                         " isn't valid JSON, so Orlet left it alone. Fix it, then try again."),
      path_(path) {}

std::span<const Connector> Connector::allCases() {
    return connectors;
}

std::optional<Connector> Connector::fromID(std::string_view id) {
    for (const Connector& connector : connectors) {
        if (connector.id() == id) {
            return connector;
        }
    }
    return std::nullopt;
}

std::string_view Connector::id() const {
    switch (tool_) {
    case Tool::claude:
        return "claude";
    case Tool::codex:
        return "codex";
    case Tool::cursor:
        return "cursor";
    case Tool::gemini:
        return "gemini";
    case Tool::terminal:
        return "terminal";
    }
    return "terminal";
}

std::string_view Connector::title() const {
    switch (tool_) {
    case Tool::claude:
        return "Claude Code";
    case Tool::codex:
        return "Codex CLI";
    case Tool::cursor:
        return "Cursor";
    case Tool::gemini:
        return "Gemini CLI";
    case Tool::terminal:
        return "Terminal (zsh)";
    }
    return "";
}

std::string_view Connector::detail() const {
    switch (tool_) {
    case Tool::claude:
    case Tool::codex:
    case Tool::gemini:
        return "Working, needs you and done, for every session";
    case Tool::cursor:
        return "Agent working and done, in the editor and cursor-agent";
    case Tool::terminal:
        return "Commands that take over 30 s pop up when they finish";
    }
    return "";
}

std::string_view Connector::configPath() const {
    switch (tool_) {
    case Tool::claude:
        return ".claude/settings.json";
    case Tool::codex:
        return ".codex/hooks.json";
    case Tool::cursor:
        return ".cursor/hooks.json";
    case Tool::gemini:
        return ".gemini/settings.json";
    case Tool::terminal:
        return ".zshrc";
    }
    return "";
}

std::optional<std::string_view> Connector::afterConnecting() const {
    switch (tool_) {
    case Tool::codex:
        return "In Codex, type /hooks once and trust Orlet's hook.";
    case Tool::cursor:
        return "Restart Cursor to load the hook.";
    case Tool::terminal:
        return "Open a new Terminal window to start it.";
    case Tool::claude:
    case Tool::gemini:
        break;
    }
    return std::nullopt;
}

fs::path Connector::file(const Home& home) const {
    return home.url / configPath();
}

std::string Connector::quoted(std::string_view cli) {
    if (cli.find(' ') == std::string_view::npos) {
        return std::string(cli);
    }
    std::string quoted;
    quoted.reserve(cli.size() + 2);
    quoted += '"';
    quoted += cli;
    quoted += '"';
    return quoted;
}

std::string Connector::block(std::string_view cli) {
    const std::string q = ShellHook::shellQuoted(cli);
    return std::string(blockStart) +
           " (added by Orlet: long commands pop up in the notch when they finish)\n" +
           "[[ -o interactive && -x " + q + " ]] && eval \"$(" + q + " shell-init zsh)\"\n" +
           std::string(blockEnd) + "\n";
}

std::string Connector::removingBlock(std::string_view text) {
    const std::size_t start = text.find(blockStart);
    if (start == std::string_view::npos) {
        return std::string(text);
    }
    const std::size_t end = text.find(blockEnd, start);
    if (end == std::string_view::npos) {
        return std::string(text);
    }
    std::size_t after = end + blockEnd.size();
    for (int feeds = 0; feeds < 2 && after < text.size() && text[after] == '\n'; ++feeds) {
        ++after;
    }
    return std::string(text.substr(0, start)) + std::string(text.substr(after));
}

void Connector::connect(std::string_view cli, const Home& home) const {
    const fs::path path = file(home);
    fs::create_directories(path.parent_path());
    backUp(path);
    if (tool_ == Tool::terminal) {
        connectTerminal(cli, path);
    } else {
        connectAgent(cli, path);
    }
}

void Connector::connectTerminal(std::string_view cli, const fs::path& path) const {
    std::string text = removingBlock(AtomicFile::read(path).value_or(""));
    if (!text.empty() && text.back() != '\n') {
        text += '\n';
    }
    text += block(cli);
    AtomicFile::write(path, text);
}

void Connector::connectAgent(std::string_view cli, const fs::path& path) const {
    json root = readConfiguration(path);
    const auto existing = root.find("hooks");
    json hooks =
        removingOrlet(existing != root.end() && existing->is_object() ? *existing : json::object());
    const std::string command = quoted(cli) + " agent-hook " + std::string(id());
    for (const HookEvent& event : events(tool_)) {
        const std::string name(event.name);
        json list =
            hooks.contains(name) && isArrayOfObjects(hooks[name]) ? hooks[name] : json::array();
        json entry;
        if (tool_ == Tool::cursor) {
            entry = {{"command", command}};
        } else {
            entry = {{"hooks", json::array({{{"type", "command"}, {"command", command}}})}};
            if (event.matcher) {
                entry["matcher"] = std::string(*event.matcher);
            }
        }
        list.push_back(std::move(entry));
        hooks[name] = std::move(list);
    }
    root["hooks"] = std::move(hooks);
    if (tool_ == Tool::cursor && !root.contains("version")) {
        root["version"] = 1;
    }
    AtomicFile::write(path, pretty(root));
}

void Connector::disconnect(const Home& home) const {
    const fs::path path = file(home);
    if (!fs::exists(path)) {
        return;
    }
    const std::optional<std::string> backup = backupText(path);
    if (tool_ == Tool::terminal) {
        const std::string text = AtomicFile::read(path).value_or("");
        std::string without = removingBlock(text);
        if (without == text) {
            return;
        }
        // Connecting may have added a line feed to a file that lacked one: give back the
        // original bytes when nothing else changed since.
        if (backup && (without == *backup || without == *backup + "\n")) {
            without = *backup;
        }
        AtomicFile::write(path, without);
        return;
    }
    json root = readConfiguration(path);
    const auto existing = root.find("hooks");
    if (existing == root.end() || !existing->is_object()) {
        return;
    }
    json hooks = removingOrlet(*existing);
    if (hooks == *existing) {
        return; // nothing of ours: leave the user's formatting alone
    }
    if (hooks.empty()) {
        root.erase("hooks");
    } else {
        root["hooks"] = std::move(hooks);
    }
    // When the result is what the file held before the first connect, restore its exact bytes
    // (connecting re-sorted and re-indented them).
    if (backup) {
        const json before = json::parse(*backup, nullptr, false);
        if (before == root) {
            AtomicFile::write(path, *backup);
            return;
        }
    }
    AtomicFile::write(path, pretty(root));
}

bool Connector::isConnected(const Home& home) const {
    const std::optional<std::string> text = AtomicFile::read(file(home));
    if (!text) {
        return false;
    }
    if (tool_ == Tool::terminal) {
        return text->find(blockStart) != std::string::npos;
    }
    if (text->find("agent-hook " + std::string(id())) != std::string::npos) {
        return true;
    }
    return tool_ == Tool::claude && text->find("claude-hook") != std::string::npos;
}

bool Connector::isInstalled(const Home& home) const {
    if (tool_ == Tool::terminal) {
        return true;
    }
    const std::string_view relative = configPath();
    const std::string_view folder = relative.substr(0, relative.find('/'));
    std::error_code error;
    return fs::is_directory(home.url / folder, error);
}

} // namespace orlet
