#pragma once

#include "Media/LyricLine.h"

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace orlet {

// The LRC text format of time-synced lyrics.
class LRC {
public:
    // Every time stamp of every line becomes a line, sorted by time; lines without a stamp and
    // tags such as [ar:...] or [offset:...] are dropped (offsets are not applied).
    static std::vector<LyricLine> parse(std::string_view text);

    // The last line at or before `position`; none before the first line.
    static std::optional<std::size_t> index(double position, const std::vector<LyricLine>& lines);
};

} // namespace orlet
