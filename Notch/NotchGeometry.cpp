#include "Notch/NotchGeometry.h"

namespace orlet {

NotchGeometry NotchGeometry::measure(const Display& display) {
    if (display.auxiliaryTopLeft && display.auxiliaryTopRight && display.topInset > 0) {
        const double housing = display.frame.width - display.auxiliaryTopLeft->width -
                               display.auxiliaryTopRight->width;
        if (housing > 0) {
            return {display.frame, {housing, display.topInset}, true};
        }
    }
    const double bar = display.frame.maxY() - display.visibleFrame.maxY();
    return {display.frame, {substituteWidth, bar > 0 ? bar : substituteHeight}, false};
}

Rect NotchGeometry::panelFrame(const Rect& screenFrame) {
    return {screenFrame.midX() - panelWidth / 2, screenFrame.maxY() - panelHeight, panelWidth,
            panelHeight};
}

} // namespace orlet
