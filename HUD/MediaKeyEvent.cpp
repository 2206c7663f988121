#include "HUD/MediaKeyEvent.h"

namespace orlet {
namespace {

constexpr std::int64_t keyDownState = 0x0A;
constexpr std::int64_t keyUpState = 0x0B;

std::optional<MediaKey> mediaKey(std::int64_t code) {
    switch (code) {
    case 0:
        return MediaKey::soundUp;
    case 1:
        return MediaKey::soundDown;
    case 2:
        return MediaKey::brightnessUp;
    case 3:
        return MediaKey::brightnessDown;
    case 7:
        return MediaKey::mute;
    case 21:
        return MediaKey::illuminationUp;
    case 22:
        return MediaKey::illuminationDown;
    default:
        return std::nullopt;
    }
}

} // namespace

const char* mediaKeyName(MediaKey key) {
    switch (key) {
    case MediaKey::soundUp:
        return "soundUp";
    case MediaKey::soundDown:
        return "soundDown";
    case MediaKey::brightnessUp:
        return "brightnessUp";
    case MediaKey::brightnessDown:
        return "brightnessDown";
    case MediaKey::mute:
        return "mute";
    case MediaKey::illuminationUp:
        return "illuminationUp";
    case MediaKey::illuminationDown:
        return "illuminationDown";
    }
    return "unknown";
}

std::optional<MediaKeyEvent> MediaKeyEvent::parse(std::int16_t subtype, std::int64_t data1) {
    if (subtype != auxiliaryControlButtons) {
        return std::nullopt;
    }
    const std::optional<MediaKey> key = mediaKey((data1 >> 16) & 0xFFFF);
    if (!key) {
        return std::nullopt;
    }
    return MediaKeyEvent{*key, ((data1 >> 8) & 0xFF) == keyDownState, (data1 & 1) != 0};
}

std::int64_t MediaKeyEvent::data1() const {
    return (static_cast<std::int64_t>(key) << 16) | ((isDown ? keyDownState : keyUpState) << 8) |
           (isRepeat ? 1 : 0);
}

} // namespace orlet
