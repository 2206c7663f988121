#pragma once

#include "OrletKit/ActivityAction.h"
#include "OrletKit/ActivityState.h"
#include "OrletKit/OrletAPI.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orlet {

// The one record of the socket protocol, in both directions. Only `type` is required; every
// other field is absent unless given.
struct ActivityMessage {
    std::optional<std::int64_t> v = OrletAPI::protocolVersion; ///< sender's protocol version
    std::string type;                                          ///< "hello", "activity.start", …
    std::optional<bool> persistent;      ///< hello: activities bound to this connection
    std::optional<std::string> name;     ///< hello: client's display name, not interpreted
    std::optional<std::string> id;       ///< activity.*: unique per client application
    std::optional<std::string> kind;     ///< start: "agent" or "progress"
    std::optional<std::string> title;    ///< start/update: headline
    std::optional<std::string> subtitle; ///< start/update: second line
    std::optional<std::string> step;     ///< start/update: what happens now
    std::optional<double> progress;      ///< start/update: fraction 0…1, receiver clamps
    std::optional<ActivityState> state;  ///< start/update
    std::optional<std::vector<ActivityAction>> actions; ///< start/update: replaces earlier list
    std::optional<double> ttl;                          ///< start/update: idle lifetime in seconds
    std::optional<ActivityState> result;                ///< end: final state
    std::optional<bool> quiet;                          ///< end: no announcement
    std::optional<std::string> message;                 ///< end/notify/error/denied text
    std::optional<std::string> severity; ///< notify: "success", "warning", "critical"
    std::optional<std::string> activity; ///< action: the activity's id
    std::optional<std::string> action;   ///< action: the clicked action's id

    ActivityMessage() = default;
    explicit ActivityMessage(std::string messageType) : type(std::move(messageType)) {}

    bool operator==(const ActivityMessage&) const = default;

    // Compact JSON with sorted keys, unescaped solidus, one final line feed.
    std::string line() const;

    // One line without its terminator; absent on any violation of the record's rules.
    static std::optional<ActivityMessage> decode(std::string_view bytes);
};

} // namespace orlet
