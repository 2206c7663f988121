#pragma once

#include "Media/NowPlayingInfo.h"

#include <optional>
#include <string>
#include <string_view>

namespace orlet {

// One JSON line of the media helper's output.
struct HelperMessage {
    std::string type;
    std::optional<std::string> message;
    std::optional<std::string> title;
    std::optional<std::string> artist;
    std::optional<std::string> album;
    std::optional<double> duration;
    std::optional<double> elapsed;
    std::optional<double> rate;
    std::optional<double> timestamp; // seconds since 1970
    std::optional<bool> playing;
    std::optional<std::string> bundleID;
    std::optional<std::string> parentBundleID;
    std::optional<std::string> artworkID;
    std::optional<std::string> artwork; // Base64 image bytes

    bool operator==(const HelperMessage&) const = default;

    // None when the line is not a JSON object with a string `type`. A key of the wrong JSON
    // type reads as absent, as the helper writes null for missing values.
    static std::optional<HelperMessage> decode(std::string_view line);

    // What is playing, for a "nowPlaying" message with a title.
    std::optional<NowPlayingInfo> info() const;
};

} // namespace orlet
