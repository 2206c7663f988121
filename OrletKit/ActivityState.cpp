#include "OrletKit/ActivityState.h"

namespace orlet {

std::string_view rawValue(ActivityState state) {
    switch (state) {
    case ActivityState::running:
        return "running";
    case ActivityState::waiting:
        return "waiting";
    case ActivityState::done:
        return "done";
    case ActivityState::failed:
        return "failed";
    case ActivityState::cancelled:
        return "cancelled";
    }
    return "running";
}

std::optional<ActivityState> activityStateFromRaw(std::string_view raw) {
    for (ActivityState state : allActivityStates) {
        if (rawValue(state) == raw) {
            return state;
        }
    }
    return std::nullopt;
}

} // namespace orlet
