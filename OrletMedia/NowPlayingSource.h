#pragma once

#include "OrletMedia/HelperCommand.h"
#include "OrletMedia/NowPlayingSnapshot.h"

#include <functional>
#include <optional>

namespace orlet {

// Where the system's now-playing state comes from, and where playback commands go.
class NowPlayingSource {
public:
    enum class Change {
        player,   // a player appeared or changed its state, track or position
        vanished, // a player left the bus
    };

    virtual ~NowPlayingSource() = default;

    // Set by the owner before start().
    std::function<void(Change)> onChange;

    // Begins watching; `started` runs once the players already present are known.
    virtual void start(std::function<void()> started) = 0;
    // The now-playing player's state, read fresh; none when no player qualifies. Answers come
    // back in the order asked.
    virtual void query(std::function<void(std::optional<NowPlayingSnapshot>)> answer) = 0;
    // Sends a command to the now-playing player; `done` runs once it was delivered or failed.
    virtual void send(const HelperCommand& command, std::function<void()> done) = 0;
};

} // namespace orlet
