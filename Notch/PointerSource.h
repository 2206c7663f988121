#pragma once

#include "Platform/Geometry.h"

#include <functional>

namespace orlet {

// Where the pointer is, anywhere on the desktop, and word each time it moves.
class PointerSource {
public:
    virtual ~PointerSource() = default;
    virtual Point position() const = 0; ///< bottom-left coordinates
    virtual bool start() = 0;           ///< false when movements cannot be watched
    virtual void stop() = 0;
    std::function<void()> onMove; ///< runs on the main thread
};

} // namespace orlet
