#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace orlet {

// The coding-agent tools whose hooks report through the helper.
enum class Agent { claude, codex, cursor, gemini };

inline constexpr std::array allAgents{Agent::claude, Agent::codex, Agent::cursor, Agent::gemini};

std::string_view rawValue(Agent agent);
std::string_view title(Agent agent);
// What the helper prints after handling a hook: Cursor and Gemini CLI expect a JSON reply.
std::optional<std::string_view> hookReply(Agent agent);
// Exactly the four raw values.
std::optional<Agent> agentFromRaw(std::string_view raw);

} // namespace orlet
