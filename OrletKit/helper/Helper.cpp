#include "OrletKit/helper/Helper.h"

#include "OrletKit/AgentHook.h"
#include "OrletKit/ClaudeHook.h"
#include "OrletKit/Connector.h"
#include "OrletKit/OrletAPI.h"
#include "OrletKit/ShellHook.h"
#include "OrletKit/Text.h"
#include "OrletKit/helper/CommandLine.h"
#include "OrletKit/helper/ProcessRunner.h"
#include "OrletKit/helper/SocketClient.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <iostream>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sstream>
#include <unistd.h>

namespace orlet {
namespace {

constexpr std::string_view usage =
    R"(usage: orlet <command> [arguments]

Reports what coding agents and shell commands do to Orlet, the notch companion.

Commands:
  connect <tool>…        hook a tool up to Orlet (claude, codex, cursor, gemini, terminal)
  disconnect <tool>…     remove Orlet's hooks from a tool's configuration
  status                 which tools are connected, and whether Orlet answers
  notify [--severity S] TEXT
                         show TEXT in the notch (S: success, warning or critical)
  run [--title T] -- COMMAND…
                         run COMMAND and show it in the notch while it runs
  agent-hook <agent>     read a coding agent's hook event on standard input (used by hooks)
  claude-hook            the same for Claude Code, older form (used by hooks)
  shell-init zsh         print the zsh integration script (used by ~/.zshrc)
  shell-done --status N --seconds N -- COMMAND
                         report a finished shell command (used by the zsh integration)

Run "orlet <command> --help" for the details of one command.
)";

struct SubcommandHelp {
    std::string_view name;
    std::string_view text;
};

constexpr std::array helpTexts{
    SubcommandHelp{"agent-hook", R"(usage: orlet agent-hook <claude|codex|cursor|gemini>

Reads the agent's hook event (a JSON object) on standard input and reports it to Orlet.
Prints the agent's expected reply ("{}" for Cursor and Gemini CLI, nothing otherwise) and
always exits 0, so the agent is never blocked; problems go to standard error.
)"},
    SubcommandHelp{"claude-hook", R"(usage: orlet claude-hook

Older form of "orlet agent-hook claude", still found in Claude Code settings.
)"},
    SubcommandHelp{"shell-init", R"(usage: orlet shell-init zsh

Prints the zsh script that times every command line and reports long ones to Orlet.
"orlet connect terminal" adds the line that loads it to ~/.zshrc. Commands that take at
least 30 seconds are reported; set ORLET_MIN_SECONDS to change that.
)"},
    SubcommandHelp{"shell-done", R"(usage: orlet shell-done --status N --seconds N -- COMMAND

Reports a finished command line (used by the zsh integration). Interactive programs such as
editors, pagers and shells are never reported.
)"},
    SubcommandHelp{"notify", R"(usage: orlet notify [--severity success|warning|critical] TEXT…

Shows TEXT in the notch. Exits 1 when Orlet is not running or does not allow this app.
The first message from an app asks you once whether it may show activities.
)"},
    SubcommandHelp{"connect", R"(usage: orlet connect <claude|codex|cursor|gemini|terminal>…

Adds Orlet's hooks to the tool's own configuration file in your home directory:
  claude    ~/.claude/settings.json
  codex     ~/.codex/hooks.json
  cursor    ~/.cursor/hooks.json
  gemini    ~/.gemini/settings.json
  terminal  ~/.zshrc
Your own settings and hooks stay; the file is backed up once as <file>.orlet-backup.
)"},
    SubcommandHelp{"disconnect", R"(usage: orlet disconnect <claude|codex|cursor|gemini|terminal>…

Removes exactly what "orlet connect" added.
)"},
    SubcommandHelp{"status", R"(usage: orlet status

Lists the tools and whether each is connected, then asks Orlet for a reply.
Exits 1 when Orlet is not running or does not answer.
)"},
    SubcommandHelp{"run", R"(usage: orlet run [--title T] -- COMMAND…

Runs COMMAND with your terminal as it is (input, output, signals and exit status pass
through) and shows it in the notch while it runs, then how it ended and how long it took.
The command runs whether or not Orlet is running. T defaults to the command line.
)"},
};

std::string joined(std::span<const std::string> words) {
    std::string text;
    for (const std::string& word : words) {
        if (!text.empty()) {
            text += ' ';
        }
        text += word;
    }
    return text;
}

std::optional<long long> integer(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    long long value = 0;
    const char* end = text->data() + text->size();
    const auto [next, error] = std::from_chars(text->data(), end, value);
    if (error != std::errc() || next != end) {
        return std::nullopt;
    }
    return value;
}

std::string selfPath() {
    std::array<char, 4096> buffer{};
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) {
        return "orlet";
    }
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

} // namespace

