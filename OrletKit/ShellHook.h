#pragma once

#include "OrletKit/ActivityMessage.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace orlet {

// The zsh integration: the script every interactive shell evaluates, and the helper's decision
// and text for a command that finished.
class ShellHook {
public:
    // Least duration in whole seconds worth a notification; ORLET_MIN_SECONDS overrides it.
    static constexpr int defaultMinSeconds = 30;

    static std::string zshInit(std::string_view cli);

    // False for interactive programs (editors, pagers, shells, follow modes) and empty lines.
    static bool shouldReport(std::string_view command);

    static ActivityMessage message(std::string_view command, std::int32_t status,
                                   std::int64_t seconds);

    // 45s, 3m 20s, 1h 5m.
    static std::string duration(std::int64_t seconds);

    // The path in single quotes, safe for any shell.
    static std::string shellQuoted(std::string_view path);
};

} // namespace orlet
