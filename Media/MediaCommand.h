#pragma once

#include <string_view>

namespace orlet {

// Playback commands, each sent to the media helper as its own word.
enum class MediaCommand { play, pause, toggle, next, previous };

constexpr std::string_view word(MediaCommand command) {
    switch (command) {
    case MediaCommand::play:
        return "play";
    case MediaCommand::pause:
        return "pause";
    case MediaCommand::toggle:
        return "toggle";
    case MediaCommand::next:
        return "next";
    case MediaCommand::previous:
        return "previous";
    }
    return "";
}

} // namespace orlet