Helper::Environment Helper::processEnvironment() {
    return Environment{OrletAPI::socketPath(),
                       selfPath(),
                       OrletAPI::homeDirectory(),
                       std::cin,
                       std::cout,
                       std::cerr,
                       STDIN_FILENO};
}

void Helper::complain(const std::string& text) {
    env_.err << "orlet: " << text << '\n';
}

int Helper::main(std::span<const std::string> arguments) {
    if (arguments.empty() || arguments.front() == "-h" || arguments.front() == "--help" ||
        arguments.front() == "help") {
        if (arguments.size() >= 2 && arguments.front() == "help") {
            const std::array<std::string, 2> forward{arguments[1], "--help"};
            return main(forward);
        }
        (arguments.empty() ? env_.err : env_.out) << usage;
        return arguments.empty() ? 2 : 0;
    }
    const std::string& command = arguments.front();
    const std::span<const std::string> rest = arguments.subspan(1);
    for (const SubcommandHelp& help : helpTexts) {
        if (help.name == command && CommandLine(rest).wantsHelp()) {
            env_.out << help.text;
            return 0;
        }
    }
    if (command == "agent-hook") {
        return agentHook(rest);
    }
    if (command == "claude-hook") {
        return claudeHook(rest);
    }
    if (command == "shell-init") {
        return shellInit(rest);
    }
    if (command == "shell-done") {
        return shellDone(rest);
    }
    if (command == "notify") {
        return notify(rest);
    }
    if (command == "connect" || command == "disconnect") {
        return connect(rest, command == "connect");
    }
    if (command == "status") {
        return status(rest);
    }
    if (command == "run") {
        return run(rest);
    }
    complain("unknown command \"" + command + "\"; see \"orlet --help\"");
    return 2;
}

bool Helper::sendQuietly(const std::string& lines) {
    const Deadline deadline(hookBudget);
    std::string error;
    std::optional<SocketClient> client = SocketClient::connect(env_.socketPath, deadline, error);
    if (!client || !client->send(lines, deadline, error)) {
        complain(error);
        return false;
    }
    client->finish(deadline);
    return true;
}

int Helper::agentHook(std::span<const std::string> arguments) {
    if (arguments.empty()) {
        complain("agent-hook needs an agent: claude, codex, cursor or gemini");
        return 0;
    }
    return hook(arguments.front(), false);
}

int Helper::claudeHook(std::span<const std::string>) {
    return hook("claude", true);
}

int Helper::hook(const std::string& agentName, bool older) {
    const std::optional<Agent> agent = agentFromRaw(agentName);
    if (!agent) {
        complain("unknown agent \"" + agentName + "\"; expected claude, codex, cursor or gemini");
        return 0;
    }
    // The reply goes out first: whatever happens next, the agent gets what it expects.
    if (const std::optional<std::string_view> reply = hookReply(*agent)) {
        env_.out << *reply << std::flush;
    }
    const std::optional<std::string> input = readHookInput();
    if (!input) {
        complain("no hook input arrived within " + std::to_string(inputIdleBudget.count()) +
                 " ms; nothing was reported");
        return 0;
    }
    const nlohmann::json payload = nlohmann::json::parse(*input, nullptr, false);
    if (!payload.is_object()) {
        complain("the hook input is not a JSON object; nothing was reported");
        return 0;
    }
    const std::vector<ActivityMessage> messages =
        older ? ClaudeHook::messages(payload) : AgentHook::messages(payload, *agent);
    std::string lines;
    for (const ActivityMessage& message : messages) {
        lines += message.line();
    }
    if (!lines.empty()) {
        sendQuietly(lines);
    }
    return 0;
}

std::optional<std::string> Helper::readHookInput() {
    if (env_.inputDescriptor < 0) {
        std::ostringstream input;
        input << env_.in.rdbuf();
        return input.str();
    }
    // A terminal is no hook: nobody is going to type a payload.
    if (::isatty(env_.inputDescriptor)) {
        return std::string();
    }
    // Agents close the pipe after the payload; one that keeps it open must not hang us.
    std::string input;
    char buffer[65536];
    for (;;) {
        pollfd ready{env_.inputDescriptor, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(inputIdleBudget.count()));
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled <= 0) {
            return std::nullopt;
        }
        const ssize_t count = ::read(env_.inputDescriptor, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return input;
        }
        input.append(buffer, static_cast<std::size_t>(count));
    }
}

