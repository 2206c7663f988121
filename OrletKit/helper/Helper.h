#pragma once

#include <chrono>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orlet {

// The `orlet` command-line helper. Hook sub-commands never disturb the tool that runs them:
// they print only the tool's expected reply, exit 0 and give up on the application within a
// quarter of a second.
class Helper {
public:
    struct Environment {
        std::string socketPath;     ///< where the application listens
        std::string executablePath; ///< the helper's own absolute path, written into hooks
        std::filesystem::path home; ///< the user's home directory
        std::istream& in;
        std::ostream& out;
        std::ostream& err;
        int inputDescriptor = -1; ///< read directly when set, so a silent writer cannot hang us
    };

    static constexpr std::chrono::milliseconds hookBudget{250};
    static constexpr std::chrono::milliseconds replyBudget{2000};
    static constexpr std::chrono::milliseconds inputIdleBudget{2000};

    explicit Helper(Environment environment) : env_(environment) {}

    // `arguments` excludes the program name. Returns the exit status.
    int main(std::span<const std::string> arguments);

    // After `run`: the signal that ended the command, which the process should die of too.
    int signalToPassOn() const { return signalToPassOn_; }

    // The real process's environment.
    static Environment processEnvironment();

private:
    int agentHook(std::span<const std::string> arguments);
    int claudeHook(std::span<const std::string> arguments);
    int shellInit(std::span<const std::string> arguments);
    int shellDone(std::span<const std::string> arguments);
    int notify(std::span<const std::string> arguments);
    int connect(std::span<const std::string> arguments, bool connecting);
    int status(std::span<const std::string> arguments);
    int run(std::span<const std::string> arguments);

    int hook(const std::string& agentName, bool older);
    // The hook payload; absent when the writer went quiet without closing the pipe.
    std::optional<std::string> readHookInput();
    // Sends lines on a fresh connection within the hook budget; reports a failure on stderr.
    bool sendQuietly(const std::string& lines);
    void complain(const std::string& text);

    Environment env_;
    int signalToPassOn_ = 0;
};

} // namespace orlet
