#pragma once

#include "Platform/Geometry.h"

#include <QPointF>
#include <QRect>
#include <QRectF>

namespace orlet {

// Converts between Qt's global coordinates (origin top left, y down) and the notch's (origin
// bottom left of the primary display, y up): y_notch = top + height of the primary display − y_qt.
class ScreenCoordinates {
public:
    explicit ScreenCoordinates(const QRect& primaryGeometry) : primary_(primaryGeometry) {}

    Point toNotch(const QPointF& point) const;
    Rect toNotch(const QRectF& rect) const;
    QRectF toQt(const Rect& rect) const;

private:
    double flip() const { return primary_.y() + primary_.height(); }
    QRect primary_;
};

} // namespace orlet
