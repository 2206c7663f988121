#pragma once

#include "OrletKit/ActivityAction.h"
#include "OrletKit/ActivityState.h"
#include "Platform/Clock.h"

#include <optional>
#include <string>
#include <vector>

namespace orlet {

// One activity a local program reports: running, waiting for the user, or finished.
struct ActivityItem {
    std::string appID;   ///< the sender's application
    std::string appName; ///< its display name
    std::string activityID;
    std::string kind = "progress"; ///< "agent" or "progress"
    std::string title;
    std::optional<std::string> subtitle;
    std::optional<std::string> step;
    std::optional<double> progress; ///< 0…1
    ActivityState state = ActivityState::running;
    std::vector<ActivityAction> actions;
    Clock::TimePoint startedAt;
    Clock::TimePoint updatedAt;
    std::optional<Clock::TimePoint> endedAt; ///< absent while active
    std::optional<std::string> message;      ///< the end message
    std::optional<int> connection;           ///< the persistent connection it is bound to
    double ttl = 1800;                       ///< seconds without an update before it is dropped

    bool operator==(const ActivityItem&) const = default;

    std::string id() const { return appID + "/" + activityID; }
    bool isActive() const { return !endedAt.has_value(); }
};

} // namespace orlet
