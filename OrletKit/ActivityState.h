#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace orlet {

enum class ActivityState { running, waiting, done, failed, cancelled };

inline constexpr std::array allActivityStates{ActivityState::running, ActivityState::waiting,
                                              ActivityState::done, ActivityState::failed,
                                              ActivityState::cancelled};

// The JSON string of a state.
std::string_view rawValue(ActivityState state);

// Exactly the five raw values; anything else is not a state.
std::optional<ActivityState> activityStateFromRaw(std::string_view raw);

} // namespace orlet
