#pragma once

namespace orlet {

class DefaultsStore;

// The only registered defaults; every other key carries its fallback in its reader.
class Preferences {
public:
    Preferences() = delete;

    // Registers "hud.show" = true, "hud.replaceSystem" = false, "alerts.enabled" = true.
    static void registerDefaults(DefaultsStore& defaults);
};

} // namespace orlet
