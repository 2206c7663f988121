#include "Platform/Log.h"

namespace orlet {

const QLoggingCategory& logApp() {
    static const QLoggingCategory category("com.brambleowl.orlet.app");
    return category;
}

const QLoggingCategory& logHud() {
    static const QLoggingCategory category("com.brambleowl.orlet.hud");
    return category;
}

} // namespace orlet
