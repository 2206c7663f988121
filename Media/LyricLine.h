#pragma once

#include <string>

namespace orlet {

// One timed line of synced lyrics.
struct LyricLine {
    double time = 0;  // seconds from the start of the track
    std::string text; // may be empty: an instrumental gap

    bool operator==(const LyricLine&) const = default;
};

} // namespace orlet