int Helper::shellInit(std::span<const std::string> arguments) {
    if (arguments.empty() || arguments.front() != "zsh") {
        complain("shell-init supports zsh only: orlet shell-init zsh");
        return 2;
    }
    env_.out << ShellHook::zshInit(env_.executablePath) << '\n';
    return 0;
}

int Helper::shellDone(std::span<const std::string> arguments) {
    const CommandLine line(arguments);
    const std::optional<long long> status = integer(line.option("status"));
    const std::optional<long long> seconds = integer(line.option("seconds"));
    if (!status || !seconds) {
        complain("shell-done needs --status N --seconds N -- COMMAND");
        return 0;
    }
    const std::string command = joined(line.operands());
    if (ShellHook::shouldReport(command)) {
        sendQuietly(
            ShellHook::message(command, static_cast<std::int32_t>(*status), *seconds).line());
    }
    return 0;
}

int Helper::notify(std::span<const std::string> arguments) {
    const CommandLine line(arguments);
    static constexpr std::array<std::string_view, 1> known{"severity"};
    if (const std::vector<std::string> unknown = line.unknownOptions(known); !unknown.empty()) {
        complain("notify: unknown option " + unknown.front());
        return 2;
    }
    if (line.optionMissingValue(known)) {
        complain("notify: --severity needs success, warning or critical");
        return 2;
    }
    const std::optional<std::string> severity = line.option("severity");
    if (severity && *severity != "success" && *severity != "warning" && *severity != "critical") {
        complain("notify: unknown severity \"" + *severity +
                 "\"; use success, warning or critical");
        return 2;
    }
    const std::string text = joined(line.operands());
    if (Text::oneLine(text).empty()) {
        complain("notify needs a text: orlet notify [--severity S] TEXT");
        return 2;
    }

    const Deadline deadline(replyBudget);
    std::string error;
    std::optional<SocketClient> client = SocketClient::connect(env_.socketPath, deadline, error);
    ActivityMessage notification("notify");
    notification.message = text;
    notification.severity = severity;
    // The reply to hello tells whether the notification will show.
    if (!client ||
        !client->send(ActivityMessage("hello").line() + notification.line(), deadline, error)) {
        complain(error);
        return 1;
    }
    const std::optional<std::string> reply = client->readLine(deadline);
    const std::optional<ActivityMessage> answer =
        reply ? ActivityMessage::decode(*reply) : std::nullopt;
    if (!answer) {
        complain("Orlet did not answer");
        return 1;
    }
    if (answer->type == "welcome") {
        return 0;
    }
    if (answer->type == "pending") {
        complain("Orlet is asking you whether this app may show activities; the notification "
                 "shows once you allow it");
        return 0;
    }
    if (answer->type == "denied") {
        complain(answer->message.value_or("Orlet did not allow this app"));
        return 1;
    }
    complain(answer->message.value_or("Orlet answered " + answer->type));
    return 1;
}

int Helper::connect(std::span<const std::string> arguments, bool connecting) {
    const char* verb = connecting ? "connect" : "disconnect";
    const CommandLine line(arguments);
    if (line.operands().empty()) {
        complain(std::string(verb) + " needs a tool: claude, codex, cursor, gemini or terminal");
        return 2;
    }
    std::vector<Connector> chosen;
    for (const std::string& name : line.operands()) {
        const std::optional<Connector> connector = Connector::fromID(name);
        if (!connector) {
            complain("unknown tool \"" + name +
                     "\"; expected claude, codex, cursor, gemini or terminal");
            return 2;
        }
        chosen.push_back(*connector);
    }
    int status = 0;
    const Connector::Home home{env_.home};
    for (const Connector& connector : chosen) {
        const std::string file = "~/" + std::string(connector.configPath());
        try {
            if (connecting) {
                connector.connect(env_.executablePath, home);
                env_.out << "Connected " << connector.title() << " (" << file << ").\n";
                if (const auto note = connector.afterConnecting()) {
                    env_.out << *note << '\n';
                }
            } else {
                connector.disconnect(home);
                env_.out << "Disconnected " << connector.title() << " (" << file << ").\n";
            }
        } catch (const std::exception& failure) {
            complain(std::string(verb) + " " + std::string(connector.id()) + ": " + failure.what());
            status = 1;
        }
    }
    return status;
}

