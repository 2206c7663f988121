#pragma once

#include "Media/MediaCommand.h"
#include "Media/NativePlayerState.h"

#include <QByteArray>
#include <functional>
#include <optional>
#include <string>

namespace orlet {

// The players watched directly, besides the media helper: their state changes, their
// quitting, commands, and the position-and-artwork query of the music player.
class NativePlayers {
public:
    // The desktop ids the players are known by.
    static constexpr const char* musicBundleID = "org.gnome.Rhythmbox3";
    static constexpr const char* spotifyBundleID = "spotify";

    using DetailsCompletion =
        std::function<void(std::optional<double> position, std::optional<QByteArray> artwork)>;

    virtual ~NativePlayers() = default;

    // Both set by the owner before start().
    std::function<void(const NativePlayerState&)> onChange;
    std::function<void(const std::string& bundleID)> onQuit;

    virtual void start() = 0;
    // Stops reporting; start() resumes.
    virtual void stop() = 0;
    virtual void send(MediaCommand command, const std::string& bundleID) = 0;
    virtual void seek(double seconds, const std::string& bundleID) = 0;
    // The music player's position and artwork bytes; the completion runs later, on the main
    // thread, with whatever could be read.
    virtual void fetchMusicDetails(DetailsCompletion completion) = 0;
};

} // namespace orlet
