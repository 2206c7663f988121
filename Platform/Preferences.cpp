#include "Platform/Preferences.h"

#include "Platform/DefaultsStore.h"

namespace orlet {

void Preferences::registerDefaults(DefaultsStore& defaults) {
    defaults.registerDefaults({
        {QStringLiteral("hud.show"), true},
        {QStringLiteral("hud.replaceSystem"), false},
        {QStringLiteral("alerts.enabled"), true},
    });
}

} // namespace orlet