int Helper::status(std::span<const std::string>) {
    const Connector::Home home{env_.home};
    for (const Connector& connector : Connector::allCases()) {
        const char* state = connector.isConnected(home)   ? "connected"
                            : connector.isInstalled(home) ? "not connected"
                                                          : "not connected (not found)";
        std::string title(connector.title());
        title.resize(std::max<std::size_t>(title.size(), 16), ' ');
        env_.out << title << state << '\n';
    }
    env_.out << "Helper          " << env_.executablePath << '\n';

    const Deadline deadline(replyBudget);
    std::string error;
    std::optional<SocketClient> client = SocketClient::connect(env_.socketPath, deadline, error);
    if (!client || !client->send(ActivityMessage("hello").line() + ActivityMessage("ping").line(),
                                 deadline, error)) {
        env_.out << "Orlet           not running\n";
        complain(error);
        return 1;
    }
    while (const std::optional<std::string> reply = client->readLine(deadline)) {
        const std::optional<ActivityMessage> answer = ActivityMessage::decode(*reply);
        if (!answer) {
            continue;
        }
        if (answer->type == "pong") {
            env_.out << "Orlet           running, answers\n";
            return 0;
        }
        if (answer->type == "pending") {
            env_.out << "Orlet           running, asking you whether this app may show "
                        "activities\n";
            return 0;
        }
        if (answer->type == "denied") {
            env_.out << "Orlet           running; "
                     << answer->message.value_or("this app is not allowed") << '\n';
            return 0;
        }
    }
    env_.out << "Orlet           not answering\n";
    complain("Orlet did not answer within 2 seconds");
    return 1;
}

int Helper::run(std::span<const std::string> arguments) {
    const CommandLine line(arguments);
    static constexpr std::array<std::string_view, 1> known{"title"};
    if (const std::vector<std::string> unknown = line.unknownOptions(known); !unknown.empty()) {
        complain("run: unknown option " + unknown.front() + "; use orlet run [--title T] -- CMD");
        return 2;
    }
    if (line.operands().empty() || line.optionMissingValue(known)) {
        complain("run needs a command: orlet run [--title T] -- COMMAND…");
        return 2;
    }
    const std::vector<std::string>& command = line.operands();
    const std::string commandLine = Text::oneLine(joined(command));
    const std::string title =
        Text::shortened(Text::oneLine(line.option("title").value_or(commandLine)), 60);
    const std::string id = "run-" + std::to_string(::getpid());

    // A persistent connection binds the activity to this process: if the helper is killed,
    // the activity disappears instead of lingering until it expires.
    std::optional<SocketClient> client;
    {
        const Deadline deadline(hookBudget);
        std::string error;
        client = SocketClient::connect(env_.socketPath, deadline, error);
        ActivityMessage hello("hello");
        hello.persistent = true;
        ActivityMessage start("activity.start");
        start.id = id;
        start.kind = "progress";
        start.title = title;
        std::error_code ignored;
        const std::string folder =
            Text::lastPathComponent(std::filesystem::current_path(ignored).string());
        if (!folder.empty()) {
            start.subtitle = folder;
        }
        start.state = ActivityState::running;
        if (client && !client->send(hello.line() + start.line(), deadline, error)) {
            client.reset();
        }
    }

    const ProcessRunner::Outcome outcome = ProcessRunner::run(command);
    if (!outcome.started) {
        complain(outcome.error);
    }

    if (client) {
        ActivityMessage end("activity.end");
        end.id = id;
        const int shellStatus = outcome.shellStatus();
        if (shellStatus == 0) {
            end.result = ActivityState::done;
            end.message = title + " finished";
        } else if (shellStatus == 130) {
            end.result = ActivityState::cancelled;
            end.message = title + " stopped";
        } else {
            end.result = ActivityState::failed;
            end.message = title + (outcome.signal != 0
                                       ? " ended by signal " + std::to_string(outcome.signal)
                                       : " failed (exit " + std::to_string(outcome.exitCode) + ")");
        }
        const Deadline deadline(hookBudget);
        std::string error;
        client->send(end.line(), deadline, error);
        client.reset();
    }
    signalToPassOn_ = outcome.signal;
    return outcome.shellStatus();
}

} // namespace orlet
