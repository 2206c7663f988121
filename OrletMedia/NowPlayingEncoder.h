#pragma once

#include "OrletMedia/NowPlayingSnapshot.h"

#include <optional>
#include <string>
#include <string_view>

namespace orlet {

// Turns snapshots into the helper's output lines and remembers which artwork the reader has
// already received, so the image bytes travel only when they change.
class NowPlayingEncoder {
public:
    // {"type":"nowPlaying","playing":false}; the reader drops its artwork, so it is sent again.
    std::string nothingPlaying();
    // The twelve-key message, with `artwork` when its ID differs from the last one sent. A
    // snapshot without a title is nothing playing.
    std::string encode(const NowPlayingSnapshot& snapshot);

    static std::string ready();
    static std::string error(std::string_view message);
    // Byte length, "-", and a 64-bit FNV-1a hash in lower-case hex. Stable across runs, so a
    // restarted helper names the same image the same way.
    static std::string artworkID(std::string_view bytes);

    const std::optional<std::string>& lastArtworkID() const { return lastArtworkID_; }

private:
    std::optional<std::string> lastArtworkID_;
};

} // namespace orlet
