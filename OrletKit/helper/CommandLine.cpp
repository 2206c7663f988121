#include "OrletKit/helper/CommandLine.h"

#include <algorithm>

namespace orlet {

CommandLine::CommandLine(std::span<const std::string> arguments) {
    std::size_t index = 0;
    for (; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (argument == "--") {
            ++index;
            break;
        }
        if (argument == "-h" || argument == "--help") {
            help_ = true;
            continue;
        }
        if (!argument.starts_with("--")) {
            break;
        }
        if (const std::size_t equals = argument.find('='); equals != std::string::npos) {
            options_.emplace_back(argument.substr(2, equals - 2), argument.substr(equals + 1));
        } else if (index + 1 < arguments.size() && arguments[index + 1] != "--") {
            options_.emplace_back(argument.substr(2), arguments[index + 1]);
            ++index;
        } else {
            options_.emplace_back(argument.substr(2), std::nullopt);
        }
    }
    operands_.assign(arguments.begin() + static_cast<std::ptrdiff_t>(index), arguments.end());
}

bool CommandLine::wantsHelp() const {
    return help_;
}

std::optional<std::string> CommandLine::option(std::string_view name) const {
    std::optional<std::string> value;
    for (const auto& [key, given] : options_) {
        if (key == name && given) {
            value = given;
        }
    }
    return value;
}

std::vector<std::string>
CommandLine::unknownOptions(std::span<const std::string_view> allowed) const {
    std::vector<std::string> unknown;
    for (const auto& option : options_) {
        if (std::find(allowed.begin(), allowed.end(), option.first) == allowed.end()) {
            unknown.push_back("--" + option.first);
        }
    }
    return unknown;
}

std::optional<std::string>
CommandLine::optionMissingValue(std::span<const std::string_view> allowed) const {
    for (const auto& [key, given] : options_) {
        if (!given && std::find(allowed.begin(), allowed.end(), key) != allowed.end()) {
            return "--" + key;
        }
    }
    return std::nullopt;
}

} // namespace orlet
