#include "OrletMedia/HelperCommand.h"

#include <charconv>
#include <cmath>

namespace orlet {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The whole field as a decimal number of seconds, else 0. Negative, infinite and NaN positions
// mean nothing to a player, so they become 0 as well.
double secondsOf(std::string_view field) {
    if (!field.empty() && field.front() == '+') {
        field.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size() || !std::isfinite(value) ||
        value < 0) {
        return 0;
    }
    return value;
}

} // namespace

std::optional<HelperCommand> HelperCommand::parse(std::string_view line) {
    line = trimmed(line);
    const std::size_t blank = line.find(' ');
    const std::string_view word = line.substr(0, blank);
    if (word == "play") {
        return HelperCommand{Kind::play};
    }
    if (word == "pause") {
        return HelperCommand{Kind::pause};
    }
    if (word == "toggle") {
        return HelperCommand{Kind::toggle};
    }
    if (word == "next") {
        return HelperCommand{Kind::next};
    }
    if (word == "previous") {
        return HelperCommand{Kind::previous};
    }
    if (word == "refresh") {
        return HelperCommand{Kind::refresh};
    }
    if (word == "seek" && blank != std::string_view::npos) {
        std::string_view rest = line.substr(blank + 1);
        return HelperCommand{Kind::seek, secondsOf(rest.substr(0, rest.find(' ')))};
    }
    return std::nullopt;
}

} // namespace orlet
