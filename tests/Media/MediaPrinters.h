#pragma once

#include "Media/NativePlayerState.h"
#include "Media/NowPlayingInfo.h"

#include <chrono>
#include <optional>
#include <ostream>

// Readable failure messages for the media values.
namespace orlet {

template <typename T>
void printOptional(std::ostream* out, const char* name, const std::optional<T>& value) {
    if (value) {
        *out << " " << name << "=" << *value;
    }
}

inline double seconds(Clock::Date date) {
    return std::chrono::duration<double>(date.time_since_epoch()).count();
}

inline void PrintTo(const NowPlayingInfo& info, std::ostream* out) {
    *out << "{title=" << info.title;
    printOptional(out, "artist", info.artist);
    printOptional(out, "album", info.album);
    printOptional(out, "duration", info.duration);
    printOptional(out, "elapsed", info.elapsed);
    if (info.timestamp) {
        *out << " timestamp=" << std::fixed << seconds(*info.timestamp);
    }
    *out << " rate=" << info.rate << " playing=" << info.isPlaying;
    printOptional(out, "app", info.appBundleID);
    printOptional(out, "artworkID", info.artworkID);
    *out << "}";
}

inline void PrintTo(const NativePlayerState& state, std::ostream* out) {
    *out << "{" << state.bundleID << " state=" << static_cast<int>(state.state)
         << " title=" << state.title;
    printOptional(out, "artist", state.artist);
    printOptional(out, "album", state.album);
    printOptional(out, "duration", state.duration);
    printOptional(out, "position", state.position);
    *out << " at=" << std::fixed << seconds(state.positionDate)
         << " updated=" << seconds(state.updatedAt) << "}";
}

} // namespace orlet
