#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orlet {

// Wires one outside tool to Orlet by editing that tool's own configuration file: hook entries
// for the coding agents, a marked block in ~/.zshrc for the terminal. Connecting is idempotent,
// keeps the user's own settings and hooks, backs the file up once and never touches a file that
// is not a JSON object; disconnecting removes exactly what connecting added.
class Connector {
public:
    enum class Tool { claude, codex, cursor, gemini, terminal };

    struct Home {
        std::filesystem::path url; ///< the user's home directory
    };

    // A configuration file that is not a JSON object; it is left as it was.
    class Failure : public std::runtime_error {
    public:
        explicit Failure(const std::filesystem::path& path);
        const std::filesystem::path& path() const { return path_; }

    private:
        std::filesystem::path path_;
    };

    static constexpr std::string_view blockStart = "# >>> orlet >>>";
    static constexpr std::string_view blockEnd = "# <<< orlet <<<";

    constexpr Connector(Tool tool) : tool_(tool) {}
    bool operator==(const Connector&) const = default;

    static std::span<const Connector> allCases();
    static std::optional<Connector> fromID(std::string_view id);

    Tool tool() const { return tool_; }
    std::string_view id() const;
    std::string_view title() const;
    std::string_view detail() const;
    std::string_view configPath() const; ///< relative to the home directory
    std::optional<std::string_view> afterConnecting() const;

    // `cli` is the helper's absolute path. Throws Failure, std::system_error or
    // std::filesystem::filesystem_error.
    void connect(std::string_view cli, const Home& home) const;
    void disconnect(const Home& home) const;
    bool isConnected(const Home& home) const;
    // Whether the tool itself seems present (its configuration folder exists).
    bool isInstalled(const Home& home) const;

    // The text without the first marked block and up to two line feeds after it.
    static std::string removingBlock(std::string_view text);
    // The zsh block for the helper at `cli`, three lines each ending in a line feed.
    static std::string block(std::string_view cli);
    // The path in double quotes when it holds a space, as the hook runners expect.
    static std::string quoted(std::string_view cli);

private:
    std::filesystem::path file(const Home& home) const;
    void connectTerminal(std::string_view cli, const std::filesystem::path& file) const;
    void connectAgent(std::string_view cli, const std::filesystem::path& file) const;

    Tool tool_;
};

} // namespace orlet
