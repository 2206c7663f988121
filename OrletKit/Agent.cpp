#include "OrletKit/Agent.h"

namespace orlet {

std::string_view rawValue(Agent agent) {
    switch (agent) {
    case Agent::claude:
        return "claude";
    case Agent::codex:
        return "codex";
    case Agent::cursor:
        return "cursor";
    case Agent::gemini:
        return "gemini";
    }
    return "claude";
}

std::string_view title(Agent agent) {
    switch (agent) {
    case Agent::claude:
        return "Claude";
    case Agent::codex:
        return "Codex";
    case Agent::cursor:
        return "Cursor";
    case Agent::gemini:
        return "Gemini";
    }
    return "Claude";
}

std::optional<std::string_view> hookReply(Agent agent) {
    if (agent == Agent::cursor || agent == Agent::gemini) {
        return "{}";
    }
    return std::nullopt;
}

std::optional<Agent> agentFromRaw(std::string_view raw) {
    for (Agent agent : allAgents) {
        if (rawValue(agent) == raw) {
            return agent;
        }
    }
    return std::nullopt;
}

} // namespace orlet
