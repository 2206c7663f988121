#include "Activity/ClientIdentity.h"

namespace orlet {

ClientIdentity ClientIdentity::unknown() {
    return {"unknown", "Unknown app", std::nullopt};
}

} // namespace orlet
