#include "Media/NowPlayingInfo.h"

#include <algorithm>

namespace orlet {

std::optional<double> NowPlayingInfo::position(Clock::Date date) const {
    if (!elapsed) {
        return std::nullopt;
    }
    double result = *elapsed;
    if (isPlaying && timestamp) {
        const double seconds = std::chrono::duration<double>(date - *timestamp).count();
        result += seconds * (rate > 0 ? rate : 1);
    }
    if (duration && *duration > 0 && *duration < result) {
        result = *duration;
    }
    return std::max(result, 0.0);
}

bool NowPlayingInfo::isSameTrack(const std::optional<NowPlayingInfo>& other) const {
    return other && title == other->title && artist == other->artist && album == other->album;
}

} // namespace orlet
