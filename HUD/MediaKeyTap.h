#pragma once

#include "HUD/MediaKeyEvent.h"

#include <cstdint>
#include <functional>

namespace orlet {

// Receives the volume, mute and brightness keys before the desktop does and asks `handler`
// whether to swallow each one. Main thread only.
class MediaKeyTap {
public:
    // Modifier flags of a key event, in the bit layout the HUD's rules are written in.
    static constexpr std::uint64_t shiftFlag = 0x20000;
    static constexpr std::uint64_t controlFlag = 0x40000;
    static constexpr std::uint64_t optionFlag = 0x80000;
    static constexpr std::uint64_t commandFlag = 0x100000;

    // True: the event was handled and goes no further.
    using Handler = std::function<bool(const MediaKeyEvent&, std::uint64_t modifiers)>;

    virtual ~MediaKeyTap() = default;

    // Whether the keys could be taken now (nobody else holds them).
    virtual bool isTrusted() = 0;
    // Idempotent; true when the tap runs afterwards.
    virtual bool start() = 0;
    // Idempotent; the keys go back to the desktop.
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;

    Handler handler;

protected:
    // No handler counts as not handled.
    bool deliver(const MediaKeyEvent& event, std::uint64_t modifiers) const {
        return handler && handler(event, modifiers);
    }
};

} // namespace orlet
