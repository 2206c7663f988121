#include "OrletKit/ClaudeHook.h"

namespace orlet {

std::vector<ActivityMessage> ClaudeHook::messages(const nlohmann::json& payload) {
    return AgentHook::messages(payload, Agent::claude);
}

std::string ClaudeHook::describeTool(const std::optional<std::string>& name,
                                     const nlohmann::json& input) {
    return AgentHook::describeTool(name, input);
}

} // namespace orlet
