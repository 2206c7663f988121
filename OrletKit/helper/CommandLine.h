#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orlet {

// The arguments of one sub-command: `--name value` options before the operands, `--` ends the
// options.
class CommandLine {
public:
    explicit CommandLine(std::span<const std::string> arguments);

    bool wantsHelp() const;
    // The value of `--name value` or `--name=value`; absent when not given. A second use wins.
    std::optional<std::string> option(std::string_view name) const;
    // Options that `allowed` does not name, in order (for a clear error).
    std::vector<std::string> unknownOptions(std::span<const std::string_view> allowed) const;
    // An option given without its value.
    std::optional<std::string> optionMissingValue(std::span<const std::string_view> allowed) const;
    const std::vector<std::string>& operands() const { return operands_; }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> options_;
    std::vector<std::string> operands_;
    bool help_ = false;
};

} // namespace orlet
