// Whatever a coding agent hands the hook, every message built from it must encode to a line
// that decodes back to the same message.
#include "OrletKit/AgentHook.h"

#include <cstdlib>
#include <nlohmann/json.hpp>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const nlohmann::json payload = nlohmann::json::parse(data, data + size, nullptr, false);
    if (payload.is_discarded()) {
        return 0;
    }
    for (const orlet::Agent agent : orlet::allAgents) {
        for (const orlet::ActivityMessage& message : orlet::AgentHook::messages(payload, agent)) {
            std::string line = message.line();
            line.pop_back();
            const std::optional<orlet::ActivityMessage> decoded =
                orlet::ActivityMessage::decode(line);
            if (!decoded || !(*decoded == message)) {
                std::abort();
            }
        }
    }
    return 0;
}
