#pragma once

#include <QColor>

namespace orlet {

// The palette of the statistics views, in sRGB at full opacity.
class StatColor {
public:
    static QColor cpu() { return QColor::fromRgbF(0.48f, 0.65f, 1.0f); }
    static QColor gpu() { return QColor::fromRgbF(0.75f, 0.55f, 1.0f); }
    static QColor memory() { return QColor::fromRgbF(0.29f, 0.87f, 0.5f); }
    static QColor storage() { return QColor::fromRgbF(0.98f, 0.75f, 0.14f); }
    static QColor warn() { return QColor::fromRgbF(0.98f, 0.75f, 0.14f); }
    static QColor bad() { return QColor::fromRgbF(0.97f, 0.44f, 0.44f); }
};

} // namespace orlet
