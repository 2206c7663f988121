#pragma once

#include "Media/NowPlayingInfo.h"
#include "Platform/Clock.h"

#include <QVariantMap>
#include <optional>
#include <string>
#include <string_view>

namespace orlet {

// What one directly watched player reports, built from its MPRIS player properties.
struct NativePlayerState {
    enum class PlayerState { playing, paused, stopped };

    std::string bundleID;
    PlayerState state = PlayerState::stopped;
    std::string title; // empty only when stopped
    std::optional<std::string> artist;
    std::optional<std::string> album;
    std::optional<double> duration; // seconds, only when > 0
    std::optional<double> position; // seconds at `positionDate`
    Clock::Date positionDate;
    Clock::Date updatedAt;

    bool operator==(const NativePlayerState&) const = default;

    // "Playing", "Paused", "Stopped": the MPRIS PlaybackStatus texts.
    static std::optional<PlayerState> playerState(std::string_view raw);

    // From a player's merged org.mpris.MediaPlayer2.Player properties, with Metadata already a
    // plain map. "Position" (µs) is read only when present: the caller puts it there only when
    // it was measured just now. None for an unknown state, or playing/paused without a title.
    static std::optional<NativePlayerState>
    fromProperties(std::string bundleID, const QVariantMap& properties, Clock::Date now);

    NowPlayingInfo info() const;

    // Whether the native player's data is shown instead of the helper's.
    static bool prefersNative(const std::optional<NativePlayerState>& native,
                              const std::optional<NowPlayingInfo>& remote,
                              Clock::Date remoteChangedAt);
};

} // namespace orlet
