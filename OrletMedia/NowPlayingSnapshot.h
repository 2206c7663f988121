#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace orlet {

// What the now-playing player reports at one refresh, in the helper's units: seconds, seconds
// since 1970 for the timestamp, the artwork as its encoded bytes.
struct NowPlayingSnapshot {
    std::optional<std::string> title;
    std::optional<std::string> artist;
    std::optional<std::string> album;
    std::optional<double> duration;
    std::optional<double> elapsed;
    std::optional<double> rate;
    std::optional<double> timestamp;
    bool playing = false;
    std::optional<std::string> bundleID;
    std::optional<std::string> parentBundleID;
    std::optional<std::string> artwork;
    // The process that owns the player; 0 when unknown.
    pid_t pid = 0;

    bool operator==(const NowPlayingSnapshot&) const = default;
};

} // namespace orlet
