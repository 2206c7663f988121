#pragma once

#include "Notch/DisplayInfo.h"

#include <functional>
#include <vector>

namespace orlet {

// The displays, in the system's order, and word of any change to them.
class ScreenSource {
public:
    virtual ~ScreenSource() = default;
    virtual std::vector<DisplayInfo> displays() const = 0;
    std::function<void()> onChange; ///< set by the owner before displays change
};

} // namespace orlet
