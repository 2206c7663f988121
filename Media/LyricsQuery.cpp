#include "Media/LyricsQuery.h"

#include <QString>
#include <algorithm>
#include <array>

namespace orlet {
namespace {

// Words that mark a bracketed part as a decoration of the upload rather than of the song.
constexpr std::array decorations{"official", "video", "lyric",    "audio", "visualizer",
                                 "hd",       "4k",    "remaster", "mv",    "live"};

// The browsers whose tab titles carry the artist: their bundle identifiers as media sessions
// may report them, and their Linux desktop ids (native packages and Flatpaks).
constexpr std::array<std::string_view, 18> browsers{"com.google.Chrome",
                                                    "com.apple.Safari",
                                                    "company.thebrowser.Browser",
                                                    "org.mozilla.firefox",
                                                    "com.microsoft.edgemac",
                                                    "com.brave.Browser",
                                                    "com.operasoftware.Opera",
                                                    "com.vivaldi.Vivaldi",
                                                    "google-chrome",
                                                    "chromium",
                                                    "org.chromium.Chromium",
                                                    "firefox",
                                                    "firefox-esr",
                                                    "microsoft-edge",
                                                    "brave-browser",
                                                    "opera",
                                                    "vivaldi-stable",
                                                    "org.gnome.Epiphany"};

std::string lower(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
        .toLower()
        .toStdString();
}

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool isDecoration(std::string_view inside) {
    const std::string text = lower(inside);
    return std::any_of(decorations.begin(), decorations.end(),
                       [&](const char* word) { return text.find(word) != std::string::npos; });
}

// No character other than these ASCII letters lowers to them, so a byte check is exact and
// the last four characters are four bytes.
bool endsWithVevo(std::string_view text) {
    if (text.size() < 4) {
        return false;
    }
    const std::string_view tail = text.substr(text.size() - 4);
    return std::equal(tail.begin(), tail.end(), "vevo", [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
    });
}

} // namespace

LyricsQuery::LyricsQuery(const NowPlayingInfo& info)
    : title(clean(info.title)), album(info.album), duration(info.duration) {
    if (info.artist) {
        artist = clean(*info.artist);
    }
    static constexpr std::string_view hyphen = " - ";
    static constexpr std::string_view enDash = " \u2013 ";
    std::size_t length = hyphen.size();
    std::size_t separator = title.find(hyphen);
    if (separator == std::string::npos) {
        length = enDash.size();
        separator = title.find(enDash);
    }
    if (separator != std::string::npos) {
        const std::string_view whole = title;
        const std::string left(trimmed(whole.substr(0, separator)));
        const std::string right(trimmed(whole.substr(separator + length)));
        if (!left.empty() && !right.empty() &&
            (!artist || endsWithVevo(*artist) ||
             (info.appBundleID && isBrowser(*info.appBundleID)))) {
            artist = left;
            title = right;
        }
    }
    if (artist && endsWithVevo(*artist)) {
        artist->resize(artist->size() - 4);
    }
}

std::string LyricsQuery::cacheKey() const {
    return lower(title) + "|" + (artist ? lower(*artist) : std::string());
}

std::string LyricsQuery::clean(std::string_view input) {
    std::string text(input);
    for (const auto& [open, close] : {std::pair('(', ')'), std::pair('[', ']')}) {
        for (;;) {
            const std::size_t start = text.rfind(open);
            if (start == std::string::npos) {
                break;
            }
            const std::size_t end = text.find(close, start + 1);
            if (end == std::string::npos ||
                !isDecoration(std::string_view(text).substr(start + 1, end - start - 1))) {
                break;
            }
            text.erase(start, end - start + 1);
        }
    }
    if (const std::size_t bar = text.find(" | "); bar != std::string::npos) {
        text.resize(bar);
    }
    return std::string(trimmed(text));
}

bool LyricsQuery::isBrowser(std::string_view appID) {
    return std::find(browsers.begin(), browsers.end(), appID) != browsers.end();
}

} // namespace orlet
