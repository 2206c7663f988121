#pragma once

#include <optional>
#include <string_view>

namespace orlet {

// One line of the helper's input, as understood. Lines that are not commands have no value.
struct HelperCommand {
    enum class Kind { play, pause, toggle, next, previous, seek, refresh };

    Kind kind = Kind::refresh;
    // The target of a seek in seconds: finite and not negative.
    double seconds = 0;

    bool operator==(const HelperCommand&) const = default;

    // Trimmed, split at single blanks, the first field case-sensitive. "seek" needs a second
    // field; one that is not a number seeks to 0.
    static std::optional<HelperCommand> parse(std::string_view line);
};

} // namespace orlet
