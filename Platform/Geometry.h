#pragma once

namespace orlet {

// Points in screen coordinates with the origin at the bottom left and y growing upwards, the
// convention every notch formula is written in. Only the platform adapter converts from Qt's
// top-left coordinates.
struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    double x = 0; ///< left edge
    double y = 0; ///< bottom edge
    double width = 0;
    double height = 0;

    bool operator==(const Rect&) const = default;

    double minX() const { return x; }
    double maxX() const { return x + width; }
    double midX() const { return x + width / 2; }
    double minY() const { return y; }
    double maxY() const { return y + height; }

    // Half-open, like the pointer hit tests of desktop toolkits: the right and top edges are
    // outside.
    bool contains(Point p) const { return p.x >= x && p.x < maxX() && p.y >= y && p.y < maxY(); }

    Rect insetBy(double dx, double dy) const {
        return {x + dx, y + dy, width - 2 * dx, height - 2 * dy};
    }
};

} // namespace orlet
