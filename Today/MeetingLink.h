#pragma once

#include <QString>
#include <QUrl>
#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace orlet {

// Finds the video-call link among an event's texts.
class MeetingLink {
public:
    // One per service, in this order: Zoom, Google Meet, Microsoft Teams (work accounts),
    // Microsoft Teams (personal accounts), Webex, FaceTime, Whereby, Around.
    static constexpr std::array<std::string_view, 8> domains{
        "zoom.us",   "meet.google.com",    "teams.microsoft.com", "teams.live.com",
        "webex.com", "facetime.apple.com", "whereby.com",         "around.co",
    };

    // The first link to a meeting service, taking the texts in order and the links of each
    // text in the order they appear; absent texts are skipped.
    static std::optional<QUrl> find(const std::vector<std::optional<QString>>& texts);

    // Every link in `text`, in order: anything with a scheme and "//", and bare "www." names.
    static std::vector<QUrl> links(const QString& text);
    static bool isMeetingHost(const QString& host);
};

} // namespace orlet
