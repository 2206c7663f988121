#pragma once

#include "Platform/Geometry.h"

#include <optional>

namespace orlet {

// What a display offers the notch: its frame, the size of the camera housing or of the
// substitute notch, and whether the housing is real.
struct NotchGeometry {
    Rect screenFrame;
    Size notchSize;
    bool hasHardwareNotch = false;

    bool operator==(const NotchGeometry&) const = default;

    // The raw measurements of one display, in bottom-left coordinates.
    struct Display {
        Rect frame;
        Rect visibleFrame; ///< without the desktop's top panel and docks
        double topInset = 0;
        std::optional<Rect> auxiliaryTopLeft;
        std::optional<Rect> auxiliaryTopRight;
    };

    static NotchGeometry measure(const Display& display);

    // The panel that hosts the notch: 648 x 224, centred, its top edge at the top of the display.
    static Rect panelFrame(const Rect& screenFrame);

    static constexpr double panelWidth = 648;
    static constexpr double panelHeight = 224;
    static constexpr double substituteWidth = 190;
    static constexpr double substituteHeight = 24;
};

} // namespace orlet
