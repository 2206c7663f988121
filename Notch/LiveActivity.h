#pragma once

#include <string_view>

namespace orlet {

// What the closed notch shows in its wings.
enum class LiveActivity { nowPlaying, timer, cpu, awake, agent, demo };

constexpr std::string_view name(LiveActivity activity) {
    switch (activity) {
    case LiveActivity::nowPlaying:
        return "nowPlaying";
    case LiveActivity::timer:
        return "timer";
    case LiveActivity::cpu:
        return "cpu";
    case LiveActivity::awake:
        return "awake";
    case LiveActivity::agent:
        return "agent";
    case LiveActivity::demo:
        return "demo";
    }
    return "";
}

} // namespace orlet
