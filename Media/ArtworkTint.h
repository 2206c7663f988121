#pragma once

#include <QColor>
#include <optional>

class QImage;

namespace orlet {

// One vivid accent colour from an image: the colourfulness-weighted average of a tiny
// thumbnail, lifted so it never reads as grey or dark.
class ArtworkTint {
public:
    static constexpr int sampleSize = 8;
    static constexpr double minimumSaturation = 0.35;
    static constexpr double minimumBrightness = 0.75;

    // None when the image cannot be sampled. Pure; safe on any thread.
    static std::optional<QColor> vividAverage(const QImage& image);
};

} // namespace orlet
