#pragma once

#include "Platform/Geometry.h"

namespace orlet {

class NotchViewModel;

// The window that shows one notch: transparent everywhere but the notch body, and letting
// clicks through unless told otherwise.
class NotchSurface {
public:
    virtual ~NotchSurface() = default;
    virtual void setFrame(const Rect& frame) = 0; ///< bottom-left coordinates
    // false: the notch body takes clicks; true: every click passes through.
    virtual void setIgnoresMouseEvents(bool ignores) = 0;
    virtual bool ignoresMouseEvents() const = 0;
    virtual void orderFront() = 0; ///< shown above everything, without taking focus
    virtual void orderOut() = 0;
};

} // namespace orlet
