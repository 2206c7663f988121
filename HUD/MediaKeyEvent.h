#pragma once

#include <cstdint>
#include <optional>

namespace orlet {

// The keyboard's special keys; the raw values are the special-key codes carried in the upper
// half of a key event's data word.
enum class MediaKey : int {
    soundUp = 0,
    soundDown = 1,
    brightnessUp = 2,
    brightnessDown = 3,
    mute = 7,
    illuminationUp = 21,
    illuminationDown = 22,
};

// For log lines: the key's case name.
const char* mediaKeyName(MediaKey key);

// One press, release or auto-repeat of a special key.
struct MediaKeyEvent {
    // The subtype of auxiliary control buttons: the only one that carries special keys.
    static constexpr std::int16_t auxiliaryControlButtons = 8;

    MediaKey key = MediaKey::soundUp;
    bool isDown = false;
    bool isRepeat = false;

    bool operator==(const MediaKeyEvent&) const = default;

    // Code in bits 16-31, state in bits 8-15 (0x0A down, 0x0B up), repeat in bit 0. Nothing
    // for another subtype or a code that is not a special key.
    static std::optional<MediaKeyEvent> parse(std::int16_t subtype, std::int64_t data1);
    // The data word parse() reads back as this event.
    std::int64_t data1() const;
};

} // namespace orlet
