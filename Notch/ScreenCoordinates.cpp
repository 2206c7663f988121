#include "Notch/ScreenCoordinates.h"

namespace orlet {

Point ScreenCoordinates::toNotch(const QPointF& point) const {
    return {point.x(), flip() - point.y()};
}

Rect ScreenCoordinates::toNotch(const QRectF& rect) const {
    return {rect.x(), flip() - (rect.y() + rect.height()), rect.width(), rect.height()};
}

QRectF ScreenCoordinates::toQt(const Rect& rect) const {
    return {rect.x, flip() - rect.maxY(), rect.width, rect.height};
}

} // namespace orlet
