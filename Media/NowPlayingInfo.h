#pragma once

#include "Platform/Clock.h"

#include <optional>
#include <string>

namespace orlet {

// What is playing, as shown by the notch and the media tab.
struct NowPlayingInfo {
    std::string title; // never empty
    std::optional<std::string> artist;
    std::optional<std::string> album;
    std::optional<double> duration; // seconds, only when > 0
    std::optional<double> elapsed;  // seconds, measured at `timestamp`
    std::optional<Clock::Date> timestamp;
    double rate = 1;
    bool isPlaying = false;
    std::optional<std::string> appBundleID; // desktop id of the playing (or hosting) application
    std::optional<std::string> artworkID;

    bool operator==(const NowPlayingInfo&) const = default;

    // The position projected to `date` while playing, capped by the duration, never negative.
    std::optional<double> position(Clock::Date date) const;
    bool isSameTrack(const std::optional<NowPlayingInfo>& other) const;
};

} // namespace orlet
