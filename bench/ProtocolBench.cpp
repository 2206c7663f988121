#include "OrletKit/ActivityMessage.h"
#include "OrletKit/AgentHook.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

namespace {

using orlet::ActivityMessage;

// What a busy session sends: mostly tool steps, some starts and ends, a few notifications and
// replies.
std::vector<std::string> realisticLines() {
    std::vector<std::string> lines = {
        R"({"id":"claude-4f1c2a9e-77a","kind":"agent","state":"running","step":"Make the failing integration tests pass and explain why they failed","subtitle":"orlet","title":"Claude","ttl":1800,"type":"activity.start","v":1})",
        R"({"id":"claude-4f1c2a9e-77a","state":"running","step":"$ cmake --build build -j2 && ctest --test-dir build --output-on-fai…","ttl":1800,"type":"activity.update","v":1})",
        R"({"id":"claude-4f1c2a9e-77a","state":"running","step":"Editing ActivityMessage.cpp","ttl":1800,"type":"activity.update","v":1})",
        R"({"id":"claude-4f1c2a9e-77a","state":"running","ttl":1800,"type":"activity.update","v":1})",
        R"({"id":"claude-4f1c2a9e-77a","state":"running","step":"Reading /home/me/src/orlet/OrletKit/Connector.cpp","ttl":1800,"type":"activity.update","v":1})",
        R"({"id":"claude-4f1c2a9e-77a","state":"waiting","step":"Claude needs your permission to use Bash","ttl":1800,"type":"activity.update","v":1})",
        R"({"id":"build-17","progress":0.42,"state":"running","title":"Building","actions":[{"id":"stop","title":"Stop"},{"id":"log","title":"Show log"}],"type":"activity.update","v":1})",
        R"({"id":"claude-4f1c2a9e-77a","message":"Done","result":"done","type":"activity.end","v":1})",
        R"({"message":"make test finished · 3m 20s","severity":"success","type":"notify","v":1})",
        R"({"type":"ping","v":1})",
    };
    return lines;
}

void BM_Decode(benchmark::State& state) {
    const std::vector<std::string> lines = realisticLines();
    std::int64_t bytes = 0;
    for (auto _ : state) {
        for (const std::string& line : lines) {
            benchmark::DoNotOptimize(ActivityMessage::decode(line));
            bytes += static_cast<std::int64_t>(line.size());
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines.size()));
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_Decode);

void BM_Line(benchmark::State& state) {
    std::vector<ActivityMessage> messages;
    for (const std::string& line : realisticLines()) {
        messages.push_back(*ActivityMessage::decode(line));
    }
    std::int64_t bytes = 0;
    for (auto _ : state) {
        for (const ActivityMessage& message : messages) {
            const std::string line = message.line();
            bytes += static_cast<std::int64_t>(line.size());
            benchmark::DoNotOptimize(line.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(messages.size()));
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_Line);

void BM_AgentHookMessages(benchmark::State& state) {
    const nlohmann::json payload = nlohmann::json::parse(
        R"({"hook_event_name":"PreToolUse","session_id":"4f1c2a9e-77aa-4b7e-9d61-0c1f","cwd":"/home/me/src/orlet","tool_name":"Bash","tool_input":{"command":"cmake --build build -j2 && ctest --test-dir build --output-on-failure","description":"Build and test"}})");
    for (auto _ : state) {
        benchmark::DoNotOptimize(orlet::AgentHook::messages(payload, orlet::Agent::claude));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AgentHookMessages);

} // namespace
