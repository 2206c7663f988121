#pragma once

#include "Notch/NotchGeometry.h"

#include <cstdint>

namespace orlet {

// One display as the coordinator sees it, in bottom-left coordinates.
struct DisplayInfo {
    std::uint32_t id = 0; ///< stable while the display stays connected
    NotchGeometry::Display measurements;
    bool isMain = false; ///< the display the desktop calls primary

    bool operator==(const DisplayInfo&) const = default;
};

} // namespace orlet
