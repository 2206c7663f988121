#pragma once

#include "OrletKit/ActivityMessage.h"
#include "OrletKit/Agent.h"

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace orlet {

// Turns one coding-agent hook event into protocol messages. Pure: no I/O, no clock.
class AgentHook {
public:
    static constexpr double ttl = 1800;

    // Zero or one message for the hook payload (a JSON object; anything else gives none).
    static std::vector<ActivityMessage> messages(const nlohmann::json& payload, Agent agent);

    // A short phrase for what a tool call does ("$ git status", "Editing c.txt", "Searching").
    // `input` is the tool's input object, or null.
    static std::string describeTool(const std::optional<std::string>& name,
                                    const nlohmann::json& input);

    // The last path component when `value` is a string, otherwise "a file".
    static std::string fileName(const nlohmann::json* value);

    static std::string oneLine(std::string_view text);
};

} // namespace orlet
