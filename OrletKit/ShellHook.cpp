#include "OrletKit/ShellHook.h"

#include "OrletKit/Text.h"

#include <algorithm>
#include <array>
#include <vector>

namespace orlet {
namespace {

constexpr std::array<std::string_view, 7> prefixWords{"time",    "caffeinate", "nice",  "command",
                                                      "builtin", "exec",       "noglob"};
constexpr std::array<std::string_view, 2> followCommands{"tail", "journalctl"};
constexpr std::array<std::string_view, 3> argumentOnlyCommands{"python", "python3", "node"};
constexpr std::array<std::string_view, 41> interactiveCommands{
    "vim",   "nvim",   "vi",           "nano",    "emacs",     "micro",   "hx",      "less",
    "more",  "man",    "most",         "bat",     "ssh",       "mosh",    "tmux",    "screen",
    "top",   "htop",   "btop",         "watch",   "fzf",       "lazygit", "tig",     "claude",
    "codex", "gemini", "cursor-agent", "aider",   "python",    "python3", "ipython", "node",
    "irb",   "psql",   "mysql",        "sqlite3", "redis-cli", "zsh",     "bash",    "fish",
    "su"};

constexpr std::size_t messageLimit = 48;

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& list, std::string_view word) {
    return std::find(list.begin(), list.end(), word) != list.end();
}

std::vector<std::string_view> words(std::string_view command) {
    std::vector<std::string_view> result;
    std::size_t start = 0;
    while (start <= command.size()) {
        const std::size_t space = std::min(command.find(' ', start), command.size());
        if (space > start) {
            result.push_back(command.substr(start, space - start));
        }
        start = space + 1;
    }
    return result;
}

} // namespace

std::string ShellHook::shellQuoted(std::string_view path) {
    std::string quoted = "'";
    for (char c : path) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    quoted += '\'';
    return quoted;
}

std::string ShellHook::zshInit(std::string_view cli) {
    const std::string q = shellQuoted(cli);
    const std::string lines[] = {
        "zmodload zsh/datetime 2>/dev/null",
        "typeset -g __orlet_started=0 __orlet_command=\"\"",
        "__orlet_preexec() { __orlet_started=$EPOCHREALTIME; __orlet_command=$1 }",
        "__orlet_precmd() {",
        "  local exit_status=$?",
        "  (( __orlet_started > 0 )) || return",
        "  local seconds=$(( ${EPOCHREALTIME%.*} - ${__orlet_started%.*} ))",
        "  __orlet_started=0",
        "  (( seconds >= ${ORLET_MIN_SECONDS:-" + std::to_string(defaultMinSeconds) +
            "} )) || return",
        "  " + q +
            " shell-done --status $exit_status --seconds $seconds -- \"$__orlet_command\" "
            "&>/dev/null &!",
        "}",
        "autoload -Uz add-zsh-hook",
        "add-zsh-hook preexec __orlet_preexec",
        "add-zsh-hook precmd __orlet_precmd",
    };
    std::string script;
    for (const std::string& line : lines) {
        if (!script.empty()) {
            script += '\n';
        }
        script += line;
    }
    return script;
}

bool ShellHook::shouldReport(std::string_view command) {
    std::vector<std::string_view> list = words(command);
    std::size_t first = 0;
    while (first < list.size() && (list[first].find('=') != std::string_view::npos ||
                                   contains(prefixWords, list[first]))) {
        ++first;
    }
    if (first >= list.size()) {
        return false;
    }
    const std::string name = Text::lastPathComponent(list[first]);
    if (contains(followCommands, name) &&
        std::find(list.begin() + first, list.end(), "-f") != list.end()) {
        return false;
    }
    if (contains(argumentOnlyCommands, name)) {
        return list.size() - first > 1;
    }
    return !contains(interactiveCommands, name);
}

ActivityMessage ShellHook::message(std::string_view command, std::int32_t status,
                                   std::int64_t seconds) {
    const std::string text = Text::shortened(Text::oneLine(command), messageLimit);
    const std::string took = duration(seconds);
    ActivityMessage message("notify");
    if (status == 0) {
        message.message = text + " finished \u00b7 " + took;
        message.severity = "success";
    } else if (status == 130) {
        message.message = text + " stopped \u00b7 " + took;
        message.severity = "info";
    } else {
        message.message = text + " failed (exit " + std::to_string(status) + ") \u00b7 " + took;
        message.severity = "warning";
    }
    return message;
}

std::string ShellHook::duration(std::int64_t seconds) {
    if (seconds <= 59) {
        return std::to_string(seconds) + "s";
    }
    if (seconds <= 3599) {
        return std::to_string(seconds / 60) + "m " + std::to_string(seconds % 60) + "s";
    }
    return std::to_string(seconds / 3600) + "h " + std::to_string(seconds / 60 % 60) + "m";
}

} // namespace orlet
