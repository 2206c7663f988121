#include "App/Updates.h"

namespace orlet {

Updates& Updates::shared() {
    static Updates updates;
    return updates;
}

void Updates::start() {
    started_ = true;
}

} // namespace orlet
