#pragma once

#include "Media/NowPlayingInfo.h"

#include <optional>
#include <string>
#include <string_view>

namespace orlet {

// What to ask the lyrics service for, cleaned of the decorations video sites add to titles.
struct LyricsQuery {
    std::string title;
    std::optional<std::string> artist;
    std::optional<std::string> album;
    std::optional<double> duration; // seconds

    LyricsQuery() = default;
    // Takes "Artist - Song" titles apart when the artist is unknown, a VEVO channel or the
    // player is a web browser.
    explicit LyricsQuery(const NowPlayingInfo& info);

    bool operator==(const LyricsQuery&) const = default;

    // "title|artist", both in lower case.
    std::string cacheKey() const;

    // Drops bracketed decorations such as "(Official Video)" or "[Remastered]", everything
    // after " | ", and surrounding blanks and tabs.
    static std::string clean(std::string_view text);
    // Desktop ids (and the original identifiers) of the web browsers.
    static bool isBrowser(std::string_view appID);
};

} // namespace orlet
