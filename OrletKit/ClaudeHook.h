#pragma once

#include "OrletKit/AgentHook.h"

namespace orlet {

// The older helper sub-command `claude-hook`, still found in Claude Code settings.
class ClaudeHook {
public:
    static constexpr double ttl = AgentHook::ttl;

    static std::vector<ActivityMessage> messages(const nlohmann::json& payload);
    static std::string describeTool(const std::optional<std::string>& name,
                                    const nlohmann::json& input);
};

} // namespace orlet
